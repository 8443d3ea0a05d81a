"""orvik/_dateparse.py: how orvik.dates reads text, and how it stores what a
value is once read: the wall-clock fields of each value (datetime64[ns]) with
its kind (missing, unreadable, outside, naive, UTC, a day).  Private to
orvik.dates, whose docstring says what is read and how."""

from __future__ import annotations

import re
import warnings
from typing import Any

import numpy as np
import pandas as pd

NS_PER_DAY = 86_400 * 10**9

# The range datetime64[ns] holds (1677-09-21 to 2262-04-11), a day in from each
# end so that no zone's offset carries a value out of it.
HOLDABLE = (np.datetime64("1677-09-23", "ns"), np.datetime64("2262-04-09", "ns"))

# What each value is, once read.
MISSING, UNREADABLE, OUTSIDE, NAIVE, UTC, DAY = range(6)
NAT = np.datetime64("NaT", "ns")


def fill(wall: np.ndarray, kind: np.ndarray, at: np.ndarray, stamps: np.ndarray,
         what: Any) -> None:
    """Stores datetime64 values (any unit) at positions `at` as `what` (one kind,
    or one per value); those datetime64[ns] cannot hold are outside, and NaT is
    left as it was."""
    stamps = np.asarray(stamps)
    present = ~np.isnat(stamps)
    unit = np.datetime_data(stamps.dtype)[0]
    lo, hi = (b.astype(f"M8[{unit}]") for b in HOLDABLE)
    inside = present & (stamps >= lo) & (stamps <= hi)
    wall[at[inside]] = stamps[inside].astype("M8[ns]")
    kind[at[inside]] = what[inside] if isinstance(what, np.ndarray) else what
    kind[at[present & ~inside]] = OUTSIDE


# ---------------------------------------------------------------------------
# Text

# A time of day: "20:00", "8:05:30.5", "8:05 pm", "8 pm", or ISO's "T20",
# "T2000", "T200000" after the date's digits.
_CLOCK = (r"(?:\d:\d{2}(?::\d{2}(?:[.,]\d+)?)?(?:\s*[AaPp]\.?[Mm]\b\.?)?"
          r"|(?<=\d)T\d{2}(?:\d{2}){0,2}(?:[.,]\d+)?"
          r"|\d\s*[AaPp]\.?[Mm]\b\.?)")
# A zone written after a time of day: Z, an offset (+05:30, +0530, +05, -3),
# UTC, GMT or UT alone or with an offset.
_ZONE = r"(?:Z|(?:UTC|GMT|UT)?\s?[+-]\d{1,2}(?::?\d{2})?|UTC|GMT|UT)(?![A-Za-z\d])"
_ZONED = re.compile(_CLOCK + r"\s*" + _ZONE)
# Another zone name after a time ("20:00 IST", "Thu Oct 31 20:00:00 EST 2024").
_NAMED_ZONE = re.compile(_CLOCK + r"[^\S\n]*\(?(?!(?:AM|PM|UTC|GMT|UT)\b)[A-Z]{2,5}\)?"
                         r"(?:[^\S\n]+\d{4})?[^\S\n]*$", re.MULTILINE)
_SIGNED = re.compile(r"^[^\S\n]*[+-]", re.MULTILINE)
# What pandas reads differently: the bracketed comment after an offset, and
# "UTC+05:30", which dateutil takes for five and a half hours behind UTC.
_ZONE_COMMENT = re.compile(r"\s*\([^()]*\)\s*$")
_NAMED_OFFSET = re.compile(r"(?:UTC|GMT|UT)\s?([+-])(\d{1,2})(?::?(\d{2}))?(?!\d)")
# A date whose first two fields are day and month in some order: 31/10/2024,
# 04.11.24, 31-10-2024 (the same separator twice, then the year), wherever it
# stands in the value (20:00 31/10/2024, Thu 31/10/2024), but not within
# another run of digits and separators (2024-10-31).
_DAY_MONTH = re.compile(r"(?<![\d./-])(\d{1,2})([./-])(\d{1,2})\2(?:\d{4}|\d{2})(?!\d)")
_DAY_MONTH_REST = re.compile(r"^(.*?)(?<![\d./-])(\d{1,2})([./-])(\d{1,2})\3(\d{4}|\d{2})(?!\d)(.*)$",
                             re.S)
