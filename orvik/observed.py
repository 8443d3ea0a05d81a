"""The observed festival calendar: the civil day on which each festival is kept.

``orvik.Tavrolen``'s "festival" column names what holds at a given moment (the
tithi at that time, the tabular Hijri date).  This module answers the other
question, the day India keeps, at Delhi, in India time::

    from orvik import observed
    observed.festivals(2025)                  # one row per festival day
    observed.annotate(df, "date")             # a column of the days' festivals
    pd.offsets.CustomBusinessDay(calendar=observed.HolidayCalendar())

Hindu festivals follow the tithi at sunrise or in the part of the day their
rule names (madhyahna, aparahna, pradosh, nishita), with adhik months left
out; Islamic months begin after the evening the new crescent is seen at Delhi
(Yallop's q-test, category A); fixed dates are those of the column.  The
engine is the extension module orvik._observed; the ephemeris is the
"de421.bsp" that skyfield-data ships, loaded once.
"""

from __future__ import annotations

import datetime as _dt
import threading
import warnings
from typing import Any, Iterable

import numpy as np
import pandas as pd
from pandas.tseries.holiday import AbstractHolidayCalendar

from orvik import _observed
from orvik._zone import INDIA

__all__ = ["festivals", "annotate", "HolidayCalendar", "NAMES", "covered_span", "parse_dates",
           "use_context"]

SOURCES = ("hindu", "islamic", "fixed")
#: The festival names of each source, in the order rows of one day list them.
NAMES: dict[str, tuple[str, ...]] = dict(_observed.NAMES)

_EPOCH = _dt.date(1970, 1, 1)
_context = None
_context_lock = threading.Lock()
# annotate()'s tables: year -> (days, names joined per day), made once per
# context; a year computed alone equals the same year within any longer span.
_years: dict[int, dict[int, str]] = {}


def _loaded() -> Any:
    """The astronomy context, loaded once from the packaged ephemeris."""
    global _context
    with _context_lock:
        if _context is None:
            from orvik.ephemeris import loaded

            _context = loaded()
        return _context


def use_context(context: Any) -> None:
    """Makes the calendar read the astronomy context of `context`, a Tavrolen
    object from orvik.ephemeris.loaded() (for another ephemeris file)."""
    global _context
    with _context_lock:
        _context = context
        _years.clear()


def _day(value: _dt.date) -> int:
    return (value - _EPOCH).days


def _date(day: int) -> _dt.date:
    return _EPOCH + _dt.timedelta(days=int(day))


def covered_span() -> tuple[_dt.date, _dt.date]:
    """The first and last civil day the ephemeris lets the calendar answer for."""
    first, last = _observed.covered_days(_loaded())
    return _date(first), _date(last)


def _as_date(value: Any, what: str) -> _dt.date:
    if isinstance(value, _dt.datetime):
        return value.date()
    if isinstance(value, _dt.date):
        return value
    if isinstance(value, (str, np.datetime64)):
        try:
            stamp = pd.Timestamp(value)
        except ValueError:
            stamp = pd.NaT
        if pd.isna(stamp):
            raise ValueError(f"{what} is not a date: {value!r}")
        return stamp.date()
    raise TypeError(f"{what} must be a year, a date or a date string, not {type(value).__name__}")


def _span(start: Any, end: Any) -> tuple[_dt.date, _dt.date]:
    """The inclusive span of days festivals() was asked for."""
    def is_year(v: Any) -> bool:
        return isinstance(v, (int, np.integer)) and not isinstance(v, bool)

    if end is None:
        end = start
    if is_year(start) != is_year(end):
        raise TypeError("give two years or two dates, not one of each")
    if is_year(start):
        if not (1 <= start <= 9999 and 1 <= end <= 9999):
            raise ValueError(f"no such year: {start if not 1 <= start <= 9999 else end}")
        first, last = _dt.date(int(start), 1, 1), _dt.date(int(end), 12, 31)
    else:
        first, last = _as_date(start, "start"), _as_date(end, "end")
    if last < first:
        raise ValueError(f"the span ends ({last}) before it starts ({first})")
    return first, last


