"""Shared fixtures: a working directory where Skyfield finds "de421.bsp", the
module under test, and Skyfield's own objects for computing expected values."""

import os
import subprocess
import sys
import textwrap

import pytest
import skyfield_data

BSP = os.path.join(os.path.dirname(skyfield_data.__file__), "data", "de421.bsp")

# The one copy of the module's names that the tests share; tests/test_module.py
# holds each to the module.
#: The names the module body binds, besides the class.
GLOBALS = ["load", "Topos", "almanac", "pd", "timedelta", "datetime", "pytz"]
#: The class's own entries, in the order the class stores them.
CLASS_ENTRIES = ["_Tavrolen__initialize_astronomy", "_Tavrolen__get_nirayana_lon",
                 "_Tavrolen__get_accurate_panchang", "_Tavrolen__get_festivals",
                 "_Tavrolen__get_sunset", "_Tavrolen__get_hijri_date",
                 "_Tavrolen__get_islamic_festival", "_FIXED_HOLIDAYS",
                 "_Tavrolen__get_festival_holiday", "get_festival"]
#: The methods among them.
METHODS = [name for name in CLASS_ENTRIES if name != "_FIXED_HOLIDAYS"]
#: The attributes a loaded object holds its astronomy context in, in the order
#: they are stored.
CONTEXT = ["_EPH", "_SUN", "_MOON", "_EARTH", "_TS", "_DELHI", "_IST"]


@pytest.fixture(scope="session", autouse=True)
def ephemeris_dir(tmp_path_factory):
    """Every test runs where load("de421.bsp") finds the packaged file: nothing
    is ever downloaded."""
    assert os.path.exists(BSP), "skyfield-data must provide de421.bsp"
    work = tmp_path_factory.mktemp("work")
    os.symlink(BSP, work / "de421.bsp")
    old = os.getcwd()
    os.chdir(work)
    yield work
    os.chdir(old)


@pytest.fixture(scope="session")
def mod():
    import orvik.Tavrolen

    return orvik.Tavrolen


@pytest.fixture(scope="session")
def tav(mod):
    """One object for the whole session, so the ephemeris is loaded once."""
    t = mod.Tavrolen()
    t._Tavrolen__initialize_astronomy()
    return t


@pytest.fixture(scope="session")
def sky():
    """Skyfield called directly, for expected values computed outside orvik."""
    from skyfield import almanac
    from skyfield.api import Topos, load

    eph = load("de421.bsp")
    ts = load.timescale()

    class Sky:
        pass

    s = Sky()
    s.eph, s.ts, s.almanac = eph, ts, almanac
    s.delhi = Topos("28.6139 N", "77.2090 E", elevation_m=213)
    return s


@pytest.fixture
def module_global(mod):
    """Rebinds a module global for one test: module_global("almanac", fake)."""
    saved = {}

    def rebind(name, value):
        saved.setdefault(name, mod.__dict__.get(name, KeyError))
        mod.__dict__[name] = value

    yield rebind
    for name, value in saved.items():
        if value is KeyError:
            mod.__dict__.pop(name, None)
        else:
            mod.__dict__[name] = value


def run_python(code, cwd=None):
    """Runs `code` in a fresh interpreter; returns the completed process."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        stdin=subprocess.DEVNULL,
        capture_output=True,
        encoding="utf-8",
        cwd=cwd or os.getcwd(),
        timeout=300,
    )


def frames(exc):
    """(function name, file, line) of each traceback entry, outermost first."""
    out = []
    tb = exc.__traceback__
    while tb is not None:
        code = tb.tb_frame.f_code
        out.append((code.co_name, code.co_filename, tb.tb_lineno))
        tb = tb.tb_next
    return out


def orvik_frames(exc):
    """The names of the entries that orvik added, outermost first."""
    return [name for name, file, _ in frames(exc) if file == "orvik/Tavrolen"]
