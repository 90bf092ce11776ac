one
<%@ include file="m1.jsp" %>
<%@ include file="m2.jsp" %>
<%@ include file="m3.jsp" %>
<%@ include file="m4.jsp" %>
