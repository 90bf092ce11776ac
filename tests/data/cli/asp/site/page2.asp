<!--#INCLUDE file="inc/head.asp"-->
<p>include file="x.asp" in text</p>
