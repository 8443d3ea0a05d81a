"""The observed calendar (orvik.observed): the days India keeps, held against
published days in Delhi, and its interface."""

import datetime as dt
import os
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import reference

observed = pytest.importorskip("orvik.observed")

# Days kept in Delhi (central-government holiday lists and Delhi panchangs).
PUBLISHED = {
    "Dipawali": ["2019-10-27", "2020-11-14", "2021-11-04"],
    "Holi": ["2019-03-21", "2020-03-10", "2021-03-29"],
    "Maha_Shiv_Ratri": ["2019-03-04", "2020-02-21", "2021-03-11"],
    "Dassehra": ["2019-10-08", "2020-10-25", "2021-10-15"],
    "Raksha_Bandhan": ["2019-08-15", "2020-08-03", "2021-08-22"],
    "Ganesh_Chaturthi": ["2019-09-02", "2020-08-22", "2021-09-10"],
    "Buddha_Purnima": ["2019-05-18", "2020-05-07", "2021-05-26"],
    "Shree_Krishna_Janmashtami": ["2019-08-24", "2021-08-30"],
    "Eid_ul_Fitr": ["2019-06-05", "2020-05-25", "2021-05-14"],
    "Bakrid": ["2019-08-12", "2020-08-01", "2021-07-21"],
    "Day_of_Ashura": ["2019-09-10", "2020-08-30"],
    "Eid_Milad_un_Nabi": ["2019-11-10", "2020-10-30", "2021-10-19"],
}


@pytest.fixture(scope="module")
def years():
    return observed.festivals(2019, 2024)


def days_of(table, name, year=None):
    rows = table[table["name"] == name]["date"].dt.strftime("%Y-%m-%d").tolist()
    return [d for d in rows if year is None or d.startswith(str(year))]


def test_published_days(years):
    found = {name: [d for d in days_of(years, name) if d[:4] in ("2019", "2020", "2021")]
             for name in PUBLISHED}
    for name, published in PUBLISHED.items():
        # Each published day is found, and no other day of the same year.
        assert [d for d in found[name] if d[:4] in {p[:4] for p in published}] == published, name


def test_each_rule_on_a_day_it_decides(years):
    """Days where the rule, not the tithi at noon, decides."""
    # Pradosh: the new moon begins on the holiday's evening.
    assert days_of(years, "Dipawali", 2022) == ["2022-10-24"]
    assert days_of(years, "Dipawali", 2023) == ["2023-11-12"]
    # Nishita: chaturdashi holds at the midnight after the 18th.
    assert days_of(years, "Maha_Shiv_Ratri", 2023) == ["2023-02-18"]
    assert days_of(years, "Maha_Shiv_Ratri", 2024) == ["2024-03-08"]
    # Sunrise: the full moon began on the evening before; Chhath's Shashthi had
    # ended by the evening of the day kept (2021, 2023).
    assert days_of(years, "Buddha_Purnima", 2020) == ["2020-05-07"]
    assert [days_of(years, "Chhath_Pooja", y)[0] for y in (2021, 2023)] == ["2021-11-10", "2023-11-19"]
    # Aparahna: dwitiya covers more of the 14th's than of the 15th's, whose
    # sunrise it holds.
    assert days_of(years, "Bhai_Dooj", 2023) == ["2023-11-14"]
    # Raksha Bandhan in pradosh after Bhadra (2023), in aparahna (2019).
    assert days_of(years, "Raksha_Bandhan", 2023) == ["2023-08-30"]
    # Holika Dahan after Bhadra ends, late on the 24th; Holi once, the day after.
    assert days_of(years, "Holika_Dahan", 2024) == ["2024-03-24"]
    assert days_of(years, "Holi", 2024) == ["2024-03-25"]
    # Dassehra: aparahna alone gives 7 October 2019; the Shravana nakshatra in
    # the next aparahna, with dashami at its sunrise, moves it.
    assert days_of(years, "Dassehra", 2019) == ["2019-10-08"]
    # The crescent: Bakrid a day after the tabular date every year.
    assert [days_of(years, "Bakrid", y)[0] for y in range(2022, 2025)] == [
        "2022-07-10", "2023-06-29", "2024-06-17"]


def test_evening_and_night_rules_agree_with_the_column(tav):
    """Every year from 1900 to 2050, the column names Dipawali at some minute of
    the observed day's evening, and Maha Shivaratri at some minute of its night:
    the tithi the rule chose holds in the period it was chosen for.  Where it
    holds in no day's period, it holds at the day's sunrise."""
    table = observed.festivals(1900, 2050)

    def missing(name, days, first_minute, minutes):
        times = [d + pd.Timedelta(minutes=first_minute + m) for d in days for m in minutes]
        col = tav.get_festival(pd.DataFrame({"d": times}), "d")["festival"].fillna("")
        per_day = col.to_numpy().reshape(len(days), len(minutes))
        return [d for d, row in zip(days, per_day) if not any(name in c for c in row)]

    for name, first_minute, minutes in (("Dipawali", 17 * 60, range(0, 270, 10)),          # 17:00-21:30
                                        ("Maha_Shiv_Ratri", 23 * 60, range(0, 180, 10))):  # 23:00-01:50
        days = list(table[table["name"] == name]["date"])
        assert len(days) == 151, name
        outside = missing(name, days, first_minute, minutes)
        assert len(outside) <= 3 and missing(name, outside, 7 * 60, [0]) == [], (name, outside)