# The same, searched for in the values each between newlines, and a blank value.
DAY_MONTH_LINE = re.compile(r"(?<![\d./-])\d{1,2}([./-])\d{1,2}\1\d")
_BLANK = re.compile(r"\n[^\S\n]*\n")
# India's zone written after a time: "20:00 IST" (India Standard Time, the only
# IST in India's own data), "20:00 Asia/Kolkata".
_INDIA_ZONE = re.compile(r"(?<=\d)[^\S\n]*(?:IST|Asia/(?:Kolkata|Calcutta))(?![A-Za-z])")
INDIA_OFFSET = " +05:30"
# A value that writes no year of three digits or more (15-Aug-47, 31/10/24),
# once its time of day is taken out; and a line of such values.
_CLOCK_ONLY = re.compile(r"\d{1,2}:\d{2}(?::\d{2}(?:[.,]\d+)?)?")
_LONG_RUN = re.compile(r"\d{3}")
_SHORT_LINE = re.compile(r"^(?!.*\d{3})(?=.*\d).+$", re.MULTILINE)
# What a date needs to name its day: three runs of digits, or two beside a
# month's name, or one run of six digits or more (20241031); the time of day
# and a zone's offset aside.  pandas completes a value with less from
# defaults: day 1 ("Oct-2024", "2024"), year 1 ("Oct-24" is 24 October of
# year 1, "31-Oct"), or today's date ("20:00").
_CLOCK_OR_OFFSET = re.compile(r"\d{1,2}:\d{2}(?::\d{2}(?:[.,]\d+)?)?|(?<=\d)[+-]\d{2}:?\d{2}(?!\d)"
                              r"|(?<=\d)T\d{2}(?!\d)")
_MONTH_NAME = re.compile(r"(?i)(?<![a-z])(?:jan|feb|mar|apr|may|jun|jul|aug|sep|oct|nov|dec)")
_DIGITS = re.compile(r"\d+")
# A value shorter than an ISO date (YYYY-MM-DD), which ISO 8601 reads as a month or a year.
_PART_OF_A_DATE = re.compile(r"\n[^\n]{1,9}\n")
# A time of day written without a colon: "20241031T2000", "8 pm".
_TIME_WITHOUT_COLON = re.compile(r"\dT\d|\d\s*[AaPp]\.?[Mm]\b")


def evidence(text: pd.Series) -> tuple[Any, Any, bool]:
    """The positions of the first date that only day first can read and of the
    first that only month first can read (or None), and whether some date reads
    differently either way."""
    hit, a, b, _, _, _ = _day_month_fields(text.to_numpy(dtype=object, na_value=""))
    day_only = (a > 12) & (b <= 12)
    month_only = (a <= 12) & (b > 12)
    ambiguous = (a <= 12) & (b <= 12) & (a != b)
    at = text.index[hit]

    def first(mask: np.ndarray) -> Any:
        return at[int(mask.argmax())] if mask.any() else None

    return first(day_only), first(month_only), bool(ambiguous.any())


def _day_month_fields(strings: Any) -> tuple[Any, ...]:
    """Of day-month dates among `strings` (str): where they are, their first
    and second fields (1 to 31 each), their year, and what precedes and
    follows the date."""
    match = _DAY_MONTH_REST.match
    found = [match(s) for s in strings]
    found = [m if m is not None and 1 <= int(m[2]) <= 31 and 1 <= int(m[4]) <= 31 else None
             for m in found]
    hit = np.fromiter((m is not None for m in found), dtype=bool, count=len(found))
    groups = [m for m in found if m is not None]
    a = np.fromiter((int(m[2]) for m in groups), dtype=int, count=len(groups))
    b = np.fromiter((int(m[4]) for m in groups), dtype=int, count=len(groups))
    return (hit, a, b, [m[5] for m in groups], [m[1] for m in groups],
            [m[6] for m in groups])


