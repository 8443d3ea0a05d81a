"""The observed festival calendar: the civil day on which each festival is kept,
and India's published holiday lists, computed by rule.

``orvik.Tavrolen``'s "festival" column names what holds at a given moment (the
tithi at that time, the tabular Hijri date).  This module answers the other
question, the day India keeps, at Delhi, in India time::

    from orvik import observed
    observed.festivals(2025)                  # one row per festival day
    observed.festivals(2027, list="nse")      # the exchange's trading holidays
    observed.annotate(df, "date")             # a column of the days' festivals
    pd.Timestamp("2024-10-30") + observed.HolidayCalendar().business_days(3)
    pd.Timestamp("2026-01-12") + 5 * observed.business_days("TN")   # Tamil Nadu's offices

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
from orvik.dates import NS_PER_DAY, DateOrderWarning, Span, as_written, checked_columns, read_dates

__all__ = ["festivals", "annotate", "HolidayCalendar", "business_days", "LISTS", "NAMES", "SOURCES",
           "covered_span", "checked_list", "use_context"]

#: The calendars that fix observances, in the order rows of one day list them.
SOURCES: tuple[str, ...] = tuple(_observed.SOURCES)
#: The names of every observance of each source, by Delhi's reckoning, in the
#: order rows of one day list them.
NAMES: dict[str, tuple[str, ...]] = dict(_observed.NAMES)
#: India's published holiday lists that the calendar computes: key -> what it is.
LISTS: dict[str, str] = dict(_observed.LISTS)
#: The names each list can give.
_LIST_NAMES: dict[str, tuple[str, ...]] = dict(_observed.LIST_NAMES)
#: The Saturdays each list's offices close: ((first day since 1970-01-01, bit
#: k - 1 set when the k-th Saturday of the month is closed), ...), latest last.
_SATURDAYS: dict[str, tuple[tuple[int, int], ...]] = dict(_observed.SATURDAYS)
_EVERY_SATURDAY = 0b11111

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


def checked_list(list: Any) -> str | None:
    """`list` checked: None or a key of LISTS (the one check of a list's key
    on the Python side, the command line's too)."""
    if list is None or isinstance(list, str) and list in LISTS:
        return list
    raise ValueError(f"no holiday list {as_written(list)}: the lists are "
                     f"{', '.join(map(repr, LISTS))}")


def covered_span(list: str | None = None) -> tuple[_dt.date, _dt.date]:
    """The first and last civil day the calendar, or the list of that key,
    answers for: what the ephemeris covers, and for a list the years it has
    existed (the exchange's from its first day of trading, the government's
    from the first year whose published list the rules reproduce)."""
    return _covered(_current(), checked_list(list))


def _covered(calendar: _Calendar, key: str | None) -> tuple[_dt.date, _dt.date]:
    first, last = _observed.covered_days(calendar.context, key)
    return _date(first), _date(last)


def _is_year(value: Any) -> bool:
    """Whether a bound is a year: an int, or digits that make a year of at most
    four digits once leading zeros go ("2025", "02025"; "20241031" is a date)."""
    if isinstance(value, str):
        digits = value.strip()
        return digits.isascii() and digits.isdigit() and len(digits.lstrip("0")) <= 4
    return isinstance(value, (int, np.integer)) and not isinstance(value, (bool, np.bool_))


def _year(value: Any) -> int:
    year = int(value)
    if not 1 <= year <= 9999:
        raise ValueError(f"no such year: {year}")
    return year


def _days(values: list[Any], dayfirst: bool | None) -> tuple[list[pd.Timestamp], str | None]:
    """Dates read by orvik.dates as one column, so that one bound tells how to
    read the other (31/10/2024 makes 04/11/2024 the 4th of November): each
    one's civil day (an instant's day in India), and how they were read."""
    reading = read_dates(pd.Series(values, dtype=object), dayfirst=dayfirst,
                         name="the span's dates")
    for value, day in zip(values, reading.dates):
        if pd.isna(day):
            raise ValueError(f"not a date: {as_written(value)}")
    return [pd.Timestamp(day).normalize() for day in reading.dates], reading.note


def _span(start: Any, end: Any, dayfirst: bool | None) -> tuple[_dt.date, _dt.date, str | None]:
    """The inclusive span of days festivals() was asked for: two years, or two
    dates read as one column; and how the dates were read."""
    if end is None:
        end = start
    if _is_year(start) != _is_year(end):
        raise TypeError("give two years or two dates, not one of each")
    note = None
    if _is_year(start):
        first, last = _dt.date(_year(start), 1, 1), _dt.date(_year(end), 12, 31)
    else:
        (first_day, last_day), note = _days([start, end], dayfirst)
        first, last = first_day.date(), last_day.date()
    if last < first:
        raise ValueError(f"the span ends ({last}) before it starts ({first})")
    return first, last, note


def _rows(context: Any, first: _dt.date, last: _dt.date, key: str | None,
          as_published: bool = False) -> tuple[np.ndarray, list[str], list[str]]:
    """The engine's rows; it refuses a span outside covered_span(key), naming it."""
    return _observed.festivals(context, _day(first), _day(last), key, as_published)


def festivals(start: Any, end: Any = None, *, list: str | None = None,
              dayfirst: bool | None = None, as_published: bool = False) -> pd.DataFrame:
    """The festival days from `start` to `end`, inclusive.

    `start` and `end` are years (``festivals(2025)``, ``festivals("2025")``,
    ``festivals(2022, 2026)``) or dates (``date``, ``datetime``, ``Timestamp``
    or strings: an instant with a zone counts by its day in India).  The two
    dates are read as one column by orvik.dates: `dayfirst` says how to read
    04/11/2024, else the two decide, and a DateOrderWarning says how.  One row
    per festival day, with "date" (datetime64, midnight of the civil day),
    "name" and "source" (one of SOURCES), sorted by date, then source, then
    table order.

    Without `list`, every observance by Delhi's reckoning.  With a key of LISTS
    ("gazetted", "restricted", "nse"), the days that list keeps, by its own
    reckonings: the exchange's list has weekdays only, as published.  A list
    answers for the years it has existed (covered_span(list)).  For past years
    it gives the days actually kept: a day its publisher moved after printing
    the list (the government's memoranda on the sighting of the moon, the
    exchange's circulars) is kept where the notice moved it, and the
    exchange's unforeseen closures are in it.  With `as_published`, the list as
    first printed, without those notices.
    """
    if not isinstance(as_published, bool):
        raise TypeError(f"as_published must be True or False, not {as_published!r}")
    key = checked_list(list)
    first, last, note = _span(start, end, dayfirst)
    if note:
        warnings.warn(note, DateOrderWarning, stacklevel=2)
    return _table(*_rows(_current().context, first, last, key, as_published))


def _table(days: Any, names: list[str], sources: list[str]) -> pd.DataFrame:
    """The festivals() frame of the engine's rows."""
    return pd.DataFrame({
        "date": (np.asarray(days, dtype="int64").astype("datetime64[D]")).astype("datetime64[ns]"),
        "name": pd.Series(names, dtype=object),
        "source": pd.Series(sources, dtype=object),
    })


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
    a value outside covered_span(list), a missing (KeyError) or repeated
    column, and an `into` that is not a new name (a str) are refused.
    """
    key = checked_list(list)
    checked_columns(df.columns, column, into, "the frame", "into=")
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
    key = checked_list(key)
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


def _bounds(start: Any, end: Any, dayfirst: bool | None,
            default: tuple[pd.Timestamp, pd.Timestamp]) -> tuple[list[pd.Timestamp], str | None]:
    """The bounds of holidays(): `default`'s where None, a year's first or last
    day, or dates read as one column (_days); and how the dates were read."""
    bounds: list[Any] = [start, end]
    dates = [k for k, bound in enumerate(bounds) if bound is not None and not _is_year(bound)]
    days, note = _days([bounds[k] for k in dates], dayfirst) if dates else ([], None)
    for k, day in zip(dates, days):
        bounds[k] = day
    for k, bound in enumerate(bounds):
        if bound is None:
            bounds[k] = default[k]
        elif _is_year(bound):
            bounds[k] = pd.Timestamp(_year(bound), 12, 31) if k else pd.Timestamp(_year(bound), 1, 1)
    return bounds, note


def _weekly_closures(key: str | None, first: _dt.date, last: _dt.date) -> tuple[str, np.ndarray]:
    """The weekmask and the closed Saturdays (datetime64[D]) of a list's offices
    from `first` to `last`: Sundays always; every Saturday, or those its rules
    close (the second and fourth, say), from the day each rule took effect."""
    rules = _SATURDAYS.get(key, ((0, _EVERY_SATURDAY),)) if key else ((0, _EVERY_SATURDAY),)
    start, end = np.datetime64(first, "D"), np.datetime64(last, "D")
    saturdays = np.arange(start + (5 - (start.astype("int64") + 3) % 7) % 7, end + 1, 7)
    if all(closed == _EVERY_SATURDAY for day, closed in rules if day <= end.astype("int64")):
        return "Mon Tue Wed Thu Fri", saturdays[:0]
    days = saturdays.astype("int64")
    which = np.searchsorted(np.array([d for d, _ in rules]), days, side="right") - 1
    masks = np.array([closed for _, closed in rules])[np.maximum(which, 0)]
    nth = (saturdays.astype("datetime64[D]") - saturdays.astype("datetime64[M]")).astype("int64") // 7
    return "Mon Tue Wed Thu Fri Sat", saturdays[(masks >> nth) & 1 == 1]


def business_days(list: str | None = "gazetted") -> pd.offsets.CustomBusinessDay:
    """pandas' ``CustomBusinessDay`` for the offices of a list: its holidays and
    its weekly closures (Sundays, and the Saturdays its offices close: every one
    for the central government, the exchange and Tamil Nadu, Maharashtra's from
    29 February 2020, Karnataka's second and fourth, Telangana's and Kerala's
    second), over covered_span(list)::

        pd.Timestamp("2026-01-12") + 5 * observed.business_days("TN")

    pandas' offset treats every weekday past the span as a working day without a
    word; HolidayCalendar(list).business_days(n) refuses to step there.
    """
    key = checked_list(list)
    first, last = covered_span(key)
    weekmask, saturdays = _weekly_closures(key, first, last)
    holidays = HolidayCalendar(key).holidays().to_numpy(dtype="datetime64[D]")
    return pd.offsets.CustomBusinessDay(weekmask=weekmask,
                                        holidays=np.union1d(holidays, saturdays).tolist())


class BusinessDays:
    """`n` business days of a HolidayCalendar: the days its list's offices work
    (weekdays, and the Saturdays a state's offices open, that are not its
    holidays), stepped as pandas' ``CustomBusinessDay`` steps, for a day or
    date-time, a DatetimeIndex or a Series of them.  A step
    from or to a day outside the calendar's span (whose holidays no one knows)
    raises ValueError instead of treating those days as working days."""

    # Above a Series' and a DatetimeIndex's, so that pandas leaves `+` to __radd__.
    __pandas_priority__ = 5000

    def __init__(self, calendar: HolidayCalendar, n: int = 1) -> None:
        if not isinstance(n, (int, np.integer)) or isinstance(n, (bool, np.bool_)):
            raise TypeError(f"n must be a whole number of business days, not {as_written(n)}")
        self.calendar, self.n = calendar, int(n)
        holidays = calendar.holidays().to_numpy(dtype="datetime64[D]")
        weekmask, saturdays = _weekly_closures(calendar.list, calendar.start_date.date(),
                                               calendar.end_date.date())
        self._days = np.busdaycalendar(weekmask=weekmask, holidays=np.union1d(holidays, saturdays))

    def __repr__(self) -> str:
        return f"<{self.n} business days of {self.calendar.name}>"

    def __mul__(self, times: int) -> BusinessDays:
        return BusinessDays(self.calendar, self.n * times)

    __rmul__ = __mul__

    def __neg__(self) -> BusinessDays:
        return BusinessDays(self.calendar, -self.n)

    def __add__(self, other: Any) -> Any:
        return self._step(other, self.n)

    __radd__ = __add__

    def __rsub__(self, other: Any) -> Any:
        return self._step(other, -self.n)

    def _step(self, other: Any, n: int) -> Any:
        if isinstance(other, (pd.Series, pd.DatetimeIndex)):
            stamps = pd.DatetimeIndex(other)
        elif isinstance(other, (_dt.date, np.datetime64)):
            stamps = pd.DatetimeIndex([pd.Timestamp(other)])
        else:
            return NotImplemented
        zone = stamps.tz
        wall = stamps.tz_localize(None) if zone is not None else stamps
        days = wall.to_numpy(dtype="datetime64[D]")
        # CustomBusinessDay's rolling: a step forward from a holiday counts from
        # the day before it, a step back (or none) from the day after it.
        moved = np.busday_offset(days, n, roll="backward" if n > 0 else "forward",
                                 busdaycal=self._days)
        first, last = (self.calendar.start_date.to_datetime64().astype("datetime64[D]"),
                       self.calendar.end_date.to_datetime64().astype("datetime64[D]"))
        known = ~np.isnat(days)
        for ends in (days, moved):
            out = known & ((ends < first) | (ends > last))
            if out.any():
                k = int(out.argmax())
                raise ValueError(f"{self.calendar.name} knows its holidays from {first} to "
                                 f"{last}: {days[k]} {'+' if n >= 0 else '-'} {abs(n)} business "
                                 f"days reaches {moved[k]}")
        result = wall + (moved.astype("datetime64[ns]") - days.astype("datetime64[ns]"))
        result = result.tz_localize(zone) if zone is not None else result
        if isinstance(other, pd.Series):
            return pd.Series(result, index=other.index, name=other.name)
        if isinstance(other, pd.DatetimeIndex):
            return result
        return result[0]


class HolidayCalendar(AbstractHolidayCalendar):
    """A published holiday list, or the observed festival days, as a pandas
    holiday calendar.

    `list` is a key of LISTS, by default "gazetted": the holidays of
    central-government offices in Delhi; ``list=None`` gives every observance.
    ``holidays(start, end, return_name=False)`` gives the days from `start` to
    `end` (years, ``holidays(2024, 2025)``, or dates, read as one column as
    festivals() reads them), a DatetimeIndex, or with ``return_name`` a Series
    of their names joined by "/"; `names` keeps only the listed festivals.  The
    default range is the span the ephemeris covers (`start_date`, `end_date`).

    ``calendar.business_days(n)`` steps over weekends and these days, and
    refuses to step outside that span.  pandas' own
    ``pd.offsets.CustomBusinessDay(calendar=calendar)`` takes the days once
    and treats every weekday past them as a working day, without a word.
    """

    def __init__(self, list: str | None = "gazetted", names: Iterable[str] | None = None) -> None:
        super().__init__(name=f"orvik {list if isinstance(list, str) else 'observed'}", rules=[])
        self._list = checked_list(list)
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

    def business_days(self, n: int = 1) -> BusinessDays:
        """An offset of `n` business days that knows where these holidays end
        (see BusinessDays): ``pd.Timestamp("2024-10-30") + cal.business_days(3)``."""
        return BusinessDays(self, n)

    def holidays(self, start: Any = None, end: Any = None, return_name: bool = False, *,
                 dayfirst: bool | None = None) -> Any:
        (first, last), note = _bounds(start, end, dayfirst, (self.start_date, self.end_date))
        if note:
            warnings.warn(note, DateOrderWarning, stacklevel=2)
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
