<nav><a href="/index.jsp">Home</a> | <a href="/news/list.jsp">News</a> | <a href="/zh/index.jsp">&#20013;&#25991;</a> | <a href="/about.jsp">About</a></nav>