def parse_text(text: pd.Series, filled: np.ndarray, joined: str, dayfirst: bool | None,
               days_apart: bool, wall: np.ndarray, kind: np.ndarray, short: np.ndarray) -> None:
    """Fills `wall` and `kind` at the text values' positions (their index);
    `filled` holds the values with "" for missing ones, `joined` the same each
    between newlines.  `dayfirst`: how day-month dates that could be read either
    way are read (None: there are none).  With `days_apart`, a value without a
    time of day is a day (kept).  `short` is set where a value's year was
    written with two digits, whose century pandas chose (the caller chooses it).

    pandas reads the whole column at once when its values agree: all without
    a zone, or all with fixed offsets that pandas reads as written.  Otherwise
    each value's zone is looked at first.  Either way, the values pandas gives
    no date (or a date datetime64[ns] cannot hold) get a closer look, and so
    do those it may have completed from its defaults."""
    at = text.index.to_numpy()
    if "IST" in joined or "Asia/" in joined:  # India's zone, as an offset pandas reads
        filled = np.array([_INDIA_ZONE.sub(INDIA_OFFSET, s) for s in filled], dtype=object)
        joined = "\n" + "\n".join(filled) + "\n"
    present = np.ones(len(text), dtype=bool)
    if _has_blank(joined):  # blank text is a missing value
        present = np.fromiter((bool(s.strip()) for s in filled), dtype=bool, count=len(filled))
    strings = pd.Series(filled, dtype=object)
    if "UT" in joined or "GMT" in joined or "(" in joined \
            or not _parse_agreeing(strings[present], at[present], dayfirst, wall, kind):
        _parse_zone_by_zone(strings, at, present, dayfirst, wall, kind)
    _second_look(strings, at, present, dayfirst, kind)
    _mark_incomplete(strings, at, wall, kind)
    if _SHORT_LINE.search(joined):
        read = (kind[at] == NAIVE) | (kind[at] == UTC)
        bare = strings[read].str.replace(_CLOCK_ONLY, "", regex=True)
        short[at[read]] = ~bare.str.contains(_LONG_RUN).to_numpy(dtype=bool)
    if days_apart:
        _mark_days(strings, at, wall, kind)


def incomplete(s: str) -> bool:
    """Whether text pandas reads as a date leaves out its day, month or year."""
    bare = _CLOCK_OR_OFFSET.sub(" ", s)
    runs = _DIGITS.findall(bare)
    if any(len(run) >= 6 for run in runs):
        return False
    return len(runs) < (2 if _MONTH_NAME.search(bare) else 3)


def _mark_incomplete(strings: pd.Series, at: np.ndarray, wall: np.ndarray,
                     kind: np.ndarray) -> None:
    """Values pandas may have completed from its defaults (a first of the
    month, or within a day of today) that leave out their day, month or year:
    unreadable.  (Year 1, its third default, is outside and looked at in
    _second_look.)"""
    read = (kind[at] == NAIVE) | (kind[at] == UTC)
    days = wall[at].astype("M8[D]")
    first = days == days.astype("M8[M]").astype("M8[D]")
    today = np.abs((days - np.datetime64("today", "D")).astype(np.int64)) <= 1
    for i, s in zip(at[read & (first | today)], strings[read & (first | today)]):
        if incomplete(s):
            kind[i] = UNREADABLE


def parse_iso(text: pd.Series, filled: np.ndarray, joined: str, days_apart: bool, wall: np.ndarray,
              kind: np.ndarray) -> bool:
    """The common case at its own speed, before parse_text: whether every value is an ISO 8601
    date or date-time without a zone, within what datetime64[ns] holds (pandas'
    "ISO8601" format reads them in under half the time "mixed" takes), and if
    so, they are stored.  Anything else (a blank, a zone, a sign, another
    format, a year beyond datetime64[ns]) leaves the column to the general
    reading, which names or refuses it."""
    if joined.startswith(("-", "+")) or "\n-" in joined or "\n+" in joined:
        return False
    if _PART_OF_A_DATE.search(joined):  # "2024-10", "2024": a month or a year, not a day
        return False
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            parsed = pd.to_datetime(text, format="ISO8601")
            if isinstance(parsed.dtype, pd.DatetimeTZDtype) or parsed.isna().any():
                return False
            stamps = parsed.astype("datetime64[ns]").to_numpy()  # refuses years beyond it
    except (ValueError, TypeError, OverflowError):
        return False
    at = text.index.to_numpy()
    fill(wall, kind, at, stamps, NAIVE)
    if days_apart:
        _mark_days(pd.Series(filled, dtype=object), at, wall, kind)
    return True


