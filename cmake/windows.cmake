# The Windows program and what only Windows builds need.
enable_language(RC)
