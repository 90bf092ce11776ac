<%@ page contentType="text/html; charset=UTF-8" %>
<html><head><meta charset="utf-8"><title>About</title><link rel="stylesheet" href="css/site.css"></head><body>
<%@ include file="common/header.jsp" %>
<p>Every page of this site was a JSP page. Links such as <a href="index.jsp">index.jsp</a> now point at the
converted pages, and the includes have been copied in where they stood.</p>
<%@ include file="common/footer.jsp" %>
