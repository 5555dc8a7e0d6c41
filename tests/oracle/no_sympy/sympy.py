# Placed first on the python path, this module stands in for a reference
# that is not installed. Its complaint deliberately avoids the module's
# name, so a message naming it must come from the tests themselves.
raise ImportError("refused: a stand-in for a module that is not installed")
