four: never converted
