<p>good</p>
<%@ include file="gone.jsp" %>
<%@ include file="inc/part.jsp" %>
