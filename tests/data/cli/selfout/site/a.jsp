<p>a</p>
<%@ include file="sub/b.jsp" %>
