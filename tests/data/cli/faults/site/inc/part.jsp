<p>part</p>
