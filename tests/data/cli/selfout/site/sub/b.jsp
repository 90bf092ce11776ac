<p>b</p>