def _rows(first: _dt.date, last: _dt.date) -> tuple[np.ndarray, list[str], list[str]]:
    context = _loaded()
    lo, hi = _observed.covered_days(context)
    if _day(first) < lo or _day(last) > hi:
        raise ValueError(f"the ephemeris covers the observed calendar from {_date(lo)} to {_date(hi)}; "
                         f"{first} to {last} is outside it")
    return _observed.festivals(context, _day(first), _day(last))


def festivals(start: Any, end: Any = None) -> pd.DataFrame:
    """The festival days from `start` to `end`, inclusive.

    `start` and `end` are years (``festivals(2025)``, ``festivals(2022, 2026)``)
    or dates (``date``, ``datetime`` or strings).  One row per festival day, with
    "date" (datetime64, midnight of the civil day), "name" and "source" ("hindu",
    "islamic" or "fixed"), sorted by date, then Hindu, Islamic, fixed.
    """
    return _table(*_rows(*_span(start, end)))


def _table(days: Any, names: list[str], sources: list[str]) -> pd.DataFrame:
    """The festivals() frame of the engine's rows."""
    return pd.DataFrame({
        "date": (np.asarray(days, dtype="int64").astype("datetime64[D]")).astype("datetime64[ns]"),
        "name": pd.Series(names, dtype=object),
        "source": pd.Series(sources, dtype=object),
    })


def _india_naive(value: Any) -> Any:
    """One parsed value as naive India time (aware values converted first)."""
    if pd.isna(value):
        return pd.NaT
    stamp = pd.Timestamp(value)
    if stamp.tzinfo is not None:
        stamp = stamp.tz_convert(INDIA).tz_localize(None)
    return stamp


def parse_dates(column: pd.Series) -> pd.Series:
    """The column read as naive India date-times, on a copy; unreadable values NaT.

    A value with a UTC offset among values without one (which pandas will not
    parse side by side) is read on its own and converted to India time."""
    values = column  # to_datetime reads it and leaves it as it is
    try:
        with warnings.catch_warnings():
            # pandas 2 announces that it will refuse what is handled below.
            warnings.filterwarnings("ignore", "In a future version of pandas, parsing datetimes with "
                                    "mixed time zones", FutureWarning)
            parsed = pd.to_datetime(values, format="mixed", errors="coerce")
    except (ValueError, TypeError):  # different UTC offsets side by side (pandas 3)
        parsed = pd.Series(pd.NaT, index=values.index, dtype="datetime64[ns]")
    if isinstance(parsed.dtype, pd.DatetimeTZDtype):
        return parsed.dt.tz_convert(INDIA).dt.tz_localize(None)
    if parsed.dtype == object:  # different UTC offsets side by side (pandas 2)
        return pd.Series([_india_naive(v) for v in parsed], index=values.index, dtype="datetime64[ns]")
    if parsed.dtype != "datetime64[ns]":
        parsed = parsed.astype("datetime64[ns]")
    retry = parsed.isna().to_numpy()
    if retry.any():
        retry = retry & values.notna().to_numpy()
        if retry.any():
            parsed = parsed.copy()
            parsed[retry] = [_india_naive(_read_one(v)) for v in values[retry]]
    return parsed


def _read_one(value: Any) -> Any:
    try:
        return pd.to_datetime(value, format="mixed", errors="coerce")
    except (ValueError, TypeError, OverflowError):
        return pd.NaT


