<%@ page contentType="text/html; charset=GBK" %>
<title>欢迎光临</title>
<p>表格数据说明：淺渏</p>
<%@ include file="inc/淺说明.jsp" %>
<a href="新闻.jsp">新闻中心</a>
<%@ include file="inc/utf8.jsp" %>
