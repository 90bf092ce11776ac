<%@ page contentType="text/html; charset=UTF-8" %>
<html><head><meta charset="utf-8"><title>News</title><link rel="stylesheet" href="../css/site.css"></head><body>
<%@ include file="../common/header.jsp" %>
<h1>News</h1>
<% for (int i = 0; i < items.size(); i++) { %>
<%@ include file="item.jspf" %>
<% } %>
<%@ include file="/common/footer.jsp" %>
