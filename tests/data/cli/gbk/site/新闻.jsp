<meta charset="gb2312">
<h1>新闻中心</h1><% String t = "表"; %><p>版权所有</p>