def _has_blank(joined: str) -> bool:
    """Whether a value is empty or only white space (`joined`: each value
    between newlines); ASCII text without white space before a newline has
    none, which substring searches tell faster than the pattern."""
    if "\n\n" in joined:
        return True
    if joined.isascii() and not any(f"{space}\n" in joined for space in " \t\r\x0b\x0c"):
        return False
    return _BLANK.search(joined) is not None


def _parse_agreeing(strings: pd.Series, at: np.ndarray, dayfirst: bool | None, wall: np.ndarray,
                    kind: np.ndarray) -> bool:
    """Whether pandas could read the values at once (and they are stored)."""
    parts = _to_datetime(strings, dayfirst, utc=False)
    if parts is None:
        return False
    zones = {str(p.dt.tz) if isinstance(p.dtype, pd.DatetimeTZDtype) else None for _, p in parts}
    if len(zones) > 1 or not all(_fixed(p) for _, p in parts):
        return False
    for group, parsed in parts:
        if isinstance(parsed.dtype, pd.DatetimeTZDtype):
            fill(wall, kind, at[group], parsed.dt.tz_convert("UTC").dt.tz_localize(None)
                  .to_numpy(), UTC)
        else:
            fill(wall, kind, at[group], parsed.to_numpy(), NAIVE)
    return True


def _parse_zone_by_zone(strings: pd.Series, at: np.ndarray, present: np.ndarray,
                        dayfirst: bool | None, wall: np.ndarray, kind: np.ndarray) -> None:
    """Values with a zone become UTC and the others keep their wall clock,
    each group read at once."""
    zoned = strings.str.contains(_ZONED).to_numpy(dtype=bool) & present
    refused = (strings.str.contains(_NAMED_ZONE) | strings.str.contains(_SIGNED)).to_numpy(
        dtype=bool) & present
    kind[at[refused]] = UNREADABLE
    naive, zoned = present & ~zoned & ~refused, zoned & ~refused
    spelled = (strings[zoned].str.replace(_ZONE_COMMENT, "", regex=True)
               .str.replace(_NAMED_OFFSET, _iso_offset, regex=True))
    for group, part, utc in ((naive, strings[naive], False), (zoned, spelled, True)):
        if not group.any():
            continue
        parts = _to_datetime(part, dayfirst, utc)
        if parts is None or not utc and any(isinstance(p.dtype, pd.DatetimeTZDtype)
                                            for _, p in parts):
            _parse_one_by_one(part, at[group], dayfirst, wall, kind)
            continue
        for sub, parsed in parts:
            if utc:
                parsed = parsed.dt.tz_localize(None)
            fill(wall, kind, at[group][sub], parsed.to_numpy(), UTC if utc else NAIVE)


def _to_datetime(strings: pd.Series, dayfirst: bool | None, utc: bool) -> list | None:
    """[(mask of `strings`, parsed Series)], or None when pandas will not read
    them side by side (zones that differ).  Day-month dates with four-digit
    years are rewritten as ISO dates first (which pandas reads fast, where it
    reads 31/10/2024 with dateutil); with `dayfirst`, those with two-digit years
    (whose century dateutil chooses) are read day first by pandas, and only
    they, so that 2024/04/11 stays 11 April."""
    groups = [(np.ones(len(strings), dtype=bool), False)]
    if dayfirst is not None:
        strings, short = _iso_day_month(strings, dayfirst)
        if dayfirst and short.any():
            groups = [(short, True), (~short, False)]
    parts = []
    with warnings.catch_warnings():
        # pandas 2 reads differing zones into objects with this warning; pandas 3 raises.
        warnings.simplefilter("error", FutureWarning)
        for group, first in groups:
            if group.any():
                try:
                    parsed = pd.to_datetime(strings[group], format="mixed", dayfirst=first,
                                            errors="coerce", utc=utc)
                except (ValueError, TypeError, OverflowError, FutureWarning):
                    return None
                if parsed.dtype == object:
                    return None
                parts.append((group, parsed))
    return parts


