self
<%@ include file="p2.jsp" %>
