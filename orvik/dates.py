"""orvik/dates.py: the one reader of users' dates, which orvik.observed and the
command line use to turn values into India's wall-clock time.
(Tavrolen.get_festival keeps its own defined reading, pandas' to_datetime with
format "mixed", month first, in place: see orvik/__init__.py.)

    from orvik.dates import read_dates, read_date
    reading = read_dates(df["when"], zone="UTC", span=span)
    reading.dates        # datetime64[ns]: India wall-clock time, NaT where no date
    reading.unreadable   # how many values are there but are no date
    reading.note         # how slash and dot dates were read, or None
    read_date("2024-10-31T20:00Z")   # Timestamp('2024-11-01 01:30:00')

What it reads:

- text, in any of the formats pandas reads value by value (``format="mixed"``),
  with the time zone written in any of these ways after the time: ``Z``,
  ``+05:30``, ``+0530``, ``+05``, ``UTC``, ``GMT``, ``UTC+05:30`` (five and a
  half hours ahead of UTC, as ISO 8601 writes it, not the POSIX inverse that
  dateutil reads), a comment in brackets (``+0000 (UTC)``); ISO's short forms
  (``20241031T200000Z``, ``2024-10-31T20Z``); India's own zone, ``IST`` (India
  Standard Time, as India's data means it) or ``Asia/Kolkata``.  Another zone
  name after a time (``20:00 EST``) makes the value unreadable, and so does a
  value that starts with a sign (pandas reads ``-5`` as the year -5) or one
  that leaves out its day, month or year (``Oct-24``, ``31-Oct``, ``Oct-2024``,
  ``2024``, ``20:00``), which pandas would complete with the 1st, January,
  year 1 or today's date;
- pandas' and NumPy's date-time types, aware or naive, pyarrow's timestamps and
  dates (``timestamp[ns, tz=UTC][pyarrow]``), Python's ``datetime`` and ``date``
  objects, in any mix of zones and of aware and naive values;
- dates: a value without a time of day (text, ``date``, a pyarrow date) is a
  calendar day, kept as that day in India whatever the zone.

A naive date-time is taken in `zone` (India by default).  A wall-clock time that
the zone repeats (``2024-11-03 01:30`` in America/New_York) is the first of the
two, and one it skips (``2024-03-10 02:30`` there) is read with the offset in
force before the change (03:30 daylight time): both as Python reads a datetime
whose ``fold`` is 0 (PEP 495).

Numbers and booleans are refused (NotDates, naming the type, with a hint for
what could be Excel's serial days): an integer column 20241031 is not read as
nanoseconds.  A value that cannot be read is missing and
counted.  A value outside `span` (or outside what datetime64[ns] holds) raises
OutsideSpan naming its row and value, or with ``skip_outside`` is missing and
counted.

Day first: ``dayfirst=True`` or ``False`` reads a slash, dot or dash date whose
first two fields could be either way (``04/11/2024``) as asked.  With None, the
column decides: where some of those dates can only be read day first (a first
field above 12, ``31/10/2024``) all are read day first, likewise month first; a
column that holds both kinds raises MixedOrder naming a row of each; a column
whose such dates could all be read either way is read month first, as
``Tavrolen.get_festival`` reads it.  The decision is `Reading.note`.  Year-first
dates (``2024/04/11``) are always year, month, day.  The date may stand anywhere
in the value (``20:00 31/10/2024``, ``Thu 31/10/2024``).

Two-digit years (``15-Aug-47``, ``31/10/24``) go in the century `span` holds
them in; where it holds both (or there is no span), 00 to 29 are 2000 to 2029
and 30 to 99 are 1930 to 1999, as Excel reads them, whatever today's date.
One that `span` holds in neither century raises OutsideSpan.  How the first
was read is part of `Reading.note`.

A front reads a whole column with read_dates and one value with read_date; one
that reads a column in chunks keeps a DateReader for it; two values that belong
together (a span's bounds) are one column.  A library front says `Reading.note`
with ``warnings.warn(note, DateOrderWarning)``; the command line prints it on
standard error.  checked_columns checks a date column and the name of the
column a front adds, the same way for every front.
"""

