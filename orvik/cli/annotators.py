"""orvik/cli/annotators.py: the command line's two annotators, behind one
interface (Annotator).

    annotator.span                   # the India wall-clock times it answers for
    annotator.festivals(dates)       # names (or None) for each value of a
                                     # datetime64[ns] column of India time

The values reach an annotator already read (orvik.dates) and inside its span;
one that still fails raises Unanswered with its position.  Both use the
context that orvik.observed was given (orvik.observed.use_context).
"""

from __future__ import annotations

import datetime as dt
from typing import Any, Protocol

import numpy as np
import pandas as pd

from orvik import observed
from orvik.dates import NS_PER_DAY, Covers, Span

_NOON = pd.Timedelta(hours=12)
_EPOCH = dt.date(1970, 1, 1)


class Unanswered(Exception):
    """A value the annotator could not answer for: its position and the error."""

    def __init__(self, position: int, error: Exception) -> None:
        super().__init__(position, error)
        self.position, self.error = position, error


class Annotator(Protocol):
    """What the command line asks of an annotator."""

    @property
    def span(self) -> Covers: ...

    def festivals(self, dates: pd.Series) -> np.ndarray: ...


def names(column: pd.Series) -> np.ndarray:
    """A festival column as an object array of names and None."""
    return column.astype(object).where(column.notna(), None).to_numpy()


class FestivalColumn:
    """get_festival's "festival" column: what holds at the given moment."""

    def __init__(self, tavrolen: Any) -> None:
        self.tavrolen = tavrolen
        self.span = ColumnSpan(tavrolen)

    def festivals(self, dates: pd.Series) -> np.ndarray:
        frame = pd.DataFrame({"d": dates.reset_index(drop=True)})
        try:
            self.tavrolen.get_festival(frame, "d")
        except Exception:
            failing = self.first_failing(dates.reset_index(drop=True))
            if failing is None:
                raise
            raise Unanswered(*failing) from None
        return names(frame["festival"])

    def first_failing(self, dates: pd.Series) -> tuple[int, Exception] | None:
        """The first position whose value fails alone, and its exception: a
        prefix fails exactly when a value in it fails, so a bisection finds it."""
        lo, hi = 0, len(dates)  # dates[:lo] passes, dates[:hi] fails
        while hi - lo > 1:
            mid = (lo + hi) // 2
            if self._fails(dates.iloc[:mid]) is None:
                lo = mid
            else:
                hi = mid
        exc = self._fails(dates.iloc[hi - 1:hi])
        return None if exc is None else (hi - 1, exc)

    def _fails(self, values: pd.Series) -> Exception | None:
        try:
            self.tavrolen.get_festival(pd.DataFrame({"d": values.copy()}), "d")
        except Exception as exc:
            return exc
        return None


class ColumnSpan:
    """The days get_festival answers for, on the loaded ephemeris.

    get_festival answers every minute of a day or none: with DE421, 1899-09-12
    fails at 00:00, 00:59, 01:00, 05:29, 05:30, 12:00 and 23:59 and 1899-09-13
    answers them all, and so do 2053-10-12 and 2053-10-13 at the other end.  The
    days it answers are one run that holds every day the observed calendar
    covers (orvik.observed.covered_span), whose searches reach further.  So a
    value inside the observed calendar's days is covered without asking; for
    one beyond them, the run's ends are found once by asking get_festival about
    one noon at a time: outward from the observed calendar's days in doubling
    steps until a day fails, then by bisection (about ten questions an end)."""

    def __init__(self, tavrolen: Any) -> None:
        self.tavrolen = tavrolen
        first, last = observed.covered_span()
        self.inner = ((first - _EPOCH).days, (last - _EPOCH).days)
        self.ends: tuple[int, int] | None = None

    def covers(self, values: np.ndarray) -> np.ndarray:
        nat = np.isnat(values)
        days = values.view("int64") // NS_PER_DAY
        inside = nat | ((days >= self.inner[0]) & (days <= self.inner[1]))
        if inside.all():
            return inside
        first, last = self.measured()
        return nat | ((days >= first) & (days <= last))

    def measured(self) -> tuple[int, int]:
        """The first and last day (numbers from 1970-01-01) get_festival answers."""
        if self.ends is None:
            self.ends = (self._edge(self.inner[0], -1), self._edge(self.inner[1], 1))
        return self.ends

    def __str__(self) -> str:
        first, last = (_EPOCH + dt.timedelta(days=d) for d in self.measured())
        return f"the days the ephemeris lets get_festival answer, {first} to {last}"

    def _edge(self, known: int, step: int) -> int:
        """The last day from `known` (answered) in direction `step` that is answered."""
        good, distance = known, 1
        while self._answers(known + step * distance):
            good, distance = known + step * distance, distance * 2
        bad = known + step * distance
        while abs(bad - good) > 1:
            middle = (good + bad) // 2
            if self._answers(middle):
                good = middle
            else:
                bad = middle
        return good

    def _answers(self, day: int) -> bool:
        try:
            noon = pd.Timestamp(day * NS_PER_DAY) + _NOON
            self.tavrolen.get_festival(pd.DataFrame({"d": [noon]}), "d")
        except Exception:
            return False
        return True


class ObservedCalendar:
    """The festivals kept on each value's civil day (orvik.observed), by every
    observance or by one published list."""

    def __init__(self, holiday_list: str | None = None) -> None:
        self.list = holiday_list
        first, last = observed.covered_span(holiday_list)
        self.span = Span.of_days(first, last, "the observed calendar's span")

    def festivals(self, dates: pd.Series) -> np.ndarray:
        return observed.names_on(dates.to_numpy(dtype="datetime64[ns]"), self.list)
