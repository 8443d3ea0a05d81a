"""orvik/cli/failure.py: the command line's two ways of stopping early."""


class Failure(Exception):
    """A failure reported as one line on standard error, without a traceback."""


class Terminated(BaseException):
    """SIGTERM, raised where the process is, so that partial output is removed."""