from __future__ import annotations

import datetime as _dt
import numbers
from dataclasses import dataclass
from typing import Any, Protocol

import numpy as np
import pandas as pd

from orvik._dateparse import (DAY, DAY_MONTH_LINE, MISSING, NAIVE, NAT, NS_PER_DAY, OUTSIDE,
                              UNREADABLE, UTC, evidence, fill, parse_iso, parse_text)
from orvik._zone import INDIA

__all__ = ["INDIA", "NS_PER_DAY", "DateReader", "Reading", "Span", "read_dates", "read_date",
           "checked_zone", "checked_columns", "as_written", "serial_hint", "NotDates",
           "OutsideSpan", "MixedOrder", "OrderRevised", "DateOrderWarning", "MissingColumn"]

# Zones by the names India's data gives them: IST is India Standard Time here
# (Ireland's and Israel's share the letters), Asia/Calcutta the old name.
ZONE_NAMES = {"IST": INDIA, "Asia/Calcutta": INDIA}
# A two-digit year whose century the span leaves open is read as Excel reads
# it (Windows' default cutoff of 2029): 00 to 29 in the 2000s, 30 to 99 in the
# 1900s.
CENTURY_PIVOT = 30

# The longest text read as a date; a longer value is unreadable.
LONGEST_DATE = 200
# Excel's serial day numbers count from 1899-12-30 (its day 1 is 1900-01-01,
# after its fictitious 1900-02-29 from day 61 on).
EXCEL_EPOCH = _dt.date(1899, 12, 30)


# ---------------------------------------------------------------------------
# What the reader says

class NotDates(TypeError):
    """The values are numbers or booleans (or another type that holds no date)."""


class MissingColumn(KeyError):
    """The frame or file has no column of that name."""

    def __str__(self) -> str:
        return str(self.args[0])


class OutsideSpan(ValueError):
    """A value lies outside the span the caller can answer for: `where` it is,
    its `value`, and `detail`, the message without the column's name."""

    def __init__(self, message: str, where: str, value: Any, detail: str = "") -> None:
        super().__init__(message)
        self.where, self.value, self.detail = where, value, detail or message


class MixedOrder(ValueError):
    """Some dates can only be read day first, others only month first."""

    def __init__(self, message: str, day: tuple[str, Any], month: tuple[str, Any]) -> None:
        super().__init__(message)
        self.day, self.month = day, month


class OrderRevised(Exception):
    """Raised by DateReader.read when a later chunk shows that the dates read
    month first by default in earlier chunks must be read day first: the caller
    reads the column again from its start after DateReader.rewind()."""


class DateOrderWarning(UserWarning):
    """How a column's slash and dot dates, and its two-digit years, were read
    (a front's way to say Reading.note)."""


class Covers(Protocol):
    """A span: which India wall-clock times it covers, and its name for messages."""

    def covers(self, values: np.ndarray) -> np.ndarray: ...


@dataclass(frozen=True)
class Span:
    """From `first` to `last` inclusive, India wall-clock time."""

    first: pd.Timestamp
    last: pd.Timestamp
    what: str = "the span"

    @classmethod
    def of_days(cls, first: Any, last: Any, what: str = "the span") -> Span:
        """Every time of the days `first` to `last` (dates), inclusive."""
        return cls(pd.Timestamp(first), pd.Timestamp(last) + pd.Timedelta(days=1)
                   - pd.Timedelta(1, "ns"), what)

    def covers(self, values: np.ndarray) -> np.ndarray:
        """Whether each datetime64[ns] value lies within; NaT counts as within."""
        first, last = np.datetime64(self.first.value, "ns"), np.datetime64(self.last.value, "ns")
        return np.isnat(values) | ((values >= first) & (values <= last))

    def __str__(self) -> str:
        return f"{self.what}, {self.first.date()} to {self.last.date()}"


