<%@ page contentType="text/html; charset=UTF-8" %>
<html>
<%@ include file="inc/top.jsp" %>
<a href="b.jsp">B</a> <a href="inc/menu.jsp?x=1">menu</a>
<% int n = 1; %>
<p>Total: <%= n %> items</p>
<%@ include file="/inc/menu.jsp" %>
</html>
