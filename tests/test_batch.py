"""get_festival's batch evaluator gives exactly what one __get_festival_holiday
call per distinct date-time gives, and hands over to that one-date path where
it must.

The route is observed without changing what any name resolves to: the one-date
path calls Skyfield's almanac.find_discrete twice per date-time (new moon and
sunset searches), the batch never does."""

import copy
import inspect
import os
import sys
import types
from datetime import datetime, timedelta, timezone

import numpy as np
import pandas as pd
import pytest
import pytz
import skyfield.searchlib
from conftest import CLASS_ENTRIES, CONTEXT, GLOBALS, orvik_frames
from skyfield import almanac
from skyfield.vectorlib import VectorFunction

IST = pytz.timezone("Asia/Kolkata")
FIND_DISCRETE = skyfield.searchlib.find_discrete.__code__


class Route:
    """Counts the calls of almanac.find_discrete made inside the block."""

    def __enter__(self):
        self.searches = 0

        def profile(frame, event, arg):
            if event == "call" and frame.f_code is FIND_DISCRETE:
                self.searches += 1

        sys.setprofile(profile)
        return self

    def __exit__(self, *exc):
        sys.setprofile(None)


class DisplacedSun(VectorFunction):
    """The Sun displaced by a constant barycentric vector: seen from the Earth its
    ecliptic longitude moves by about |offset| / distance radians."""

    def __init__(self, sun, offset):
        self.sun, self.offset = sun, offset
        self.center, self.target = sun.center, sun.target

    def _at(self, t):
        p, v, gcrs, message = self.sun._at(t)
        return p + (self.offset if np.ndim(p) == 1 else self.offset[:, None]), v, gcrs, message

    def moved(self, geocentric, radians):
        """Displaced further so that its longitude drops by `radians`."""
        obliquity = np.radians(23.4392911)
        pole = np.array([0.0, -np.sin(obliquity), np.cos(obliquity)])
        east = np.cross(pole, geocentric / np.linalg.norm(geocentric))
        return DisplacedSun(self.sun, self.offset - radians * np.linalg.norm(geocentric) * east)


def one_date(mod):
    """An object on which get_festival takes the one-date path: an instance
    attribute, even the class's own method, counts as an override."""
    t = mod.Tavrolen()
    t._Tavrolen__get_festival_holiday = t._Tavrolen__get_festival_holiday
    return t


def annotate(t, values):
    df = pd.DataFrame({"date": values})
    with Route() as route:
        t.get_festival(df, "date")
    return list(df["festival"].fillna("-")), route.searches


def ist_minutes(instants, around):
    """Whole IST minutes within `around` minutes of each Skyfield instant, as text."""
    out = []
    for t in instants:
        local = t.utc_datetime().astimezone(IST).replace(tzinfo=None, second=0, microsecond=0)
        for k in range(-around, around + 1):
            m = local + timedelta(minutes=k)
            if m.hour != 0:                      # the hour after midnight is read at noon
                out.append(m.strftime("%Y-%m-%d %H:%M"))
    return out