@dataclass(frozen=True)
class Reading:
    """One column read: `dates` (datetime64[ns], naive India wall-clock time, the
    input's index; NaT where a value is missing, unreadable or skipped outside
    the span), how many values could not be read, how many were skipped as
    outside the span, and how slash and dot dates were read ("day first",
    "month first": as asked, or as the column decided; None when it had none
    to decide on) with a sentence saying why when the column decided, and
    how its two-digit years were read."""

    dates: pd.Series
    unreadable: int
    outside: int
    order: str | None
    note: str | None


# ---------------------------------------------------------------------------
# The reader

class DateReader:
    """Reads one column, whole or in chunks in order.  The day-first decision
    holds for the whole column: evidence from one chunk governs the next, a
    conflict with an earlier chunk raises MixedOrder, and dates read month first
    by default before evidence for day first appears raise OrderRevised (read
    again from the start after rewind())."""

    def __init__(self, *, zone: Any = INDIA, dayfirst: bool | None = None,
                 span: Covers | None = None, skip_outside: bool = False,
                 name: str = "the column") -> None:
        if dayfirst not in (None, True, False):
            raise TypeError(f"dayfirst must be None, True or False, not {dayfirst!r}")
        self.zone = checked_zone(zone)
        self.dayfirst, self.span, self.skip_outside, self.name = dayfirst, span, skip_outside, name
        self._day: tuple[str, Any] | None = None      # the first date only day first can read
        self._month: tuple[str, Any] | None = None    # the first date only month first can read
        self._defaulted = False   # ambiguous dates were read month first for want of evidence
        self._century: str | None = None  # how the first two-digit year was read

    def rewind(self) -> None:
        """Before reading the column again from its start: the evidence stays."""
        self._defaulted = False

    @property
    def order(self) -> str | None:
        if self.dayfirst is not None:
            return "day first" if self.dayfirst else "month first"
        if self._day:
            return "day first"
        if self._month or self._defaulted:
            return "month first"
        return None

    @property
    def by_default(self) -> bool:
        """Whether the order was chosen for want of evidence (month first)."""
        return self.dayfirst is None and self._defaulted and not (self._day or self._month)

    @property
    def order_note(self) -> str | None:
        """How slash and dot dates were read, when the column decided it."""
        if self.dayfirst is not None:
            return None
        for seen, order in ((self._day, "day first"), (self._month, "month first")):
            if seen:
                return (f"{self.name}: {seen[0]} ({as_written(seen[1])}) can only be read "
                        f"{order}, so its slash and dot dates are read {order}")
        if self._defaulted:
            return (f"{self.name}: every slash and dot date could be read day first or month "
                    f"first; they are read month first, as get_festival reads them")
        return None

    @property
    def century_note(self) -> str | None:
        """How the column's first two-digit year was read."""
        return None if self._century is None else f"{self.name}: {self._century}"

    @property
    def note(self) -> str | None:
        """How slash and dot dates were read, when the column decided it, and
        how two-digit years were read: one line."""
        if self.order_note and self._century:
            return f"{self.order_note}; {self._century}"
        return self.order_note or self.century_note

    def read(self, values: Any, first_row: int | None = None) -> Reading:
        """`values` (a Series, or anything pd.Series takes) as India wall-clock
        time.  Rows are named `first_row` + position when it is given, else by
        the index label."""
        values = values if isinstance(values, pd.Series) else pd.Series(values)
        wall = np.full(len(values), NAT)
        kind = np.full(len(values), MISSING, dtype=np.int8)
        short = np.zeros(len(values), dtype=bool)  # a year written with two digits
        where = _Where(values, first_row)
        text = self._typed(values, wall, kind, where)
        if text is not None and len(text):
            # No date is written this long; dateutil's tokenizer, which pandas
            # calls for mixed formats, takes time growing with the square of a
            # value's length (25 s for a million characters).
            too_long = (text.str.len() > LONGEST_DATE).to_numpy(dtype=bool)
            if too_long.any():
                kind[text.index.to_numpy()[too_long]] = UNREADABLE
                text = text[~too_long]
        if text is not None and len(text):
            filled = text.to_numpy(dtype=object, na_value="")
            joined = "\n" + "\n".join(filled) + "\n"
            days_apart = not _is_india(self.zone)
            if not parse_iso(text, filled, joined, days_apart, wall, kind):
                if DAY_MONTH_LINE.search(joined) is None:
                    dayfirst = None
                else:
                    dayfirst = self._decide(text, where)
                parse_text(text, filled, joined, dayfirst, days_apart, wall, kind, short)
        india = self._india(wall, kind)
        neither = self._centuries(wall, kind, short, india, values, where)
        outside = (kind == OUTSIDE) | neither
        if self.span is not None:
            outside |= ~self.span.covers(india)
        if outside.any():
            if not self.skip_outside:
                at = int(outside.argmax())
                span = self.span if self.span is not None else "what the reader can hold"
                value = f"{where(at)} ({as_written(values.iloc[at])})"
                detail = (f"{value} has a two-digit year that {span} holds in neither century"
                          if neither[at] else f"{value} is outside {span}")
                raise OutsideSpan(f"{self.name}: {detail}", where(at), values.iloc[at], detail)
            india[outside] = NAT
        return Reading(pd.Series(india, index=values.index, name=values.name),
                       int((kind == UNREADABLE).sum()), int(outside.sum()), self.order, self.note)

    # -- two-digit years ---------------------------------------------------------

    def _centuries(self, wall: np.ndarray, kind: np.ndarray, short: np.ndarray,
                   india: np.ndarray, values: pd.Series, where: _Where) -> np.ndarray:
        """Puts each two-digit year (`short`) in the century the span holds it
        in, and where it holds both, in CENTURY_PIVOT's; `india` is updated.
        Returns where the span holds neither.  The first such year read is the
        century note."""
        neither = np.zeros(len(wall), dtype=bool)
        at = np.flatnonzero(short & (kind >= NAIVE))
        if not at.size:
            return neither
        read = pd.DatetimeIndex(wall[at])
        yy = read.year.to_numpy() % 100
        choices = []  # the wall clock and India time in the 1900s, then in the 2000s
        for century in (1900, 2000):
            moved = np.full(at.size, NAT)
            shift = century + yy - read.year.to_numpy()
            for years in np.unique(shift):
                group = shift == years
                stamps = read[group] + pd.DateOffset(years=int(years))
                same_day = np.asarray(stamps.day == read[group].day)  # 29 February
                moved[group] = np.where(same_day, stamps.to_numpy(dtype="M8[ns]"), NAT)
            candidate = wall.copy()
            candidate[at] = moved
            choice = self._india(candidate, kind)[at]
            held = ~np.isnat(choice)
            if self.span is not None:
                held &= self.span.covers(choice)
            choices.append((moved, choice, held))
        (old_wall, old, old_held), (new_wall, new, new_held) = choices
        take_new = new_held & (~old_held | (yy < CENTURY_PIVOT))
        india[at] = np.where(take_new, new, old)
        neither[at] = ~old_held & ~new_held
        if self._century is None and not neither[at].all():
            first = int(np.flatnonzero(~neither[at])[0])
            year = pd.Timestamp((new_wall if take_new[first] else old_wall)[first]).year
            if old_held[first] and new_held[first]:
                why = (f"00 to {CENTURY_PIVOT - 1} are read as 20xx and {CENTURY_PIVOT} to 99 as "
                       f"19xx, as Excel reads them, where the span holds both")
            else:
                other = year + 100 if year < 2000 else year - 100
                why = (f"{other} is outside {self.span}" if self.span is not None else
                       f"{other} has no such day")
            self._century = (f"{where(at[first])} ({as_written(values.iloc[at[first]])}) has a "
                             f"two-digit year, read as {year} ({why})")
        return neither

    # -- by type -------------------------------------------------------------

    def _typed(self, values: pd.Series, wall: np.ndarray, kind: np.ndarray,
               where: _Where) -> pd.Series | None:
        """Fills `wall` and `kind` for the values whose type says what they are;
        returns the text values (object Series, positions as in `values`)."""
        dtype = values.dtype
        if isinstance(dtype, pd.CategoricalDtype):
            return self._typed(values.astype(dtype.categories.dtype), wall, kind, where)
        if isinstance(dtype, pd.ArrowDtype):
            return self._typed(_from_arrow(values, self.name), wall, kind, where)
        if isinstance(dtype, pd.StringDtype):
            return self._typed(values.astype(object), wall, kind, where)
        if isinstance(dtype, pd.DatetimeTZDtype):
            fill(wall, kind, np.arange(len(values)),
                  values.dt.tz_convert("UTC").dt.tz_localize(None).to_numpy(), UTC)
            return None
        if pd.api.types.is_datetime64_dtype(dtype):
            fill(wall, kind, np.arange(len(values)), values.to_numpy(), NAIVE)
            return None
        if dtype != object:
            if values.isna().all():  # an empty column pandas typed as float
                return None
            kind_name = "boolean" if pd.api.types.is_bool_dtype(dtype) else str(dtype)
            numeric = pd.api.types.is_numeric_dtype(dtype) and kind_name != "boolean"
            raise NotDates(f"{self.name} holds {kind_name} values"
                           + (": numbers are not dates" + serial_hint(values) if numeric
                              else ", not dates"))
        inferred = pd.api.types.infer_dtype(values, skipna=True)
        if inferred == "string":
            return values.reset_index(drop=True)
        if inferred == "empty":
            return None
        if inferred == "boolean":
            raise NotDates(f"{self.name} holds boolean values, not dates")
        if inferred in ("integer", "floating", "mixed-integer-float", "decimal", "complex"):
            hint = serial_hint(values) if inferred in ("integer", "floating") else ""
            raise NotDates(f"{self.name} holds {inferred} values: numbers are not dates{hint}")
        return self._objects(values, wall, kind, where)

    def _objects(self, values: pd.Series, wall: np.ndarray, kind: np.ndarray,
                 where: _Where) -> pd.Series:
        """An object column of several types, value by value."""
        text_at, naive_at, naive, utc_at, utc, day_at, day = [], [], [], [], [], [], []
        for i, v in enumerate(values.to_numpy(dtype=object)):
            if isinstance(v, str):
                text_at.append(i)
            elif _is_missing(v):
                continue
            elif isinstance(v, (bool, np.bool_)) or isinstance(v, numbers.Number):
                raise NotDates(f"{self.name}: {where(i)} holds {type(v).__name__} "
                               f"{as_written(v)}: "
                               f"{'booleans' if isinstance(v, (bool, np.bool_)) else 'numbers'} "
                               f"are not dates")
            elif isinstance(v, _dt.datetime):
                stamp = _datetime64(v)
                if v.tzinfo is not None and v.utcoffset() is not None:
                    utc_at.append(i)
                    utc.append(stamp)
                else:
                    naive_at.append(i)
                    naive.append(stamp)
            elif isinstance(v, _dt.date):
                day_at.append(i)
                day.append(np.datetime64(v, "D"))
            elif isinstance(v, np.datetime64):
                (day_at if np.datetime_data(v.dtype)[0] == "D" else naive_at).append(i)
                (day if np.datetime_data(v.dtype)[0] == "D" else naive).append(v)
            else:
                kind[i] = UNREADABLE
        for at, stamps, what in ((naive_at, naive, NAIVE), (utc_at, utc, UTC),
                                 (day_at, day, DAY)):
            # Nanosecond values as they are, the rest in microseconds (any year).
            fine = np.array([np.datetime_data(v.dtype)[0] == "ns" for v in stamps])
            at_ = np.array(at)
            if fine.any():
                fill(wall, kind, at_[fine], np.array(stamps, dtype=object)[fine]
                      .astype("M8[ns]"), what)
            if not fine.all():
                fill(wall, kind, at_[~fine], np.array([v.astype("M8[us]") for v, f in
                                                        zip(stamps, fine) if not f]), what)
        text = values.iloc[text_at].astype(object)
        text.index = pd.RangeIndex(len(values))[text_at]
        return text

    # -- day first -------------------------------------------------------------

    def _decide(self, text: pd.Series, where: _Where) -> bool:
        """Whether this chunk's day-month dates that could be read either way
        are read day first."""
        if self.dayfirst is not None:
            return self.dayfirst
        day_at, month_at, ambiguous = evidence(text)
        if day_at is not None and self._day is None:
            self._day = (where(day_at), text.loc[day_at])
        if month_at is not None and self._month is None:
            self._month = (where(month_at), text.loc[month_at])
        if self._day and self._month:
            raise MixedOrder(
                f"{self.name} holds dates that can only be read day first ({self._day[0]}: "
                f"{as_written(self._day[1])}) and dates that can only be read month first "
                f"({self._month[0]}: {as_written(self._month[1])})", self._day, self._month)
        if self._day:
            if self._defaulted:
                raise OrderRevised(self._day)
            return True
        if ambiguous and not self._month:
            self._defaulted = True
        return False

    # -- to India's wall clock --------------------------------------------------

    def _india(self, wall: np.ndarray, kind: np.ndarray) -> np.ndarray:
        out = wall.copy()
        out[kind < NAIVE] = NAT
        naive = kind == NAIVE
        if naive.any() and not _is_india(self.zone):
            out[naive] = _utc_to_india(_zone_to_utc(wall[naive], self.zone))
        utc = kind == UTC
        if utc.any():
            out[utc] = _utc_to_india(wall[utc])
        return out


