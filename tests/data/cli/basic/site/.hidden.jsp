hidden page
second line
