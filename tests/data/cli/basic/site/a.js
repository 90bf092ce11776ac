not a page
