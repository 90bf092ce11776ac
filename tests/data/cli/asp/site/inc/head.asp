<head><title>ASP</title></head>
