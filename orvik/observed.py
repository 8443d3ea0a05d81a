"""The observed festival calendar: the civil day on which each festival is kept,
and India's published holiday lists, computed by rule.

``orvik.Tavrolen``'s "festival" column names what holds at a given moment (the
tithi at that time, the tabular Hijri date).  This module answers the other
question, the day India keeps, at Delhi, in India time::

    from orvik import observed
    observed.festivals(2025)                  # one row per festival day
    observed.festivals(2027, list="nse")      # the exchange's trading holidays
    observed.annotate(df, "date")             # a column of the days' festivals
    pd.offsets.CustomBusinessDay(calendar=observed.HolidayCalendar())

Hindu festivals follow the tithi at sunrise or in the part of the day their
rule names (madhyahna, aparahna, pradosh, nishita), with adhik months left
out, and the solar months the Sun's entry into a sign; Islamic months begin
after the evening the new crescent is seen (Yallop's q-test); fixed dates are
those of the column.  Every observance is one row of the engine's table
(observed/observances.hpp), and each list (LISTS) keeps its own share of them
by its own reckonings.  The engine is the extension module orvik._observed; the
ephemeris is the "de421.bsp" that skyfield-data ships, loaded once.  Dates from
users go through orvik.dates, the reader every front shares.
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
from orvik._dateparse import NS_PER_DAY
from orvik.dates import DateOrderWarning, Span, read_date, read_dates

__all__ = ["festivals", "annotate", "HolidayCalendar", "LISTS", "NAMES", "SOURCES", "covered_span",
           "parse_dates", "use_context"]

#: The calendars that fix observances, in the order rows of one day list them.
SOURCES: tuple[str, ...] = tuple(_observed.SOURCES)
#: The names of every observance of each source, by Delhi's reckoning, in the
#: order rows of one day list them.
NAMES: dict[str, tuple[str, ...]] = dict(_observed.NAMES)
#: India's published holiday lists that the calendar computes: key -> what it is.
LISTS: dict[str, str] = dict(_observed.LISTS)
#: The names each list can give.
_LIST_NAMES: dict[str, tuple[str, ...]] = dict(_observed.LIST_NAMES)

_EPOCH = _dt.date(1970, 1, 1)


class _Calendar:
    """One astronomy context and the tables annotate() made with it: (list, year)
    -> {day: names joined}.  A year computed alone equals the same year within
    any longer span, so a table once made is kept.  use_context() puts a new
    _Calendar in place, so a thread still working with the old one fills only
    the old one's tables."""

    def __init__(self, context: Any) -> None:
        self.context = context
        self.years: dict[tuple[str | None, int], dict[int, str]] = {}
        self.lock = threading.Lock()


_calendar: _Calendar | None = None
_calendar_lock = threading.Lock()


def _current() -> _Calendar:
    """The calendar in use, its context loaded once from the packaged ephemeris."""
    global _calendar
    with _calendar_lock:
        if _calendar is None:
            from orvik.ephemeris import loaded

            _calendar = _Calendar(loaded())
        return _calendar


def use_context(context: Any) -> None:
    """Makes the calendar read the astronomy context of `context`, a Tavrolen
    object from orvik.ephemeris.loaded() (for another ephemeris file)."""
    global _calendar
    _observed.covered_days(context, None)  # a TypeError naming what `context` lacks
    with _calendar_lock:
        _calendar = _Calendar(context)


def _day(value: _dt.date) -> int:
    return (value - _EPOCH).days


def _date(day: int) -> _dt.date:
    return _EPOCH + _dt.timedelta(days=int(day))


def _list_key(list: Any) -> str | None:
    """`list` checked: None or a key of LISTS."""
    if list is None or isinstance(list, str) and list in LISTS:
        return list
    raise ValueError(f"no holiday list {list!r}: the lists are {', '.join(map(repr, LISTS))}")


def covered_span(list: str | None = None) -> tuple[_dt.date, _dt.date]:
    """The first and last civil day the ephemeris lets the calendar (or the
    list of that key, which answers for whole years) answer for."""
    return _covered(_current(), _list_key(list))


def _covered(calendar: _Calendar, key: str | None) -> tuple[_dt.date, _dt.date]:
    first, last = _observed.covered_days(calendar.context, key)
    return _date(first), _date(last)


def _is_year(value: Any) -> bool:
    return isinstance(value, (int, np.integer)) and not isinstance(value, (bool, np.bool_))


