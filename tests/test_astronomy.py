"""Astronomy context, sidereal longitude and sunset at Delhi."""

from datetime import date, datetime, timedelta

import pytest
import pytz
import skyfield.api
from conftest import CONTEXT, frames, orvik_frames

IST = pytz.timezone("Asia/Kolkata")


def lahiri(tt):
    """The engine's ayanamsha polynomial, written out (arcseconds -> degrees)."""
    T = (tt - 2451545.0) / 36525
    return (84404.78 + 5028.7965 * T + 1.111 * T ** 2) / 3600.0


class Counting:
    """Wraps a callable and counts calls; attributes pass through."""

    def __init__(self, target):
        self.target, self.calls = target, 0

    def __call__(self, *args, **kwargs):
        self.calls += 1
        return self.target(*args, **kwargs)

    def __getattr__(self, name):
        return getattr(self.target, name)


class TestContext:
    def test_loads_once_in_order(self, mod, module_global):
        load = Counting(mod.load)
        module_global("load", load)
        t = mod.Tavrolen()
        assert t._Tavrolen__initialize_astronomy() is None
        assert list(vars(t)) == CONTEXT
        first = dict(vars(t))
        assert t._Tavrolen__initialize_astronomy() is None
        assert load.calls == 1 and vars(t) == first
        assert all(vars(t)[k] is first[k] for k in CONTEXT)
        assert t._EPH["sun"] is not None and t._SUN.target == 10 and t._MOON.target == 301
        assert t._EARTH.target == 399
        assert t._IST.zone == "Asia/Kolkata"
        assert t._DELHI.latitude.degrees == pytest.approx(28.6139)
        assert t._DELHI.longitude.degrees == pytest.approx(77.2090)
        assert t._DELHI.elevation.m == pytest.approx(213)
        mod.Tavrolen()._Tavrolen__initialize_astronomy()      # each object loads its own
        assert load.calls == 2

    def test_preset_eph_counts_as_loaded(self, mod):
        t = mod.Tavrolen()
        t._EPH = "anything"
        t._Tavrolen__initialize_astronomy()
        assert list(vars(t)) == ["_EPH"]

    # The context appears whole or not at all: a failure while it is made leaves
    # nothing behind, and the next call loads again.
    def test_failure_while_making_leaves_no_context(self, mod, module_global):
        def broken(*a, **k):
            raise RuntimeError("observer refused")

        topos = Counting(broken)
        module_global("Topos", topos)
        t = mod.Tavrolen()
        with pytest.raises(RuntimeError, match="observer refused") as info:
            t._Tavrolen__initialize_astronomy()
        assert vars(t) == {}
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__initialize_astronomy"]
        with pytest.raises(RuntimeError):                    # tried again, not skipped
            t._Tavrolen__initialize_astronomy()
        assert topos.calls == 2
        module_global("Topos", skyfield.api.Topos)
        t._Tavrolen__initialize_astronomy()
        assert list(vars(t)) == CONTEXT

    def test_zone_failure_leaves_no_context(self, mod, module_global):
        class NoZones:
            def timezone(self, name):
                raise pytz.UnknownTimeZoneError(name)

        module_global("pytz", NoZones())
        t = mod.Tavrolen()
        with pytest.raises(pytz.UnknownTimeZoneError):
            t._Tavrolen__initialize_astronomy()
        assert vars(t) == {}

    def test_refused_store_leaves_no_context(self, mod):
        class NoTimescale(mod.Tavrolen):
            def __setattr__(self, name, value):
                if name == "_TS":
                    raise AttributeError("read-only _TS")
                super().__setattr__(name, value)

        t = NoTimescale()
        with pytest.raises(AttributeError, match="read-only _TS"):
            t._Tavrolen__initialize_astronomy()
        assert vars(t) == {}

    def test_failed_load_is_retried(self, mod, module_global):
        real = mod.load

        class FlakyLoad:
            calls = 0
            timescale = real.timescale

            def __call__(self, name):
                self.calls += 1
                if self.calls == 1:
                    raise OSError("disk")
                return real(name)

        module_global("load", FlakyLoad())
        t = mod.Tavrolen()
        with pytest.raises(OSError):
            t._Tavrolen__initialize_astronomy()
        assert vars(t) == {}
        t._Tavrolen__initialize_astronomy()
        assert list(vars(t)) == CONTEXT


