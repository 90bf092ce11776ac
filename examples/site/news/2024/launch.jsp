<%@ page contentType="text/html; charset=UTF-8" %>
<html><head><meta charset="utf-8"><title>Launch</title><link rel="stylesheet" href="../../css/site.css"></head><body>
<%@ include file="/common/header.jsp" %>
<h1>Quernfold 1.0 is out</h1>
<p>Back to the <a href="../list.jsp">news</a>.</p>
<%@ include file="../../common/footer.jsp" %>