def _span(start: Any, end: Any) -> tuple[_dt.date, _dt.date]:
    """The inclusive span of days festivals() was asked for: two years, or two
    dates read by orvik.dates (an instant's day in India)."""
    if end is None:
        end = start
    if _is_year(start) != _is_year(end):
        raise TypeError("give two years or two dates, not one of each")
    if _is_year(start):
        for year in (start, end):
            if not 1 <= year <= 9999:
                raise ValueError(f"no such year: {year}")
        first, last = _dt.date(int(start), 1, 1), _dt.date(int(end), 12, 31)
    else:
        first, last = read_date(start).date(), read_date(end).date()
    if last < first:
        raise ValueError(f"the span ends ({last}) before it starts ({first})")
    return first, last


def _rows(context: Any, first: _dt.date, last: _dt.date,
          key: str | None) -> tuple[np.ndarray, list[str], list[str]]:
    """The engine's rows; it refuses a span outside covered_span(key), naming it."""
    return _observed.festivals(context, _day(first), _day(last), key)


def festivals(start: Any, end: Any = None, *, list: str | None = None) -> pd.DataFrame:
    """The festival days from `start` to `end`, inclusive.

    `start` and `end` are years (``festivals(2025)``, ``festivals(2022, 2026)``)
    or dates (``date``, ``datetime``, ``Timestamp`` or strings: an instant with a
    zone counts by its day in India).  One row per festival day, with "date"
    (datetime64, midnight of the civil day), "name" and "source" (one of
    SOURCES), sorted by date, then source, then table order.

    Without `list`, every observance by Delhi's reckoning.  With a key of LISTS
    ("gazetted", "restricted", "nse"), the days that list keeps, by its own
    reckonings: the exchange's list has weekdays only, as published.
    """
    key = _list_key(list)
    return _table(*_rows(_current().context, *_span(start, end), key))


def _table(days: Any, names: list[str], sources: list[str]) -> pd.DataFrame:
    """The festivals() frame of the engine's rows."""
    return pd.DataFrame({
        "date": (np.asarray(days, dtype="int64").astype("datetime64[D]")).astype("datetime64[ns]"),
        "name": pd.Series(names, dtype=object),
        "source": pd.Series(sources, dtype=object),
    })


def parse_dates(column: pd.Series, *, dayfirst: bool | None = None) -> pd.Series:
    """The column read as naive India date-times by orvik.dates, on a copy;
    unreadable values NaT."""
    return read_dates(column, dayfirst=dayfirst).dates


def annotate(df: pd.DataFrame, column: Any, *, into: Any = "festival", list: str | None = None,
             dayfirst: bool | None = None) -> pd.DataFrame:
    """Adds the column `into` to `df` and returns `df`.

    Each value holds the festivals kept on the civil day of `df[column]` (by
    every observance, or by the list of that key), joined by "/" in the order
    festivals() lists them, or None when there are none.  The column is read by
    orvik.dates and not changed: text in any of pandas' formats, date-times
    aware or naive (naive ones are India time), an instant by its day in India;
    an unreadable value gets None.  `dayfirst` says how to read 04/11/2024;
    without it the column decides, and a DateOrderWarning says how.  Numbers,
    a value outside covered_span(list), a missing or repeated column, and an
    `into` the frame already has are refused.
    """
    key = _list_key(list)
    if column not in df.columns:
        raise KeyError(column)
    repeats = int((df.columns == column).sum())
    if repeats > 1:
        raise ValueError(f"the frame has {repeats} columns named {column!r}")
    if into == "":
        raise ValueError("into needs a name for the added column")
    if into in df.columns:
        raise ValueError(f"the frame already has a column {into!r}: name another with into=")
    calendar = _current()
    first, last = _covered(calendar, key)
    reading = read_dates(df[column], dayfirst=dayfirst, name=f"column {column!r}",
                         span=Span.of_days(first, last, "the span the calendar covers"))
    if reading.note:
        warnings.warn(reading.note, DateOrderWarning, stacklevel=2)
    df[into] = names_on(reading.dates.to_numpy(dtype="datetime64[ns]"), key, calendar)
    return df


def names_on(instants: np.ndarray, key: str | None, calendar: _Calendar | None = None) -> np.ndarray:
    """The festivals of each civil day of `instants` (datetime64[ns] in India
    wall-clock time, already read and within the span), joined by "/", or None:
    annotate's answer for a column that orvik.dates has read."""
    key = _list_key(key)
    calendar = calendar or _current()
    valid = ~np.isnat(instants)
    days = np.floor_divide(instants.view("int64"), NS_PER_DAY)
    out = np.full(len(instants), None, dtype=object)
    if valid.any():
        lo, hi = int(days[valid].min()), int(days[valid].max())
        joined = np.full(hi - lo + 1, None, dtype=object)
        for year in range(_date(lo).year, _date(hi).year + 1):
            for d, names in _joined_year(calendar, key, year, _date(hi).year).items():
                if lo <= d <= hi:
                    joined[d - lo] = names
        out[valid] = joined[days[valid] - lo]
    return out


