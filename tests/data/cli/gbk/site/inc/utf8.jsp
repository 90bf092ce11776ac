UTF-8 text: 中文
