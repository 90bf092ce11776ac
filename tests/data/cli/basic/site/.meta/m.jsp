meta <a href="../index.jsp">up</a>
