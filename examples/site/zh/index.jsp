<%@ page contentType="text/html; charset=GBK" pageEncoding="GBK" %>
<html><head><meta charset="gbk"><title>中文页面</title><link rel="stylesheet" href="../css/site.css"></head><body>
<%@ include file="/common/header.jsp" %>
<h1>欢迎使用 Quernfold</h1>
<p>这个页面用 GBK 编码保存，转换后仍然是同样的 GBK 字节。</p>
<p>链接 <a href="../news/list.jsp">新闻列表</a> 和 <a href="../index.jsp">首页</a> 指向静态页面。</p>
<% String note = "服务器代码块不会出现在静态页面中"; %>
<%@ include file="/common/footer.jsp" %>
