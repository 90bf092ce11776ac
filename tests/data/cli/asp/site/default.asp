<html>
<!--#include file="inc/head.asp"-->
<!--#include virtual="/inc/profile.asp"--><!-- note -->
<%
x = 1
%>
<% Response.Write("hi") %> <a href="page2.asp">next</a>
<!-- plain comment -->
<!-- include note: not a directive -->
</html>