def read_dates(values: Any, *, zone: Any = INDIA, dayfirst: bool | None = None,
               span: Covers | None = None, skip_outside: bool = False,
               name: str = "the column", first_row: int | None = None) -> Reading:
    """A whole column as India wall-clock time (see DateReader)."""
    return DateReader(zone=zone, dayfirst=dayfirst, span=span, skip_outside=skip_outside,
                      name=name).read(values, first_row)


def read_date(value: Any, *, zone: Any = INDIA, dayfirst: bool | None = None,
              span: Covers | None = None) -> pd.Timestamp:
    """One value as India wall-clock time (a naive Timestamp).  A missing or
    unreadable value raises ValueError, a number or boolean NotDates (a
    TypeError), a value outside `span` OutsideSpan (a ValueError)."""
    if _is_missing(value):
        raise ValueError(f"not a date: {as_written(value)}")
    if isinstance(value, (bool, np.bool_)) or isinstance(value, numbers.Number):
        raise NotDates(f"not a date: {as_written(value)} ({type(value).__name__}): numbers and "
                       f"booleans are not dates")
    if isinstance(value, (list, tuple, dict, set, pd.Series, pd.Index, np.ndarray)):
        raise TypeError(f"not a date: {as_written(value)} is a {type(value).__name__}")
    column = pd.Series([value], dtype=object)
    reading = read_dates(column, zone=zone, dayfirst=dayfirst, span=span,
                         name=f"the value {as_written(value)}")
    if pd.isna(reading.dates.iloc[0]):
        raise ValueError(f"not a date: {as_written(value)}")
    return pd.Timestamp(reading.dates.iloc[0])