def _joined_year(calendar: _Calendar, key: str | None, year: int, last_year: int) -> dict[int, str]:
    """{day: names joined by "/"} of one year of the list `key`, computed once:
    the years from `year` that are not yet known, up to `last_year`, in one run.
    The first and last covered years are covered in part: their covered part is
    asked for."""
    with calendar.lock:
        if (key, year) in calendar.years:
            return calendar.years[key, year]
        last = year
        while last < last_year and (key, last + 1) not in calendar.years:
            last += 1
    covered_first, covered_last = _covered(calendar, key)
    first_day = max(_dt.date(year, 1, 1), covered_first)
    last_day = min(_dt.date(last, 12, 31), covered_last)
    days, names, _ = _rows(calendar.context, first_day, last_day, key)
    fresh: dict[tuple[str | None, int], dict[int, str]] = {(key, y): {} for y in range(year, last + 1)}
    for d, name in zip(np.asarray(days).tolist(), names):
        of_year = fresh[key, _date(d).year]
        of_year[d] = of_year[d] + "/" + name if d in of_year else name
    with calendar.lock:
        calendar.years.update(fresh)
    return fresh[key, year]


def _bound(value: Any, year_end: bool) -> pd.Timestamp:
    """A bound of holidays(): a year (its first or last day) or a date read by
    orvik.dates."""
    if _is_year(value):
        return pd.Timestamp(int(value), 12, 31) if year_end else pd.Timestamp(int(value), 1, 1)
    return read_date(value).normalize()


class HolidayCalendar(AbstractHolidayCalendar):
    """A published holiday list, or the observed festival days, as a pandas
    holiday calendar.

    `list` is a key of LISTS, by default "gazetted": the holidays of
    central-government offices in Delhi; ``list=None`` gives every observance.
    ``holidays(start, end, return_name=False)`` gives the days from `start` to
    `end` (dates, or years: ``holidays(2024, 2025)``), a DatetimeIndex, or with
    ``return_name`` a Series of their names joined by "/"; `names` keeps only
    the listed festivals.  The default range is the span the ephemeris covers.
    ``pd.offsets.CustomBusinessDay(calendar=HolidayCalendar())`` skips them.
    """

    def __init__(self, list: str | None = "gazetted", names: Iterable[str] | None = None) -> None:
        super().__init__(name=f"orvik {list if isinstance(list, str) else 'observed'}", rules=[])
        self._list = _list_key(list)
        self._cached: dict[tuple, Any] = {}
        self.names = names
        first, last = covered_span(self._list)
        self.start_date, self.end_date = pd.Timestamp(first), pd.Timestamp(last)

    @property
    def list(self) -> str | None:
        """The list's key (None: every observance)."""
        return self._list

    @property
    def names(self) -> tuple[str, ...] | None:
        """The festivals kept (None: all of the list's)."""
        return self._names

    @names.setter
    def names(self, names: Iterable[str] | None) -> None:
        if names is not None:
            if isinstance(names, str):
                names = [names]
            if isinstance(names, (bytes, bytearray)) or not isinstance(names, Iterable):
                raise TypeError(f"names must be festival names (str), not {type(names).__name__}")
            names = tuple(names)
            wrong = [n for n in names if not isinstance(n, str)]
            if wrong:
                raise TypeError(f"names must be festival names (str), not {type(wrong[0]).__name__}")
            known = set(_LIST_NAMES[self._list]) if self._list else {n for s in NAMES.values() for n in s}
            unknown = [n for n in names if n not in known]
            if unknown:
                where = f"the list {self._list!r}" if self._list else "the calendar"
                raise ValueError(f"not festival names of {where}: {', '.join(map(repr, unknown))}")
        self._names = names
        self._cached.clear()

    def holidays(self, start: Any = None, end: Any = None, return_name: bool = False) -> Any:
        first = self.start_date if start is None else _bound(start, year_end=False)
        last = self.end_date if end is None else _bound(end, year_end=True)
        key = (first, last, bool(return_name))
        if key not in self._cached:
            table = (festivals(first.date(), last.date(), list=self._list) if first <= last
                     else _table([], [], []))
            if self._names is not None:
                table = table[table["name"].isin(self._names)]
            if return_name:
                named = table.groupby("date", sort=True)["name"].agg("/".join)
                named.index = pd.DatetimeIndex(named.index, name=None)
                self._cached[key] = named
            else:
                self._cached[key] = pd.DatetimeIndex(table["date"].drop_duplicates().to_numpy())
        return self._cached[key].copy()
