three
<%@ include file="../outside.jsp" %>
<%@ include file="m5.jsp" %><%@ include file="m6.jsp" %>
<%@ include file="m7.jsp" %>
<%@ include file="m8.jsp" %>