# ---------------------------------------------------------------------------
# Helpers

class _Where:
    """Names a position for messages: "row N" from a first row, else the index label."""

    def __init__(self, values: pd.Series, first_row: int | None) -> None:
        self.index, self.first_row = values.index, first_row

    def __call__(self, position: int) -> str:
        if self.first_row is not None:
            return f"row {self.first_row + position}"
        return f"row {self.index[position]!r}"


def checked_columns(columns: Any, column: Any, into: Any, where: str, option: str) -> int:
    """The position of `column` among `columns`, checked as every front checks
    a date column and the name of the column it adds: `column` is there once,
    and `into` is a new name (a non-empty str).  `where` names the frame or
    file, `option` the way to name another column (``--into``, ``into=``)."""
    columns = list(columns)
    count = sum(1 for c in columns if c == column)
    if count == 0:
        raise MissingColumn(f"no column {as_written(column)} in {where} (columns: "
                            f"{', '.join(map(str, columns))})")
    if count > 1:
        raise ValueError(f"{where} has {count} columns named {as_written(column)}")
    if not isinstance(into, str) or into == "":
        raise ValueError(f"{option} needs a name for the added column, not {as_written(into)}")
    if into in columns:
        raise ValueError(f"{where} already has a column {into!r}: name another with {option}")
    return columns.index(column)