def annotate(df: pd.DataFrame, column: str, *, into: str = "festival") -> pd.DataFrame:
    """Adds the column `into` to `df` and returns `df`.

    Each value holds the festivals kept on the civil day of `df[column]`, joined
    by "/" in the order Hindu, Islamic, fixed, or None when there are none.
    `column` is read on a copy with ``format="mixed"``, ``errors="coerce"`` (an
    unreadable value gets None), tz-aware values converted to India time first;
    it is not changed.
    """
    if column not in df.columns:
        raise KeyError(column)
    instants = parse_dates(df[column]).to_numpy(dtype="datetime64[ns]")
    valid = ~np.isnat(instants)
    days = np.floor_divide(instants.view("int64"), 86_400 * 10**9)
    out = np.full(len(df), None, dtype=object)
    if valid.any():
        lo, hi = int(days[valid].min()), int(days[valid].max())
        joined = np.full(hi - lo + 1, None, dtype=object)
        for year in range(_date(lo).year, _date(hi).year + 1):
            for d, names in _joined_year(year, _date(lo), _date(hi)).items():
                if lo <= d <= hi:
                    joined[d - lo] = names
        out[valid] = joined[days[valid] - lo]
    df[into] = out
    return df


def _joined_year(year: int, lo: _dt.date, hi: _dt.date) -> dict[int, str]:
    """{day: names joined by "/"} of one year, computed once: the years from
    `year` that are not yet known, up to `hi`'s, in one run."""
    if year not in _years:
        last = year
        while last < hi.year and last + 1 not in _years:
            last += 1
        covered_first, covered_last = covered_span()
        first_day, last_day = _dt.date(year, 1, 1), _dt.date(last, 12, 31)
        # The first and last covered years are covered in part: their covered
        # part is asked for, unless a wanted day lies outside it (which _rows
        # then refuses, naming the span).
        if first_day < covered_first:
            first_day = covered_first if lo >= covered_first else lo
        if last_day > covered_last:
            last_day = covered_last if hi <= covered_last else hi
        days, names, _ = _rows(first_day, last_day)
        fresh: dict[int, dict[int, str]] = {y: {} for y in range(year, last + 1)}
        for d, name in zip(np.asarray(days).tolist(), names):
            of_year = fresh[_date(d).year]
            of_year[d] = of_year[d] + "/" + name if d in of_year else name
        _years.update(fresh)
    return _years[year]


class HolidayCalendar(AbstractHolidayCalendar):
    """The observed festival days as a pandas holiday calendar.

    ``holidays(start, end, return_name=False)`` gives the days (a DatetimeIndex,
    or with ``return_name`` a Series of their names joined by "/"); `names` keeps
    only the listed festivals.  The default range is the span the ephemeris
    covers.  ``pd.offsets.CustomBusinessDay(calendar=HolidayCalendar())`` skips
    them.
    """

    def __init__(self, names: Iterable[str] | None = None) -> None:
        super().__init__(name="orvik observed", rules=[])
        if names is not None:
            if isinstance(names, str):
                names = [names]
            names = tuple(names)
            known = {n for source in NAMES.values() for n in source}
            unknown = [n for n in names if n not in known]
            if unknown:
                raise ValueError(f"not festival names: {', '.join(map(repr, unknown))}")
        self.names = names
        first, last = covered_span()
        self.start_date, self.end_date = pd.Timestamp(first), pd.Timestamp(last)
        self._cached: dict[tuple, Any] = {}

    def holidays(self, start: Any = None, end: Any = None, return_name: bool = False) -> Any:
        first = self.start_date if start is None else pd.Timestamp(start)
        last = self.end_date if end is None else pd.Timestamp(end)
        key = (first, last, return_name)
        if key not in self._cached:
            table = festivals(first.date(), last.date()) if first <= last else _table([], [], [])
            if self.names is not None:
                table = table[table["name"].isin(self.names)]
            if return_name:
                named = table.groupby("date", sort=True)["name"].agg("/".join)
                named.index = pd.DatetimeIndex(named.index, name=None)
                self._cached[key] = named
            else:
                self._cached[key] = pd.DatetimeIndex(table["date"].drop_duplicates().to_numpy())
        return self._cached[key].copy()