def tithi_changes(sky, start, end):
    def tithi(t):
        e = sky.eph["earth"].at(t)
        s = e.observe(sky.eph["sun"]).ecliptic_latlon()[1].degrees
        m = e.observe(sky.eph["moon"]).ecliptic_latlon()[1].degrees
        return ((m - s) % 360 // 12).astype(int)

    tithi.step_days = 0.5
    return almanac.find_discrete(sky.ts.utc(*start), sky.ts.utc(*end), tithi)[0]


def sunsets(sky, start, days):
    t0 = sky.ts.utc(*start)
    times, events = almanac.find_discrete(t0, t0 + days, almanac.sunrise_sunset(sky.eph, sky.delhi))
    return times[events == 0]


def new_moons(sky, start, end):
    times, phases = almanac.find_discrete(sky.ts.utc(*start), sky.ts.utc(*end),
                                          almanac.moon_phases(sky.eph))
    return times[phases == 0]


# The full comparison (2,000 random moments and the events of four years) takes
# minutes; by default a few hundred moments and the events of one year run.
FULL = os.environ.get("ORVIK_FULL_CHECKS") == "1"


@pytest.fixture(scope="module")
def moments(sky):
    """Random date-times from 1900 to 2050, and every minute within three of a
    sample of sunsets, tithi changes and new moons."""
    rng = np.random.default_rng(2026)
    start = datetime(1900, 1, 1)
    count = 2000 if FULL else 300
    minutes = rng.integers(0, (datetime(2050, 12, 31) - start).days * 1440, count)
    spread = [(start + timedelta(minutes=int(m))).strftime("%Y-%m-%d %H:%M") for m in minutes]
    events = []
    for year in (1903, 1947, 1999, 2031) if FULL else (1999,):
        events += list(sunsets(sky, (year, 3, 1), 3))
        events += list(tithi_changes(sky, (year, 6, 1), (year, 6, 4)))
        events += list(new_moons(sky, (year, 9, 1), (year, 10, 1)))
    near = ist_minutes(events, 3)
    assert len(set(spread)) == count and len(near) > 35
    return spread + near


@pytest.mark.values
def test_batch_equals_one_date_path(mod, moments):
    batch, batch_searches = annotate(mod.Tavrolen(), moments)
    single, single_searches = annotate(one_date(mod), moments)
    assert batch == single
    distinct = len(set(pd.to_datetime(pd.Series(moments))))
    assert single_searches == 2 * distinct
    # the batch leaves only the first date (it loads the context) and the
    # moments within a margin of a boundary to the one-date path
    assert batch_searches < 0.05 * single_searches
    assert sum(name != "-" for name in batch) > (100 if FULL else 15)


@pytest.mark.values
def test_events_of_a_month_equal_one_date_path(mod, sky):
    """Minutes dense enough for the batch to find the events of their span (tithi
    changes, new moon, sunsets) instead of evaluating each minute: every minute
    within three of each event of March 2024."""
    events = list(tithi_changes(sky, (2024, 3, 1), (2024, 4, 1)))
    events += list(sunsets(sky, (2024, 3, 1), 31)) + list(new_moons(sky, (2024, 3, 1), (2024, 4, 1)))
    minutes = sorted(set(ist_minutes(events, 3)))
    assert len(minutes) > 8 * 31                     # dense: more than 8 a day
    batch, batch_searches = annotate(mod.Tavrolen(), minutes)
    single, _ = annotate(one_date(mod), minutes)
    assert batch == single
    assert batch_searches <= 2 + 2                   # the first date, and at most one more
    assert {"Holi", "Ramadan_Start"} <= {n for name in batch for n in name.split("/")}


def test_column_is_the_one_date_paths(mod):
    """Same values, dtype and kinds of missing value as the dict of the
    definition gives, whichever route computed them."""
    days = ["2024-01-26", "2024-02-05", "not a date", "2024-03-25 08:30:15", "2024-03-25 08:30:45"]
    columns = []
    for t in (mod.Tavrolen(), one_date(mod)):
        df = pd.DataFrame({"date": days})
        columns.append(t.get_festival(df, "date")["festival"])
    assert columns[0].dtype == columns[1].dtype
    assert [repr(x) for x in columns[0]] == [repr(x) for x in columns[1]]
    pd.testing.assert_series_equal(columns[0], columns[1])


class TestRoute:
    DAYS = ["2024-01-26", "2024-03-25", "2024-04-10 20:15", "2024-11-01", "2024-06-17 13:00",
            "2023-06-29", "2025-07-15"]

    @pytest.fixture
    def expected(self, mod):
        return annotate(one_date(mod), self.DAYS)[0]

    def loaded(self, mod):
        t = mod.Tavrolen()
        t._Tavrolen__initialize_astronomy()
        return t

    def test_batch_route(self, mod, expected):
        assert annotate(self.loaded(mod), self.DAYS) == (expected, 0)

    def test_context_is_loaded_by_the_first_date(self, mod, expected):
        assert annotate(mod.Tavrolen(), self.DAYS) == (expected, 2)

    def test_override_in_a_subclass(self, mod, expected):
        class Sub(mod.Tavrolen):
            def _Tavrolen__get_sunset(self, g_date):
                return super()._Tavrolen__get_sunset(g_date)

        assert annotate(Sub(), self.DAYS) == (expected, 2 * len(self.DAYS))
        assert annotate(type("Plain", (mod.Tavrolen,), {})(), self.DAYS) == (expected, 2)

    def test_fixed_holidays_on_the_instance(self, mod):
        own = {**mod.Tavrolen._FIXED_HOLIDAYS, (7, 15): "Own_Day"}
        t, reference = self.loaded(mod), one_date(mod)
        t._FIXED_HOLIDAYS = reference._FIXED_HOLIDAYS = own
        names, searches = annotate(t, self.DAYS)
        assert (names, searches) == (annotate(reference, self.DAYS)[0], 2 * len(self.DAYS))
        assert names[-1] == "Own_Day"

    # Every name the one-date path resolves, rebound to an equivalent object: the
    # batch notices and steps aside for the whole call (two searches a date).
    ATTRIBUTES = [("load", "timescale"), ("almanac", "find_discrete"),
                  ("almanac", "moon_phases"), ("almanac", "sunrise_sunset"),
                  ("pytz", "timezone"), ("pytz", "utc")]
    # Every entry of the class but get_festival, which runs on either route.
    ENTRIES = [name for name in CLASS_ENTRIES if name != "get_festival"]

    @staticmethod
    def equivalent(value):
        if isinstance(value, types.ModuleType):
            twin = types.ModuleType(value.__name__)
            twin.__dict__.update(value.__dict__)
            return twin
        if isinstance(value, type):
            return type(value.__name__, (value,), {})
        return copy.copy(value)

    @pytest.mark.parametrize("name", GLOBALS)
    def test_rebound_global(self, mod, module_global, expected, name):
        module_global(name, self.equivalent(getattr(mod, name)))
        assert annotate(self.loaded(mod), self.DAYS) == (expected, 2 * len(self.DAYS))

    @pytest.mark.parametrize("owner, name", ATTRIBUTES)
    def test_rebound_attribute(self, mod, monkeypatch, expected, owner, name):
        original = getattr(getattr(mod, owner), name)
        if name == "utc":
            stand_in = timezone.utc
        else:
            def stand_in(*a, **k):
                return original(*a, **k)
        monkeypatch.setattr(getattr(mod, owner), name, stand_in)
        assert annotate(self.loaded(mod), self.DAYS) == (expected, 2 * len(self.DAYS))

    @pytest.mark.parametrize("name", ENTRIES)
    def test_class_entry_in_a_subclass(self, mod, expected, name):
        value = mod.Tavrolen.__dict__[name]
        if isinstance(value, dict):
            stand_in = dict(value)
        else:
            def stand_in(self, *a, **k):
                return value(self, *a, **k)
        sub = type("Sub", (mod.Tavrolen,), {name: stand_in})
        t = sub()
        t._Tavrolen__initialize_astronomy()
        assert annotate(t, self.DAYS) == (expected, 2 * len(self.DAYS))

    def test_utc_rebound_to_india_time(self, mod, monkeypatch):
        # the one-date path reads pytz.utc for the sunset: rebinding it moves the
        # day change, and the batch must give what the one-date path gives
        monkeypatch.setattr(mod.pytz, "utc", pytz.timezone("Asia/Kolkata"))
        days = ["2024-04-10 18:40", "2024-04-10 12:00"]
        assert annotate(self.loaded(mod), days)[0] == annotate(one_date(mod), days)[0]

    def test_unexpected_context_objects(self, mod, expected):
        t = self.loaded(mod)
        t._IST = pytz.timezone("Asia/Calcutta")      # same rules, another object
        assert annotate(t, self.DAYS) == (expected, 2 * len(self.DAYS))

    @pytest.mark.parametrize("broken", ["partial context", "outside the ephemeris"])
    def test_failures_are_those_of_the_one_date_path(self, mod, broken):
        outcomes = []
        for t in (self.loaded(mod), one_date(mod)):
            days = list(self.DAYS)
            if broken == "partial context":
                t._Tavrolen__initialize_astronomy()
                del t._DELHI
            else:
                days.insert(3, "1850-05-05")
            df = pd.DataFrame({"date": days})
            with pytest.raises(Exception) as info:
                t.get_festival(df, "date")
            outcomes.append((type(info.value), str(info.value), orvik_frames(info.value),
                             "festival" in df))
        assert outcomes[0] == outcomes[1]
        assert outcomes[0][2][0] == "orvik.Tavrolen.Tavrolen.get_festival"


def test_a_date_outside_the_ephemeris_fails_first(mod):
    # the definition computes the earlier dates before it fails on this one; their
    # answers are never written, so the batch does not compute them the slow way
    days = [f"2024-{m:02d}-{d:02d}" for m in range(1, 7) for d in range(1, 29)] + ["1850-01-01"]
    t = mod.Tavrolen()
    t._Tavrolen__initialize_astronomy()
    df = pd.DataFrame({"date": days})
    with Route() as route, pytest.raises(Exception) as info:
        t.get_festival(df, "date")
    assert route.searches <= 2
    assert orvik_frames(info.value)[:2] == ["orvik.Tavrolen.Tavrolen.get_festival",
                                            "orvik.Tavrolen.Tavrolen.__get_festival_holiday"]
    assert "festival" not in df


class TestMargins:
    """A moment too close to a decision boundary goes through the one-date path:
    two searches for that one date-time, and the same string."""

    def check(self, mod, moment, searches=2):
        days = ["2024-01-26", moment, "2024-03-25"]
        t = mod.Tavrolen()
        t._Tavrolen__initialize_astronomy()
        names, count = annotate(t, days)
        assert count == searches
        assert names == annotate(one_date(mod), days)[0]

    def test_near_a_new_moon(self, mod, sky):
        # a new moon within a second of a whole IST minute (within 2 s of it
        # the one-date path decides)
        for moon in new_moons(sky, (2020, 1, 1), (2030, 1, 1)):
            local = moon.utc_datetime().astimezone(IST)
            seconds = local.second + local.microsecond / 1e6
            if min(seconds, 60 - seconds) < 1.0:
                whole = (local + timedelta(seconds=30)).replace(second=0, microsecond=0)
                if whole.hour == 0:
                    continue                             # read at noon, far from it
                self.check(mod, whole.strftime("%Y-%m-%d %H:%M"))
                return
        pytest.fail("no new moon within a second of a whole minute in ten years")

    def test_near_sunset(self, mod, sky):
        # too close to the batch's sunset: the one-date path's own sunset decides
        # the Hijri date (one search), the rest of the minute stays in the batch
        for t in sunsets(sky, (2024, 5, 1), 60):
            seconds = t.utc_datetime().second + t.utc_datetime().microsecond / 1e6
            if min(seconds, 60 - seconds) < 1.0:      # a whole minute within a second
                local = t.utc_datetime().astimezone(IST) + timedelta(seconds=30)
                self.check(mod, local.strftime("%Y-%m-%d %H:%M"), searches=1)
                return
        pytest.fail("no sunset within a second of a whole minute in 60 days")

    def test_sun_near_a_sign_boundary_at_new_moon(self, mod, tav):
        # No real new moon of 1900 to 2050 finds the Sun within 1e-4 degrees of a
        # sign boundary, so the Sun of the context is displaced by a constant
        # vector that puts it 5e-5 degrees past one at the new moon of 2024-04-08.
        # Both paths read the same displaced Sun.
        new_moon = tav._Tavrolen__get_accurate_panchang(2024, 4, 20, 12, 0, True)["last_amavasya"]
        sun = DisplacedSun(tav._SUN, np.zeros(3))
        target = 30 * round(tav._Tavrolen__get_nirayana_lon(sun, new_moon) / 30) + 5e-5
        for _ in range(3):
            error = (tav._Tavrolen__get_nirayana_lon(sun, new_moon) - target + 180) % 360 - 180
            sun = sun.moved(tav._EARTH.at(new_moon).observe(sun).position.au, np.radians(error))
        days = ["2024-04-10", "2024-04-20 12:00", "2024-05-20"]   # two in that lunation
        routes = []
        for t in (mod.Tavrolen(), one_date(mod)):
            t._Tavrolen__initialize_astronomy()
            t._SUN = sun
            routes.append(annotate(t, days))
        assert routes[0][0] == routes[1][0]
        assert (routes[0][1], routes[1][1]) == (4, 6)

    # Whole IST minutes whose elongation lies within 1e-6 degrees of a tithi
    # boundary, found by `python bench/batch_margins.py --edges`.
    @pytest.mark.parametrize("moment", ["2021-10-31 14:28", "1998-11-23 17:09"])
    def test_near_a_tithi_change(self, mod, moment):
        self.check(mod, moment)


class TestAgreesInEveryEra:
    """Places where the batch once differed from the definition."""

    def test_historical_offsets_of_the_zone(self, mod):
        # Asia/Kolkata was +06:30 in 1942-45 and local time before 1906: the Hijri
        # day changes at sunset by the zone's own offset.  Sparse and dense (an
        # evening every five minutes).
        moments = ["1942-01-19 18:00", "1945-09-09 19:28", "1900-01-03 17:40",
                   "1902-04-11 18:40", "1960-03-01 18:30"]
        evening = [f"1942-01-19 {h}:{m:02d}" for h in (17, 18, 19) for m in range(0, 60, 5)]
        for values in (moments, evening):
            assert annotate(mod.Tavrolen(), values)[0] == annotate(one_date(mod), values)[0]

    def test_first_failing_date_in_the_definitions_order(self, mod):
        days = ["2024-01-26", "2053-10-13 03:00", "1850-01-01"]
        outcomes = []
        for t in (mod.Tavrolen(), TestRoute().loaded(mod), one_date(mod)):
            with pytest.raises(Exception) as info:
                t.get_festival(pd.DataFrame({"date": days}), "date")
            outcomes.append((type(info.value), str(info.value), orvik_frames(info.value)))
        assert outcomes[0] == outcomes[1] == outcomes[2]
        assert "orvik.Tavrolen.Tavrolen.__get_sunset" in outcomes[0][2]

    def test_a_fixed_date_entry_that_is_not_a_string(self, mod, monkeypatch):
        monkeypatch.setitem(mod.Tavrolen._FIXED_HOLIDAYS, (1, 26), 42)   # mutated in place
        outcomes = []
        for t in (TestRoute().loaded(mod), one_date(mod)):
            with pytest.raises(TypeError) as info:
                t.get_festival(pd.DataFrame({"date": ["2024-03-25", "2024-01-26"]}), "date")
            outcomes.append((str(info.value), orvik_frames(info.value)))
        assert outcomes[0] == outcomes[1]
        assert outcomes[0][1] == ["orvik.Tavrolen.Tavrolen.get_festival",
                                  "orvik.Tavrolen.Tavrolen.__get_festival_holiday"]


@pytest.fixture(scope="module")
def prim():
    import orvik._primitives

    return orvik._primitives


class TestPrimitives:
    """The margins of the batch, measured from its own primitives against what
    the one-date path computes."""

    def test_minute_instants_around_leap_seconds(self, prim, tav):
        # Timescale.utc(y, m, d, h - 5, mi - 30) keeps the civil date's TT - UTC:
        # before 05:30 IST on the day after a leap second its instant is a second
        # off the true one, and the batch's must be that one.
        ts = tav._TS
        epoch = datetime(1970, 1, 1)
        for leap in [datetime(1972, 7, 1), datetime(1990, 1, 1), datetime(2017, 1, 1)]:
            wall = [leap + timedelta(minutes=k) for k in (-1, 0, 1, 329, 330, 331, 1200)]
            got = prim.minute_instants(tav, [int((w - epoch).total_seconds() // 60) for w in wall])
            want = ts.utc([w.year for w in wall], [w.month for w in wall], [w.day for w in wall],
                          [w.hour - 5 for w in wall], [w.minute - 30 for w in wall]).tt
            assert np.max(np.abs(np.array([g[0] for g in got]) - want)) * 86400 < 1e-4

    def test_zone_offsets_as_localize_gives_them(self, prim, tav):
        epoch = datetime(1970, 1, 1)
        for wall in [datetime(1942, 1, 19, 18), datetime(1903, 6, 1, 19), datetime(2024, 4, 10, 19),
                     datetime(1941, 10, 1, 0, 30)]:
            ((tt, civil, clear),) = prim.minute_instants(tav, [int((wall - epoch).total_seconds() // 60)])
            offset = tav._IST.localize(wall).utcoffset().total_seconds()
            if wall.year == 1941:        # a wall-clock hour the change to +06:30 skipped
                assert not clear
            else:
                assert clear and abs((tt - civil) * 86400 - (offset - 19800)) < 1e-3

    def test_events_against_the_one_date_path(self, prim, tav, sky):
        # new moons: within 0.3 ms of find_discrete's (margin 2 s); sunsets: within
        # 0.2 ms of __get_sunset (margin 0.1 s); elongation at a tithi change within
        # 1e-6 degrees of the boundary (margin 1 s of lunar motion).
        start, end = sky.ts.utc(2023, 1, 1).tt, sky.ts.utc(2023, 7, 1).tt
        ours = prim.new_moons(tav, start, end)
        for t in new_moons(sky, (2023, 1, 1), (2023, 7, 1)):
            assert min(abs(np.array(ours) - t.tt)) * 86400 < 0.01
        assert prim.SYNODIC_MONTH == pytest.approx(np.mean(np.diff(ours)), abs=0.3)
        for day in (datetime(2023, 3, 20), datetime(1942, 6, 1)):
            one = tav._Tavrolen__get_sunset(day.date()).tt
            (batch,) = prim.sunsets_near(tav, [one + 0.05])
            assert abs(batch - one) * 86400 < 0.01
        for tt, start_tithi in prim.tithi_changes(tav, start, start + 5):
            lon = [tav._Tavrolen__get_nirayana_lon(body, sky.ts.tt_jd(tt))
                   for body in (tav._SUN, tav._MOON)]
            diff = (lon[1] - lon[0] - 12 * start_tithi + 180) % 360 - 180
            assert abs(diff) < 1e-6


@pytest.mark.parametrize("holder, why", [
    ("an object never loaded", "an attribute missing"),
    ("a timescale of its own", "a timescale that is not a Skyfield Timescale"),
    ("a body of its own", "a body that is not a Skyfield vector function"),
])
def test_what_is_not_a_context_is_refused_by_name(mod, prim, tav, holder, why):
    # The private modules read the context through the one check the batch makes.
    t = mod.Tavrolen()
    if holder != "an object never loaded":
        for name in CONTEXT:
            setattr(t, name, getattr(tav, name))
        setattr(t, "_TS" if "timescale" in holder else "_MOON", "moon")
    with pytest.raises(TypeError, match=f"^the astronomy context is read from a loaded Tavrolen "
                                        f"object \\({', '.join(CONTEXT)}\\), not from a Tavrolen "
                                        f"object with {why}$"):
        prim.new_moons(t, 2460000.5, 2460001.5)


@pytest.mark.values
def test_library_internals_that_disagree_make_the_batch_step_aside():
    # Replaced in a fresh process before the first call (the check is made once):
    # the batch takes the one-date path for every date, and the answers are right.
    script = """
        import pandas as pd
        import skyfield.nutationlib, skyfield.positionlib
        from conftest import BSP  # noqa
        from orvik.ephemeris import loaded
        {break_it}
        days = pd.date_range("2024-01-01", periods=40, freq="9D").astype(str)
        import skyfield.searchlib
        calls = []
        import sys
        sys.setprofile(lambda f, e, a: calls.append(1) if e == "call" and
                       f.f_code is skyfield.searchlib.find_discrete.__code__ else None)
        out = loaded().get_festival(pd.DataFrame({{"date": days}}), "date")["festival"]
        sys.setprofile(None)
        print(len(calls), list(out.fillna("-")))
    """
    from conftest import run_python

    results = {}
    for name, break_it in [
            ("intact", ""),
            ("wrong", "skyfield.nutationlib.iau2000b_radians = lambda t: (t.tt * 0 + 1e-3, t.tt * 0)"),
            ("missing", "del skyfield.positionlib.ICRF.frame_latlon_and_rates")]:
        r = run_python(script.format(break_it=break_it), cwd=os.path.dirname(__file__))
        assert r.returncode == 0, r.stderr
        searches, names = r.stdout.split(" ", 1)
        results[name] = (int(searches), names)
    assert results["intact"][0] == 0
    assert results["wrong"] == results["missing"] == (80, results["intact"][1])


class TestLibraryReads:
    """Every library attribute the bodies read is in the batch's watch list."""

    CLASS_READS = [(owner, name) for owner, name in __import__("orvik._primitives").
                   _primitives.LIBRARY_READS if "." in owner]

    @staticmethod
    def owner_class(path):
        module, _, name = path.rpartition(".")
        return getattr(__import__(module, fromlist=[name]), name)

    @pytest.mark.parametrize("owner, name", CLASS_READS)
    def test_replaced_class_attribute(self, mod, monkeypatch, owner, name):
        # an equivalent stand-in on the library class: the batch steps aside
        cls = self.owner_class(owner)
        original = inspect.getattr_static(cls, name, None)
        if isinstance(original, types.FunctionType):
            def stand_in(*a, **k):
                return original(*a, **k)
        else:                                      # a property or a cached attribute
            class StandIn:
                def __get__(self, obj, owner=None):
                    return original.__get__(obj, owner)

            stand_in = StandIn()
        expected = annotate(one_date(mod), TestRoute.DAYS)[0]
        monkeypatch.setattr(cls, name, stand_in)
        assert annotate(TestRoute().loaded(mod), TestRoute.DAYS) == (expected,
                                                                     2 * len(TestRoute.DAYS))

    def test_what_the_bodies_read_is_listed(self, mod, monkeypatch, module_global):
        # Every attribute that the C++ bodies read on a Skyfield or pytz object or
        # on an imported module is recorded (an attribute read straight from C++
        # has this test's frame as its caller; the libraries' own reads do not).
        import skyfield.iokit
        import skyfield.jpllib
        import skyfield.positionlib
        import skyfield.timelib
        import skyfield.toposlib
        import skyfield.units
        import skyfield.vectorlib
        import pytz.tzinfo
        from orvik._primitives import LIBRARY_READS

        here = sys._getframe().f_code.co_filename
        seen, on = set(), []

        def recording(cls):
            def __getattribute__(self, name):
                if on and sys._getframe(1).f_code.co_filename == here:
                    seen.add((type(self), name))
                return object.__getattribute__(self, name)
            return __getattribute__

        for cls in (skyfield.timelib.Timescale, skyfield.timelib.Time, skyfield.units.Unit,
                    skyfield.vectorlib.VectorFunction, skyfield.positionlib.ICRF,
                    skyfield.jpllib.SpiceKernel, skyfield.iokit.Loader,
                    skyfield.toposlib.GeographicPosition, pytz.tzinfo.BaseTzInfo):
            monkeypatch.setattr(cls, "__getattribute__", recording(cls), raising=False)

        class Recording(types.ModuleType):
            def __getattribute__(self, name):
                if on and sys._getframe(1).f_code.co_filename == here:
                    seen.add((object.__getattribute__(self, "__name__"), name))
                return types.ModuleType.__getattribute__(self, name)

        for name in ("almanac", "pytz"):
            twin = Recording(getattr(mod, name).__name__)
            twin.__dict__.update(getattr(mod, name).__dict__)
            module_global(name, twin)
        t = mod.Tavrolen()
        on.append(True)
        for when in [(2024, 4, 10, 12, 0), (2024, 4, 10, 20, 15)]:
            t._Tavrolen__get_festival_holiday(*when, purnimanta=True)
        on.clear()
        modules = {"almanac": "skyfield.almanac", "pytz": "pytz", "load": None}
        listed = set()
        for owner, name in LIBRARY_READS:
            if "." in owner:
                listed.add((self.owner_class(owner), name))
            else:
                listed.add((modules[owner], name))
        unlisted = {(who, name) for who, name in seen
                    if not any(name == n and (who == w or isinstance(who, type) and
                                              isinstance(w, type) and issubclass(who, w))
                               for w, n in listed)}
        # load is an instance of Loader: its reads are recorded by class.  The
        # tzinfo protocol is called by datetime's own code (astimezone).
        unlisted = {(who, name) for who, name in unlisted
                    if (who, name) != (skyfield.iokit.Loader, "timescale") and
                    name not in ("utcoffset", "dst", "tzname", "fromutc")}
        assert unlisted == set()
        assert len(seen) >= 12