def as_written(value: Any) -> str:
    """`value` as a message shows it: its repr, a NumPy scalar's as the Python
    value it holds (20, not np.int64(20))."""
    if isinstance(value, np.datetime64):
        return repr(str(value))
    if isinstance(value, np.generic):
        value = value.item()
    return repr(value)


def serial_hint(values: Any) -> str:
    """For a refused column of whole numbers: a hint when they could be Excel's
    serial day numbers (five digits, 1927 to 2173), else ""."""
    numbers_ = pd.to_numeric(pd.Series(values, dtype=object), errors="coerce").dropna()
    if numbers_.empty or not ((numbers_ % 1 == 0) & numbers_.between(10_000, 99_999)).all():
        return ""
    first = int(numbers_.iloc[0])
    return (f" (if they are Excel's serial day numbers, {first} being "
            f"{EXCEL_EPOCH + _dt.timedelta(days=first)}, format the column as dates in Excel "
            f"before saving)")


def checked_zone(zone: Any) -> Any:
    """`zone` (a name or tzinfo; None, "IST" and "Asia/Calcutta" for India's),
    or ValueError when unknown."""
    if zone is None:
        return INDIA
    if isinstance(zone, str) and zone in ZONE_NAMES:
        return ZONE_NAMES[zone]
    try:
        pd.Timestamp("2000-01-01").tz_localize(zone)
    except Exception:
        raise ValueError(f"unknown time zone: {zone!r}") from None
    return zone


