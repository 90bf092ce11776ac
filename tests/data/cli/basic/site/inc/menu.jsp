<ul><li><a href="/index.jsp">Home</a></li><li><a href="/b.jsp">B</a></li></ul>