def test_adhik_months(years):
    # 2020: adhik Ashvina from the new moon of 17 September to that of 16 October.
    assert days_of(years, "Navratri_Start", 2020) == ["2020-10-17"]
    ashvina = {"Navratri_Start", "Durga_Ashtami", "Maha_Navami", "Dassehra"}
    held = years[(years["date"] >= "2020-09-18") & (years["date"] <= "2020-10-16")]
    assert not ashvina & set(held["name"])
    # 2023: adhik Shravana; each festival once.
    assert days_of(years, "Raksha_Bandhan", 2023) == ["2023-08-30"]
    assert days_of(years, "Shree_Krishna_Janmashtami", 2023) == ["2023-09-07"]


def test_sunrise_and_sunset_are_skyfields(tav, sky):
    """The days' divisions start from almanac.sunrise_sunset's instants."""
    from orvik import _observed

    for first in (dt.date(1900, 6, 1), dt.date(2024, 12, 1)):
        t0 = sky.ts.utc(first.year, first.month, first.day, -5, -30)
        t1 = sky.ts.utc(first.year, first.month, first.day + 30, -5, -30)
        times, up = sky.almanac.find_discrete(t0, t1, sky.almanac.sunrise_sunset(sky.eph, sky.delhi))
        day = (first - dt.date(1970, 1, 1)).days
        rises, sets = _observed.civil_days(tav, day, day + 29)
        assert np.abs(np.array(rises) - times[up == 1].tt).max() * 86400 < 0.1
        assert np.abs(np.array(sets) - times[up == 0].tt).max() * 86400 < 0.1


def test_crescent_criterion(tav, sky):
    """Yallop's q at Delhi on the evenings around Dhu al-Hijjah 1441: 2020-07-21
    is category B (not counted), the 22nd category A."""
    from orvik import _observed

    t0, t1 = sky.ts.utc(2020, 7, 21), sky.ts.utc(2020, 7, 23)
    times, rising = sky.almanac.find_discrete(t0, t1, sky.almanac.sunrise_sunset(sky.eph, sky.delhi))
    sunsets = times[rising == 0].tt
    conjunction = sky.ts.utc(2020, 7, 20, 17, 33).tt
    q = _observed.yallop_q(tav, sunsets, [conjunction] * len(sunsets))
    assert -0.014 < q[0] < 0.216 < q[1]
    # Before the conjunction the Moon sets before the Sun: no q.
    assert np.isnan(_observed.yallop_q(tav, [sunsets[0] - 2], [conjunction])[0])


def test_spans_agree_and_rows_are_ordered(years):
    """A year alone gives the rows a longer span gives it (the Islamic months'
    chain starts a few months before any span)."""
    checked = range(1900, 2051) if os.environ.get("ORVIK_FULL_CHECKS") else (1900, 2021, 2050)
    for year in checked:
        alone = observed.festivals(year)
        within = observed.festivals(year - 1 if year > 1900 else year, year + 1)
        within = within[within["date"].dt.year == year].reset_index(drop=True)
        pd.testing.assert_frame_equal(alone, within)
    order = {s: i for i, s in enumerate(observed.SOURCES)}
    key = list(zip(years["date"], years["source"].map(order)))
    assert key == sorted(key)
    assert list(years.columns) == ["date", "name", "source"]
    assert years["date"].dtype == "datetime64[ns]"
    assert (years["date"] == years["date"].dt.normalize()).all()
    # Fixed dates are the column's; the names are the column's.
    fixed = years[years["source"] == "fixed"]
    assert {(d.month, d.day) for d in fixed["date"]} == set(reference.FIXED)
    assert set(years["name"]) <= set(reference.HINDU.values()) | set(reference.ISLAMIC.values()) | set(
        reference.FIXED.values())


def test_festivals_arguments():
    assert observed.festivals(2025).equals(observed.festivals("2025-01-01", dt.date(2025, 12, 31)))
    one_day = observed.festivals(dt.datetime(2024, 10, 31, 18, 0))
    assert one_day["name"].tolist() == ["Narak_Chaturdashi", "Dipawali", "National_Unit_Day"]
    first, last = observed.covered_span()
    assert first <= dt.date(1900, 1, 1) and last >= dt.date(2050, 12, 31)
    with pytest.raises(ValueError, match=f"from {first} to {last}"):
        observed.festivals(1850)
    with pytest.raises(ValueError, match=f"from {first} to {last}"):
        observed.festivals("2050-01-01", "2060-01-01")
    with pytest.raises(ValueError, match="before it starts"):
        observed.festivals(2025, 2024)
    with pytest.raises(TypeError, match="not one of each"):
        observed.festivals(2025, "2026-01-01")
    with pytest.raises(ValueError, match="not a date"):
        observed.festivals("nonsense")


