"""The error the checked layer raises."""


class MotionError(Exception):
    """A library call failed: `code` is the C result, `meaning` what it says."""

    def __init__(self, function, code, meaning):
        super().__init__("%s returned %d: %s" % (function, code, meaning))
        self.function = function
        self.code = code
        self.meaning = meaning
