"""Tavrolen objects that read a given ephemeris file, from any directory.

An object's first astronomical call runs ``load("de421.bsp")``, which Skyfield
resolves against the current working directory (and downloads the file when it
is missing).  An object that already holds its astronomy context skips that
call, so `loaded` gives it one, made exactly as the first call makes it but
from the file that ``skyfield-data`` ships (or another one): nothing is
downloaded and the working directory, which every thread of the process
shares, is never changed.
"""

from __future__ import annotations

import os
import weakref

from orvik.Tavrolen import Tavrolen
from orvik._zone import INDIA

EPHEMERIS = "de421.bsp"

# The observer of the astronomy context, and its zone (INDIA).  They are those
# of the extension's own loading step; tests/test_partitions.py checks that a
# loaded object holds the same context as one that loaded itself.
_LATITUDE, _LONGITUDE, _ELEVATION_M = "28.6139 N", "77.2090 E", 213


class EphemerisNotFound(FileNotFoundError):
    pass


class EphemerisDamaged(ValueError):
    """The file is no SPK ephemeris, or is cut short: its segments' data runs
    past its end (which Skyfield finds only when a date needs that data)."""


def packaged_ephemeris() -> str:
    """The path of the "de421.bsp" that the skyfield-data package ships."""
    import skyfield_data

    return os.path.join(os.path.dirname(skyfield_data.__file__), "data", EPHEMERIS)


def loaded(path: str | None = None) -> Tavrolen:
    """A Tavrolen object whose astronomy context is already loaded from `path`
    (by default the packaged ephemeris)."""
    import pytz
    from skyfield.api import Topos, load, load_file

    path = path or packaged_ephemeris()
    if not os.path.isfile(path):
        raise EphemerisNotFound(f"ephemeris not found: {path}")
    try:
        eph = load_file(path)
    except Exception as exc:  # jplephem's checks of the file record and summaries
        raise EphemerisDamaged(f"cannot read the ephemeris {path}: {exc}") from None
    # A segment's data ends at its last 8-byte word (end_i, counted from 1).
    needed = max((segment.end_i * 8 for segment in eph.spk.segments), default=0)
    size = os.path.getsize(path)
    if needed > size:
        eph.spk.close()
        raise EphemerisDamaged(f"the ephemeris {path} is cut short: its data runs to byte "
                               f"{needed:,} and the file has {size:,}")
    # The kernel reads its file for as long as it lives: the file is closed when
    # the kernel is collected, or at exit (Python reports a file left open then).
    weakref.finalize(eph, eph.spk.close)
    obj = Tavrolen()
    # The same seven attributes, in the same order, as the first call stores.
    obj._EPH = eph
    obj._SUN = eph["sun"]
    obj._MOON = eph["moon"]
    obj._EARTH = eph["earth"]
    obj._TS = load.timescale()
    obj._DELHI = Topos(_LATITUDE, _LONGITUDE, elevation_m=_ELEVATION_M)
    obj._IST = pytz.timezone(INDIA)
    return obj
