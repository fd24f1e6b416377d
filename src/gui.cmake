# The desktop program joins here.