def _iso_day_month(strings: pd.Series, dayfirst: bool) -> tuple[pd.Series, np.ndarray]:
    """`strings` with each day-month date of a four-digit year written as ISO
    (a first field above 12 can only be the day, a second above 12 only the
    day; otherwise as `dayfirst` says), and the mask of those with two-digit
    years."""
    hit, a, b, years, befores, rests = _day_month_fields(strings)
    if not hit.any():
        return strings, hit
    long = np.fromiter((len(y) == 4 for y in years), dtype=bool, count=len(years))
    day_first = (a > 12) | ((b <= 12) & dayfirst)
    day, month = np.where(day_first, a, b), np.where(day_first, b, a)
    rewritten = strings.to_numpy(dtype=object).copy()
    at = np.flatnonzero(hit)
    for i, y, m, d, before, rest, keep in zip(at, years, month, day, befores, rests, long):
        if keep:
            rewritten[i] = f"{before}{y}-{m:02d}-{d:02d}{rest}"
    short = np.zeros(len(strings), dtype=bool)
    short[at[~long]] = True
    return pd.Series(rewritten, index=strings.index, dtype=object), short


def _fixed(parsed: pd.Series) -> bool:
    """Whether the values are naive or carry a fixed offset (not the machine's
    own zone, which dateutil gives a zone name it knows locally)."""
    if not isinstance(parsed.dtype, pd.DatetimeTZDtype):
        return True
    try:
        return parsed.dt.tz.utcoffset(None) is not None
    except Exception:
        return False


def _iso_offset(m: re.Match) -> str:
    """"UTC+5" -> "+05:00": the offset as ISO 8601 writes it."""
    return f"{m[1]}{int(m[2]):02d}:{m[3] or '00'}"


def _parse_one_by_one(part: pd.Series, at: np.ndarray, dayfirst: bool | None, wall: np.ndarray,
                      kind: np.ndarray) -> None:
    """Strings pandas would not read side by side: each on its own."""
    for i, s in zip(at, part):
        try:
            stamp = pd.to_datetime(s, format="mixed",
                                   dayfirst=bool(dayfirst) and _DAY_MONTH.search(s) is not None)
        except (ValueError, TypeError, OverflowError) as exc:
            kind[i] = OUTSIDE if isinstance(exc, pd.errors.OutOfBoundsDatetime) else UNREADABLE
            continue
        if pd.isna(stamp):
            continue
        what = NAIVE
        if stamp.tzinfo is not None:
            stamp, what = stamp.tz_convert("UTC").tz_localize(None), UTC
        fill(wall, kind, np.array([i]), np.array([stamp.to_datetime64()]), what)


def _second_look(strings: pd.Series, at: np.ndarray, present: np.ndarray,
                 dayfirst: bool | None,
                 kind: np.ndarray) -> None:
    """The values there that pandas gave no date or one datetime64[ns] cannot
    hold: a value that starts with a sign or names another zone is unreadable;
    one that pandas 2 made NaT for its year is outside; the rest unreadable.
    Only a value with a run of three digits can name such a year."""
    look = present & ((kind[at] == MISSING) | (kind[at] == OUTSIDE))
    known: dict[str, int] = {}
    for i, s, was in zip(at[look], strings[look], kind[at[look]]):
        if s not in known:
            if _SIGNED.match(s) or _NAMED_ZONE.search(s):
                known[s] = UNREADABLE
            elif was == OUTSIDE:  # its year, or pandas' year 1 for one it lacks
                known[s] = UNREADABLE if incomplete(s) else OUTSIDE
            else:
                known[s] = UNREADABLE
                if re.search(r"\d{3}", s):
                    try:
                        pd.to_datetime(s, format="mixed",
                                       dayfirst=bool(dayfirst) and _DAY_MONTH.search(s) is not None)
                    except pd.errors.OutOfBoundsDatetime:
                        known[s] = OUTSIDE
                    except (ValueError, TypeError, OverflowError):
                        pass
        kind[i] = known[s]


def _mark_days(strings: pd.Series, at: np.ndarray, wall: np.ndarray, kind: np.ndarray) -> None:
    """Naive values at midnight written without a time of day are days."""
    midnight = (kind[at] == NAIVE) & (wall[at].view("int64") % NS_PER_DAY == 0)
    for i, s in zip(at[midnight], strings[midnight]):
        if ":" not in s and _TIME_WITHOUT_COLON.search(s) is None:
            kind[i] = DAY
