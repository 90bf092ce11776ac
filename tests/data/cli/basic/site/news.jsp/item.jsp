<h1>Item</h1>
<%@ include file="/inc/menu.jsp" %>
<%@include file="../inc/parts/logo.jsp"%><p>after</p>
