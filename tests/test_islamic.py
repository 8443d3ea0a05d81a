"""Hijri date with the day changing at sunset in Delhi, and the Islamic festivals."""

from datetime import date, datetime, timedelta

import pytest
import pytz
from conftest import orvik_frames
from reference import tabular_hijri

IST = pytz.timezone("Asia/Kolkata")

class NoSunset:
    """A stand-in almanac whose days have no sunset: the civil date decides."""

    def sunrise_sunset(self, eph, observer):
        return None

    def find_discrete(self, t0, t1, f):
        return [], []


class TestHijriArithmetic:
    def test_against_the_tabular_calendar(self, mod, module_global):
        module_global("almanac", NoSunset())
        t = mod.Tavrolen()
        t._Tavrolen__initialize_astronomy()
        day, end = date(1900, 1, 1), date(2050, 12, 31)
        previous = None
        while day <= end:
            got = t._Tavrolen__get_hijri_date(day)
            assert got == tabular_hijri(day), day
            assert all(type(v) is int for v in got)
            if previous and got[2] == 1:                      # a month has just ended
                assert previous[2] in (29, 30)
            previous = got
            day += timedelta(days=1)
        # the 30-year cycle: the same Hijri date 10631 days later, 30 years on
        y, m, d = t._Tavrolen__get_hijri_date(date(2000, 1, 1))
        assert t._Tavrolen__get_hijri_date(date(2000, 1, 1) + timedelta(days=10631)) == (y + 30, m, d)

    def test_year_lengths_over_a_cycle(self, mod, module_global):
        module_global("almanac", NoSunset())
        t = mod.Tavrolen()
        t._Tavrolen__initialize_astronomy()
        starts = []
        day = date(1990, 1, 1)
        while len(starts) < 31:
            if t._Tavrolen__get_hijri_date(day)[1:] == (1, 1):
                starts.append(day)
                day += timedelta(days=350)
            day += timedelta(days=1)
        lengths = [(b - a).days for a, b in zip(starts, starts[1:])]
        assert set(lengths) == {354, 355} and lengths.count(355) == 11

    @pytest.mark.parametrize("day, hijri", [
        (date(2024, 3, 12), (1445, 9, 1)),
        (date(2024, 4, 10), (1445, 9, 30)),
        (date(2024, 4, 11), (1445, 10, 1)),
        (date(2025, 4, 1), (1446, 10, 1)),
        (date(9999, 12, 30), tabular_hijri(date(9999, 12, 30))),
    ])
    def test_worked_dates(self, mod, module_global, day, hijri):
        module_global("almanac", NoSunset())
        t = mod.Tavrolen()
        t._Tavrolen__initialize_astronomy()
        assert t._Tavrolen__get_hijri_date(day) == hijri


def sunset_ist(sky, day):
    """Delhi sunset of a civil date from Skyfield directly, as naive IST."""
    start = sky.ts.from_datetime(IST.localize(datetime(day.year, day.month, day.day)))
    end = sky.ts.from_datetime(IST.localize(datetime(day.year, day.month, day.day, 23, 59, 59, 999999)))
    times, events = sky.almanac.find_discrete(start, end, sky.almanac.sunrise_sunset(sky.eph, sky.delhi))
    t = [t for t, e in zip(times, events) if e == 0][0]
    return t.utc_datetime().astimezone(IST).replace(tzinfo=None)


class TestDayChangeAtSunset:
    def test_microseconds_around_sunset(self, tav, sky):
        sunset = sunset_ist(sky, date(2024, 4, 10))
        assert tav._Tavrolen__get_hijri_date(sunset - timedelta(microseconds=1)) == (1445, 9, 30)
        assert tav._Tavrolen__get_hijri_date(sunset) == (1445, 9, 30)
        assert tav._Tavrolen__get_hijri_date(sunset + timedelta(microseconds=1)) == (1445, 10, 1)

    def test_dates_and_zones(self, tav):
        assert tav._Tavrolen__get_hijri_date(datetime(2024, 4, 11, 12, 0)) == (1445, 10, 1)
        assert tav._Tavrolen__get_hijri_date(date(2024, 4, 10)) == (1445, 9, 30)   # 00:00 IST
        # Aware values keep their zone: the civil date is 2024-04-10 in UTC, and
        # 20:00 UTC is after that day's Delhi sunset (about 13:20 UTC).
        assert tav._Tavrolen__get_hijri_date(datetime(2024, 4, 10, 20, 0, tzinfo=pytz.utc)) == (1445, 10, 1)
        assert tav._Tavrolen__get_hijri_date(datetime(2024, 4, 10, 10, 0, tzinfo=pytz.utc)) == (1445, 9, 30)
        assert tav._Tavrolen__get_hijri_date(IST.localize(datetime(2024, 4, 10, 19, 0))) == (1445, 10, 1)

    def test_calls_sunset_once_with_the_civil_date(self, mod, tav):
        seen = []
        t = mod.Tavrolen()
        t._Tavrolen__get_sunset = lambda g_date: seen.append(g_date)
        assert t._Tavrolen__get_hijri_date(datetime(2024, 4, 10, 23, 59)) == (1445, 9, 30)
        assert seen == [date(2024, 4, 10)] and type(seen[0]) is date