class FakeTime:
    def __init__(self, tt):
        self.tt = tt


class FakeEarth:
    """Stands in for _EARTH: observe() reports a chosen tropical longitude."""

    def __init__(self, lon_degrees, parts=3):
        self.lon, self.parts = lon_degrees, parts

    def at(self, time_obj):
        return self

    def observe(self, target):
        return self

    def ecliptic_latlon(self):
        class Angle:
            degrees = self.lon

        return (None, Angle(), None)[: self.parts]


def nirayana_with(mod, lon, tt):
    t = mod.Tavrolen()
    t._EARTH = FakeEarth(lon)
    return t._Tavrolen__get_nirayana_lon("target", FakeTime(tt))


class TestSiderealLongitude:
    @pytest.mark.parametrize("tt, ayanamsha", [
        (2451545.0, 23.44577222222222),    # J2000.0: T = 0
        (2488070.0, 24.84296875),          # T = 1
        (2415020.0, 22.04919291666667),    # T = -1: the quadratic term still adds
    ])
    def test_ayanamsha_at_epochs(self, mod, tt, ayanamsha):
        assert 180.0 - nirayana_with(mod, 180.0, tt) == pytest.approx(ayanamsha, abs=1e-12)

    def test_floored_reduction(self, mod):
        a = 84404.78 / 3600.0          # the ayanamsha at J2000.0
        below = nirayana_with(mod, a - 0.5, 2451545.0)
        assert below == pytest.approx(359.5)
        zero = nirayana_with(mod, a, 2451545.0)
        assert zero == 0.0 and str(zero) == "0.0"            # never -0.0
        assert nirayana_with(mod, a + 360.0, 2451545.0) == pytest.approx(0.0, abs=1e-12)
        # A negative difference within rounding of zero reduces to exactly 360.0.
        assert nirayana_with(mod, a - 1e-14, 2451545.0) == 360.0

    @pytest.mark.parametrize("when", [datetime(1950, 6, 1, 3), datetime(2024, 3, 25, 6, 30),
                                      datetime(2049, 12, 31, 18)])
    def test_against_skyfield(self, tav, sky, when):
        t = sky.ts.utc(when.year, when.month, when.day, when.hour, when.minute)
        for body in ("sun", "moon"):
            _, lon, _ = sky.eph["earth"].at(t).observe(sky.eph[body]).ecliptic_latlon()
            expected = (lon.degrees - lahiri(t.tt)) % 360
            got = tav._Tavrolen__get_nirayana_lon(tav._SUN if body == "sun" else tav._MOON, t)
            # what the arithmetic gives on Skyfield's values: a NumPy float, exactly
            assert type(got) is type(expected) and got == expected

    def test_array_time_gives_the_array_arithmetic(self, tav, sky):
        t = sky.ts.utc(2024, 3, 25, [1, 2, 3])
        _, lon, _ = sky.eph["earth"].at(t).observe(sky.eph["moon"]).ecliptic_latlon()
        expected = (lon.degrees - lahiri(t.tt)) % 360
        got = tav._Tavrolen__get_nirayana_lon(tav._MOON, t)
        assert type(got) is type(expected) and got.shape == (3,)
        assert (got == expected).all()

    def test_errors(self, mod, tav):
        with pytest.raises(AttributeError, match="tt") as info:
            tav._Tavrolen__get_nirayana_lon(tav._SUN, object())
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__get_nirayana_lon"]
        t = mod.Tavrolen()
        t._EARTH = FakeEarth(10.0, parts=2)
        with pytest.raises(ValueError, match=r"^not enough values to unpack \(expected 3, got 2\)$"):
            t._Tavrolen__get_nirayana_lon("target", FakeTime(2451545.0))
        with pytest.raises(AttributeError, match="_EARTH"):     # no context loaded
            mod.Tavrolen()._Tavrolen__get_nirayana_lon("target", FakeTime(2451545.0))
        with pytest.raises(Exception, match="ephemeris"):         # outside DE421's span
            tav._Tavrolen__get_nirayana_lon(tav._SUN, tav._TS.utc(1850, 1, 1))


