<div class="top"><a href="../index.jsp">Home</a>
<%@ include file="parts/logo.jsp" %></div>