class TestIslamicFestival:
    @pytest.mark.parametrize("when, expected", [
        ((2024, 3, 12, 12, 0), "Ramadan_Start"),
        ((2024, 4, 10, 12, 0), None),            # 9-30
        ((2024, 4, 10, 20, 0), "Eid_ul_Fitr"),   # after sunset: 10-1 has begun
        ((2024, 4, 11, 12, 0), "Eid_ul_Fitr"),
        ((2024, 4, 11, 20, 0), None),            # 10-2
        ((2024, 6, 17, 12, 0), "Arafah"),
        ((2024, 6, 18, 12, 0), "Bakrid"),
        ((2024, 7, 9, 12, 0), "Muharram"),
        ((2024, 7, 18, 12, 0), "Day_of_Ashura"),
        ((2025, 4, 1, 12, 0), "Eid_ul_Fitr"),    # 1446-10-1: the year plays no part
    ])
    def test_worked_examples(self, tav, when, expected):
        assert tav._Tavrolen__get_islamic_festival(*when) == expected

    def test_every_entry_of_the_table(self, mod):
        t = mod.Tavrolen()
        names = {}
        for month in range(1, 13):
            for day in range(1, 31):
                t._Tavrolen__get_hijri_date = lambda dt_obj, m=month, d=day: (1445, m, d)
                name = t._Tavrolen__get_islamic_festival(2024, 1, 1, 12, 0)
                if name:
                    names[(month, day)] = name
        assert names == {(1, 1): "Muharram", (1, 10): "Day_of_Ashura",
                         (3, 12): "Eid_Milad_un_Nabi", (7, 27): "Shab_e_Miraj",
                         (8, 15): "Shab_e_Barat", (9, 1): "Ramadan_Start",
                         (9, 27): "Shab_e_Qadr", (10, 1): "Eid_ul_Fitr", (12, 9): "Arafah",
                         (12, 10): "Bakrid"}

    def test_passes_a_naive_datetime(self, mod):
        seen = []
        t = mod.Tavrolen()
        t._Tavrolen__get_hijri_date = lambda dt_obj: seen.append(dt_obj) or (1, 1, 1)
        assert t._Tavrolen__get_islamic_festival(2024, 4, 10, 20, 5) == "Muharram"
        assert seen == [datetime(2024, 4, 10, 20, 5)] and type(seen[0]) is datetime


class TestErrors:
    def test_not_a_date(self, tav):
        with pytest.raises(TypeError) as info:
            tav._Tavrolen__get_hijri_date("2024-04-10")
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__get_hijri_date"]

    def test_invalid_day(self, tav):
        # datetime's own message: 3.14 names the day, the month and the year.
        with pytest.raises(ValueError, match="day is out of range for month|"
                                             "day 31 must be in range 1..30 for month 4") as info:
            tav._Tavrolen__get_islamic_festival(2024, 4, 31, 12, 0)
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__get_islamic_festival"]
        with pytest.raises(TypeError):
            tav._Tavrolen__get_islamic_festival(2024, 4, 1.5, 12, 0)

    def test_hijri_result_must_unpack_into_three(self, mod):
        t = mod.Tavrolen()
        t._Tavrolen__get_hijri_date = lambda dt_obj: (1445, 10)
        with pytest.raises(ValueError, match=r"not enough values to unpack \(expected 3, got 2\)"):
            t._Tavrolen__get_islamic_festival(2024, 4, 11, 12, 0)

    def test_outside_the_ephemeris(self, tav):
        with pytest.raises(Exception, match="ephemeris") as info:
            tav._Tavrolen__get_islamic_festival(2200, 1, 1, 12, 0)
        assert orvik_frames(info.value) == [
            "orvik.Tavrolen.Tavrolen.__get_islamic_festival",
            "orvik.Tavrolen.Tavrolen.__get_hijri_date",
            "orvik.Tavrolen.Tavrolen.__get_sunset",
        ]

    def test_last_day_of_year_9999(self, mod, tav):
        # The ephemeris ends in 2053; a stand-in sunset lets the date arithmetic run.
        class LateSunset:
            def utc_datetime(self):
                return datetime(9999, 12, 31, 12, 0, tzinfo=pytz.utc)

        t = mod.Tavrolen()
        for k in ("_EPH", "_IST"):
            setattr(t, k, getattr(tav, k))
        t._Tavrolen__get_sunset = lambda g_date: LateSunset()
        assert t._Tavrolen__get_hijri_date(datetime(9999, 12, 31, 12, 0)) == \
            tabular_hijri(date(9999, 12, 31))
        with pytest.raises(OverflowError) as info:
            t._Tavrolen__get_hijri_date(datetime(9999, 12, 31, 23, 0))
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__get_hijri_date"]