def ist(t):
    return t.utc_datetime().astimezone(IST)


class StandInAlmanac:
    """An almanac whose search reports chosen events and records its window."""

    def __init__(self, events):
        self.events, self.windows = events, []

    def sunrise_sunset(self, eph, observer):
        return "predicate"

    def find_discrete(self, t0, t1, f):
        self.windows.append((t0, t1, f))
        return [e[0] for e in self.events], [e[1] for e in self.events]


class TestSunset:
    # Published Delhi sunsets (IST), to within a few minutes of refraction models.
    @pytest.mark.parametrize("day, published", [
        (date(2024, 3, 15), (18, 29)),
        (date(2024, 6, 21), (19, 22)),
        (date(2024, 12, 21), (17, 29)),
    ])
    def test_sunset_at_delhi(self, tav, sky, day, published):
        got = tav._Tavrolen__get_sunset(day)
        start = sky.ts.from_datetime(IST.localize(datetime(day.year, day.month, day.day)))
        end = sky.ts.from_datetime(IST.localize(datetime(day.year, day.month, day.day, 23, 59, 59, 999999)))
        times, events = sky.almanac.find_discrete(start, end, sky.almanac.sunrise_sunset(sky.eph, sky.delhi))
        expected = [t for t, e in zip(times, events) if e == 0][0]
        assert got.tt == expected.tt
        local = ist(got)
        assert local.date() == day
        minutes = local.hour * 60 + local.minute
        assert abs(minutes - (published[0] * 60 + published[1])) <= 3

    def test_window_is_the_local_civil_day(self, mod, module_global):
        fake = StandInAlmanac([])
        module_global("almanac", fake)
        t = mod.Tavrolen()
        assert t._Tavrolen__get_sunset(date(2024, 3, 15)) is None
        assert t._Tavrolen__get_sunset(datetime(2024, 3, 15, 22, 0, tzinfo=pytz.utc)) is None
        for t0, t1, f in fake.windows:
            assert t0.utc_datetime() == datetime(2024, 3, 14, 18, 30, tzinfo=pytz.utc)
            assert t1.utc_datetime() == datetime(2024, 3, 15, 18, 29, 59, 999999, tzinfo=pytz.utc)
            assert f == "predicate"

    @pytest.mark.parametrize("events, expected", [
        ([("rise", 1), ("set", 0)], "set"),
        ([("set", False), ("later set", 0)], "set"),
        ([("rise", 1), ("rise again", True)], None),
        ([], None),
    ])
    def test_branches(self, mod, module_global, events, expected):
        module_global("almanac", StandInAlmanac(events))
        assert mod.Tavrolen()._Tavrolen__get_sunset(date(2024, 3, 15)) == expected

    def test_errors(self, tav, mod, module_global):
        with pytest.raises(TypeError) as info:
            tav._Tavrolen__get_sunset("2024-03-15")
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__get_sunset"]

        class BadSearch(StandInAlmanac):
            def find_discrete(self, t0, t1, f):
                return ([1], [0], [2])

        module_global("almanac", BadSearch([]))
        with pytest.raises(ValueError, match=r"too many values to unpack \(expected 2\)") as bad:
            mod.Tavrolen()._Tavrolen__get_sunset(date(2024, 3, 15))
        assert orvik_frames(bad.value) == ["orvik.Tavrolen.Tavrolen.__get_sunset"]
        assert frames(bad.value)[-1][1] == "orvik/Tavrolen"