def test_annotate():
    values = ["2024-10-31 21:00", "2024-10-31T10:00:00+00:00", "2024-10-31T20:00:00+00:00",
              "not a date", None, "2025-03-31", "2024-03-25"]
    df = pd.DataFrame({"when": values, "n": range(len(values))})
    kept = df.copy()
    assert observed.annotate(df, "when") is df
    pd.testing.assert_frame_equal(df[["when", "n"]], kept)
    assert [None if pd.isna(v) else v for v in df["festival"]] == [
        "Narak_Chaturdashi/Dipawali/National_Unit_Day",
        "Narak_Chaturdashi/Dipawali/National_Unit_Day",  # 15:30 in India
        None,                                            # 01:30 on 1 November
        None, None, "Eid_ul_Fitr", "Holi"]
    aware = pd.DataFrame({"t": pd.to_datetime(["2024-10-31 19:00"]).tz_localize("UTC")})
    observed.annotate(aware, "t", into="kept")
    assert aware["kept"].isna().all() and str(aware["t"].dt.tz) == "UTC"
    with pytest.raises(ValueError, match="ephemeris covers"):
        observed.annotate(pd.DataFrame({"d": ["1850-01-01"]}), "d")


def test_holiday_calendar():
    calendar = observed.HolidayCalendar(["Dipawali", "Holi"])
    assert calendar.holidays("2024-01-01", "2024-12-31").strftime("%Y-%m-%d").tolist() == [
        "2024-03-25", "2024-10-31"]
    named = observed.HolidayCalendar().holidays("2024-10-31", "2024-10-31", return_name=True)
    assert named.tolist() == ["Narak_Chaturdashi/Dipawali/National_Unit_Day"]
    day = pd.offsets.CustomBusinessDay(calendar=observed.HolidayCalendar(["Dipawali"]))
    assert pd.Timestamp("2024-10-30") + day == pd.Timestamp("2024-11-01")
    first, last = observed.covered_span()
    assert (calendar.start_date, calendar.end_date) == (pd.Timestamp(first), pd.Timestamp(last))
    with pytest.raises(ValueError, match="'Diwali'"):
        observed.HolidayCalendar(["Diwali"])


def test_command_line(tmp_path):
    def orvik(*args):
        return subprocess.run([sys.executable, "-m", "orvik", *args], capture_output=True,
                              text=True, cwd=tmp_path)

    r = orvik("--calendar", "2024-10-28", "2024-11-03")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines()[:3] == ["date,name,source", "2024-10-29,Dhanteras,hindu",
                                         "2024-10-31,Narak_Chaturdashi,hindu"]
    (tmp_path / "in.csv").write_text("when,x\n2024-10-31,007\n2024-11-01,8\n")
    r = orvik("in.csv", "--column", "when", "--observed", "--output", "out.csv")
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "out.csv").read_text() == (
        "when,x,festival\n2024-10-31,007,Narak_Chaturdashi/Dipawali/National_Unit_Day\n2024-11-01,8,\n")
    r = orvik("--calendar", "1850")
    assert r.returncode == 1 and "ephemeris covers" in r.stderr and not r.stdout
    (tmp_path / "old.csv").write_text("when\n2024-10-31\n1850-01-01\n")
    r = orvik("old.csv", "--column", "when", "--observed", "--output", "old-out.csv")
    assert r.returncode == 1 and "row 2 ('1850-01-01') is outside" in r.stderr
    assert not (tmp_path / "old-out.csv").exists()


def test_the_column_is_unchanged(tav):
    """Asking the observed calendar leaves get_festival's answers as they were."""
    df = pd.DataFrame({"d": ["2024-10-31", "2024-11-01", "2023-08-01"]})
    before = tav.get_festival(df.copy(), "d")["festival"].tolist()
    observed.festivals(2023, 2024)
    assert tav.get_festival(df.copy(), "d")["festival"].tolist() == before


def test_the_readme_block():
    import pathlib
    import re

    text = (pathlib.Path(__file__).resolve().parent.parent / "README.md").read_text()
    block = re.search(r"```python\n(from orvik import observed\n.*?)```", text, re.S).group(1)
    scope = {"pd": pd, "df": pd.DataFrame({"date": pd.to_datetime(["2024-10-31", "2024-11-01"])})}
    exec(block, scope)
    assert scope["due"] == pd.Timestamp("2024-11-05")
    assert scope["df"]["festival"].isna().tolist() == [False, True]
