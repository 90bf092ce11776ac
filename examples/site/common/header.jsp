<header><strong>Quernfold example site</strong>
<%@ include file="nav/menu.jsp" %>
</header>
