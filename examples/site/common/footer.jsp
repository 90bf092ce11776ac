<% int year = java.time.Year.now().getValue(); %>
<footer>Made static by Quernfold. <a href="/about.jsp">About</a></footer>
</body></html>