def _is_india(zone: Any) -> bool:
    return str(zone) == INDIA


def _is_missing(v: Any) -> bool:
    if v is None or v is pd.NaT or v is pd.NA:
        return True
    if isinstance(v, float) and v != v:
        return True
    return isinstance(v, np.datetime64) and np.isnat(v)


def _datetime64(v: _dt.datetime) -> np.datetime64:
    """A datetime's wall-clock fields (UTC's for an aware one), at its precision."""
    if isinstance(v, pd.Timestamp):
        if v.tzinfo is not None:
            v = v.tz_convert("UTC").tz_localize(None)
        return v.to_datetime64()
    if v.tzinfo is not None and v.utcoffset() is not None:
        try:
            v = v.astimezone(_dt.timezone.utc)
        except OverflowError:  # year 1 or 9999 moved out of datetime's range: its own fields
            pass
    return np.datetime64(v.replace(tzinfo=None), "us")


def _from_arrow(values: pd.Series, name: str) -> pd.Series:
    """A pyarrow-backed column as pandas' own types."""
    import pyarrow as pa

    kind = values.dtype.pyarrow_dtype
    if pa.types.is_dictionary(kind):
        kind = kind.value_type
    if pa.types.is_timestamp(kind):
        unit = kind.unit
        return values.astype(f"datetime64[{unit}, {kind.tz}]" if kind.tz else f"datetime64[{unit}]")
    if pa.types.is_boolean(kind):
        raise NotDates(f"{name} holds {kind} values, not dates")
    if pa.types.is_integer(kind) or pa.types.is_floating(kind) or pa.types.is_decimal(kind):
        raise NotDates(f"{name} holds {kind} values: numbers are not dates")
    return values.astype(object)  # strings, dates (datetime.date), anything else


def _zone_to_utc(naive: np.ndarray, zone: Any) -> np.ndarray:
    """Naive wall-clock times of `zone` as UTC, a repeated time read as the
    first of the two and a skipped one with the offset before the change
    (Python's fold=0)."""
    wall = pd.Series(naive)
    aware = wall.dt.tz_localize(zone, ambiguous=np.ones(len(wall), dtype=bool),
                                nonexistent="shift_backward")
    offset = aware.dt.tz_localize(None) - aware.dt.tz_convert("UTC").dt.tz_localize(None)
    return (wall - offset).to_numpy(dtype="M8[ns]")


def _utc_to_india(utc: np.ndarray) -> np.ndarray:
    return (pd.Series(utc).dt.tz_localize("UTC").dt.tz_convert(INDIA).dt.tz_localize(None)
            .to_numpy(dtype="M8[ns]"))
