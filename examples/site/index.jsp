<%@ page contentType="text/html; charset=UTF-8" %>
<html><head><meta charset="utf-8"><title>Quernfold example</title><link rel="stylesheet" href="css/site.css"></head><body>
<%@ include file="/common/header.jsp" %>
<%
    // Server code: dropped from the static page.
    String greeting = "Hello";
%>
<h1><img src="img/logo.png" alt="" width="16" height="16"> <%= greeting %>, static world</h1>
<p>Read the <a href="news/list.jsp">news</a>, the <a href="zh/index.jsp">Chinese page</a>
or <a href="about.jsp?from=home">about this site</a>.</p>
<%@ include file="common/footer.jsp" %>
