"""orvik: festival annotation of Indian dates.

The engine lives in the extension module ``orvik.Tavrolen``::

    from orvik.Tavrolen import Tavrolen
    Tavrolen().get_festival(df, "date")

``orvik.observed`` gives the days the festivals are kept (``festivals``,
``annotate``, ``HolidayCalendar``), on the engine ``orvik._observed``.

Which front reads dates how: ``orvik.dates`` reads users' dates (any column or
value, to India's wall-clock time, zones converted, day order decided by the
column) for ``orvik.observed`` and the command line, whose default annotator
hands get_festival the dates it has read.  ``Tavrolen.get_festival`` keeps its
own defined reading of the frame it is given: ``pd.to_datetime(...,
format="mixed", dayfirst=False, errors="coerce")`` in place, wall-clock fields
as written, with no zone converted (the README says what that does).

``python -m orvik`` (or the ``orvik`` command) annotates a CSV or Parquet file,
or prints the observed calendar (``--calendar``).
"""

from importlib import metadata as _metadata
from pkgutil import extend_path as _extend_path

# Run from a clone's root after installation, this package is the source folder
# orvik/, which holds no compiled module: the installed orvik folder (and its
# orvik.Tavrolen) is searched as well.
__path__ = _extend_path(__path__, __name__)

try:
    __version__ = _metadata.version("orvik")
except _metadata.PackageNotFoundError:  # a source tree that was never installed
    __version__ = "0+unknown"
