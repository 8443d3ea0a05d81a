"""orvik.dates, the one reader of users' dates: each kind of input to India's
wall-clock time.  Expected values are the same instant worked out by hand:
India is UTC+05:30 (1945 on); New York is UTC-04:00 in daylight time, -05:00
otherwise, and in 2024 fell back at 02:00 on 3 November and sprang forward at
02:00 on 10 March."""

import datetime as dt
import re

import numpy as np
import pandas as pd
import pytest

from orvik.dates import (DateReader, MixedOrder, NotDates, OrderRevised, OutsideSpan, Span,
                         read_date, read_dates)

NAT = "NaT"
UNREADABLE = "unreadable"


def india(values, **options):
    """The readings as strings, with unreadable values marked as such."""
    reading = read_dates(pd.Series(values, dtype=object), skip_outside=True, **options)
    out = []
    for value, got in zip(values, reading.dates):
        out.append(str(got) if not pd.isna(got) else NAT)
    return out, reading


@pytest.mark.parametrize("zone, value, expected", [
    # Offsets of every spelling, with or without a zone for naive values.
    (None, "2024-10-31T20:00:00Z", "2024-11-01 01:30:00"),
    (None, "20241031T200000Z", "2024-11-01 01:30:00"),
    (None, "2024-10-31T20Z", "2024-11-01 01:30:00"),
    (None, "2024-10-31T20:00:00+0000 (UTC)", "2024-11-01 01:30:00"),
    ("UTC", "2024-10-31T20:00:00+0000 (UTC)", "2024-11-01 01:30:00"),
    (None, "2024-10-31T20:00:00 UTC+05:30", "2024-10-31 20:00:00"),    # ISO's sign, not POSIX's
    (None, "2024-10-31T09:00:00 GMT-5", "2024-10-31 19:30:00"),
    (None, "Thu Oct 31 20:00:00 UTC 2024", "2024-11-01 01:30:00"),
    (None, "2024-10-31 20:00:00 +05:30", "2024-10-31 20:00:00"),
    # Naive values: India's by default, else the zone's, hours alone too.
    (None, "2024-10-31 20:00", "2024-10-31 20:00:00"),
    ("UTC", "2024-10-31T20", "2024-11-01 01:30:00"),
    ("UTC", "20241031T200000", "2024-11-01 01:30:00"),
    ("UTC", "2024-10-31 8 PM", "2024-11-01 01:30:00"),
    ("UTC", "2024-10-31 00:00", "2024-10-31 05:30:00"),
    ("UTC", "2024-10-31", "2024-10-31 00:00:00"),                        # a day stays the day
    # New York's repeated hour is its first (daylight) one, the skipped one read
    # with the offset before the change (Python's fold=0).
    ("America/New_York", "2024-11-03 01:30", "2024-11-03 11:00:00"),
    ("America/New_York", "2024-03-10 02:30", "2024-03-10 13:00:00"),
    ("America/New_York", "2024-06-01 12:00", "2024-06-01 21:30:00"),
    # India's own history: war time was UTC+06:30 in 1943.
    ("UTC", "1943-01-01 12:00", "1943-01-01 18:30:00"),
    # India's zone by the names India's data gives it: IST, Asia/Kolkata.
    ("UTC", "2024-10-31 20:00 IST", "2024-10-31 20:00:00"),
    (None, "2024-10-31T20:00 Asia/Kolkata", "2024-10-31 20:00:00"),
    ("IST", "2024-10-31 20:00", "2024-10-31 20:00:00"),
    # Unreadable: another zone's name, a sign, nonsense; blank is missing.
    (None, "2024-10-31 20:00 EST", UNREADABLE),
    (None, "-5", UNREADABLE),
    (None, "soon", UNREADABLE),
    (None, "  ", NAT),
    # A month, a year, a day without its year, a time alone: not a day (pandas
    # would complete them with the 1st, year 1 or today).
    (None, "Oct-24", UNREADABLE),
    (None, "31-Oct", UNREADABLE),
    (None, "Oct-2024", UNREADABLE),
    (None, "2024-10", UNREADABLE),
    (None, "2024", UNREADABLE),
    (None, "20:00", UNREADABLE),
    # Text longer than any date (pandas' mixed-format parser would take minutes
    # over a million characters).
    pytest.param(None, "2024-10-31 " + "9" * 1_000_000, UNREADABLE, id="a million characters"),
])
def test_text(zone, value, expected):
    options = {} if zone is None else {"zone": zone}
    got, reading = india([value, "2024-01-01"], **options)
    if expected == UNREADABLE:
        assert (got[0], reading.unreadable) == (NAT, 1)
    else:
        assert (got[0], reading.unreadable) == (expected, 0)


@pytest.mark.parametrize("values, expected", [
    # An object column of date-times in several zones, and aware with naive.
    ([pd.Timestamp("2024-10-31 20:00", tz="UTC"),
      pd.Timestamp("2024-11-01 05:00", tz="Asia/Tokyo"),
      pd.Timestamp("2024-10-31 20:00"), dt.datetime(2024, 10, 31, 20, tzinfo=dt.timezone.utc),
      dt.date(2024, 10, 31), np.datetime64("2024-10-31T20:00"), None, pd.NaT],
     ["2024-11-01 01:30:00", "2024-11-01 01:30:00", "2024-10-31 20:00:00", "2024-11-01 01:30:00",
      "2024-10-31 00:00:00", "2024-10-31 20:00:00", NAT, NAT]),
    # Text among date-times.
    (["2024-10-31T20:00Z", pd.Timestamp("2024-10-31 20:00")],
     ["2024-11-01 01:30:00", "2024-10-31 20:00:00"]),
])
def test_objects(values, expected):
    assert india(values)[0] == expected


@pytest.mark.parametrize("column, expected", [
    (pd.Series(pd.to_datetime(["2024-10-31 20:00"]).tz_localize("UTC")), "2024-11-01 01:30:00"),
    (pd.Series(pd.to_datetime(["2024-10-31 20:00"])), "2024-10-31 20:00:00"),
    (pd.Series(pd.to_datetime(["2024-10-31 20:00"])).astype("datetime64[s]"),
     "2024-10-31 20:00:00"),
    (pd.Series(["2024-10-31"], dtype="category"), "2024-10-31 00:00:00"),
    (pd.Series(["2024-10-31T20:00Z"], dtype="string"), "2024-11-01 01:30:00"),
])
def test_typed_columns(column, expected):
    assert str(read_dates(column).dates.iloc[0]) == expected


def test_pyarrow_columns():
    pa = pytest.importorskip("pyarrow")
    instant = pd.Timestamp("2024-10-31 20:00", tz="UTC")
    for kind, value, expected in [
            (pa.timestamp("ns", tz="UTC"), instant.value, "2024-11-01 01:30:00"),
            (pa.timestamp("us"), instant.value // 1000, "2024-10-31 20:00:00"),
            (pa.date32(), 20027, "2024-10-31 00:00:00"),
            (pa.string(), "2024-10-31T20:00Z", "2024-11-01 01:30:00")]:
        column = pd.Series(pd.array([value, None], dtype=pd.ArrowDtype(kind)))
        assert [str(v) for v in read_dates(column).dates] == [expected, NAT], kind


@pytest.mark.parametrize("column, kind", [
    (pd.Series([20241031]), "int64"),
    (pd.Series([20241031], dtype="Int64"), "Int64"),
    (pd.Series([1.5]), "float64"),
    (pd.Series([True, False]), "bool"),
    (pd.Series([20241031], dtype=object), "integer"),
    (pd.Series(["2024-10-31", 5], dtype=object), "int 5"),
    (pd.Series(["2024-10-31", True], dtype=object), "bool True"),
    (pd.Series(["2024-10-31", np.int64(20)], dtype=object), "int64 20:"),
    # Five-digit whole numbers may be Excel's serial days (from 1899-12-30).
    (pd.Series([45591, 45600]), "Excel's serial day numbers, 45591 being 2024-10-26"),
])
def test_numbers_and_booleans_are_refused(column, kind):
    with pytest.raises(NotDates, match=kind):
        read_dates(column)


@pytest.mark.parametrize("values, where", [
    (["2024-10-31", "1500-01-01"], "row 1 ('1500-01-01')"),
    (["2500-01-01T10:00Z", "2024-10-31"], "row 0 ('2500-01-01T10:00Z')"),
    ([dt.datetime(1500, 1, 1)], "row 0 (datetime.datetime(1500, 1, 1, 0, 0))"),
    (["2053-10-13 00:00"], "row 0 ('2053-10-13 00:00')"),
    (["1899-09-12 23:59"], "row 0 ('1899-09-12 23:59')"),
])
def test_outside_the_span(values, where):
    first, last = "1899-09-13", "2053-10-12"  # what get_festival answers with DE421
    span = Span.of_days(first, last, "the ephemeris's days")
    with pytest.raises(OutsideSpan, match=re.escape(f"{where} is outside the ephemeris's days, "
                                                    f"{first} to {last}")):
        read_dates(pd.Series(values, dtype=object), span=span)
    skipped = read_dates(pd.Series(values, dtype=object), span=span, skip_outside=True)
    assert skipped.outside == 1 and skipped.unreadable == 0
    # Without a span, what datetime64[ns] cannot hold is outside all the same.
    if "1500" in str(values) or "2500" in str(values):
        with pytest.raises(OutsideSpan, match="what the reader can hold"):
            read_dates(pd.Series(values, dtype=object))


@pytest.mark.parametrize("values, dayfirst, expected, note", [
    # 31/10 can only be day first, so 04/11 is the 4th of November.
    (["31/10/2024", "04/11/2024", "10.04.2024"], None,
     ["2024-10-31", "2024-11-04", "2024-04-10"], "row 0 ('31/10/2024') can only be read day first"),
    (["10/31/2024", "04/11/2024"], None, ["2024-10-31", "2024-04-11"],
     "row 0 ('10/31/2024') can only be read month first"),
    (["04/11/2024", "10-04-2024"], None, ["2024-04-11", "2024-10-04"],
     "could be read day first or month first; they are read month first"),
    (["05/05/2024", "2024-10-31"], None, ["2024-05-05", "2024-10-31"], None),
    (["04/11/2024", "2024/04/11", "05.11.24"], True, ["2024-11-04", "2024-04-11", "2024-11-05"],
     "row 2 ('05.11.24') has a two-digit year, read as 2024"),
    (["04/11/2024", "31/10/2024"], False, ["2024-04-11", "2024-10-31"], None),
    # The date need not come first in the value.
    (["20:00 31/10/2024", "20:00 01/11/2024"], None, ["2024-10-31", "2024-11-01"],
     "row 0 ('20:00 31/10/2024') can only be read day first"),
    (["Thu 31/10/2024", "Fri 01/11/2024"], None, ["2024-10-31", "2024-11-01"],
     "row 0 ('Thu 31/10/2024') can only be read day first"),
])
def test_day_first(values, dayfirst, expected, note):
    reading = read_dates(pd.Series(values), dayfirst=dayfirst)
    assert [str(d.date()) for d in reading.dates] == expected
    assert (note is None) == (reading.note is None)
    if note:
        assert note in reading.note


@pytest.mark.parametrize("values, span, expected, says", [
    # Both centuries within the span: Excel's reading, 00-29 in the 2000s.
    (["15-Aug-47", "01/01/29", "01/01/30"], None, ["1947-08-15", "2029-01-01", "1930-01-01"],
     "row 0 ('15-Aug-47') has a two-digit year, read as 1947 (00 to 29"),
    # One century within the span: that one, whatever today is.
    (["15/08/60"], ("1899-09-13", "2053-10-12"), ["1960-08-15"], "read as 1960 (2060 is outside"),
    (["15/08/30"], ("1990-01-01", "2080-12-31"), ["2030-08-15"], "read as 2030 (1930 is outside"),
    (["29/02/00"], None, ["2000-02-29"], "read as 2000 (1900 has no such day)"),
    # Neither: refused, as outside the span.
    (["15/08/60"], ("2000-01-01", "2050-12-31"), OutsideSpan,
     "row 0 ('15/08/60') has a two-digit year that the span, 2000-01-01 to 2050-12-31 holds in "
     "neither century"),
])
def test_two_digit_years(values, span, expected, says):
    span = span and Span.of_days(*span)
    if expected is OutsideSpan:
        with pytest.raises(OutsideSpan, match=re.escape(says)):
            read_dates(pd.Series(values), span=span)
        return
    reading = read_dates(pd.Series(values), span=span, dayfirst=True)
    assert [str(d.date()) for d in reading.dates] == expected
    assert says in reading.note


def test_day_first_across_chunks():
    # Both kinds in one column: refused, naming a row of each.
    with pytest.raises(MixedOrder, match=r"day first \(row 1: '31/10/2024'\).*month first "
                                         r"\(row 0: '10/31/2024'\)"):
        read_dates(pd.Series(["10/31/2024", "31/10/2024"]))
    # Read in chunks: the first chunk's ambiguous dates were read month first by
    # default when the second shows the column is day first: read again.
    reader = DateReader(name="the column")
    chunks = [["04/11/2024"], ["31/10/2024"], ["05/11/2024"]]
    with pytest.raises(OrderRevised):
        for n, chunk in enumerate(chunks):
            reader.read(pd.Series(chunk), first_row=n + 1)
    reader.rewind()
    got = [str(reader.read(pd.Series(c), first_row=n + 1).dates.iloc[0].date())
           for n, c in enumerate(chunks)]
    assert got == ["2024-11-04", "2024-10-31", "2024-11-05"]
    assert reader.order == "day first" and "row 2 ('31/10/2024')" in reader.note
    # Evidence in one chunk against the other's: refused.
    reader = DateReader()
    reader.read(pd.Series(["31/10/2024"]), first_row=1)
    with pytest.raises(MixedOrder, match="row 2: '10/31/2024'"):
        reader.read(pd.Series(["10/31/2024"]), first_row=2)


@pytest.mark.parametrize("value, expected", [
    (pd.Timestamp("2024-10-31 20:00", tz="UTC"), "2024-11-01 01:30:00"),
    ("2024-10-31T20:00Z", "2024-11-01 01:30:00"),
    (dt.date(2024, 10, 31), "2024-10-31 00:00:00"),
    (pd.NaT, ValueError), (None, ValueError), ("-5", ValueError), ("soon", ValueError),
    (5, TypeError), (True, TypeError), (np.int64(20241031), TypeError),
    ("1500-01-01", OutsideSpan),
])
def test_single_values(value, expected):
    span = Span.of_days("1899-09-13", "2053-10-12")
    if isinstance(expected, str):
        assert str(read_date(value, span=span)) == expected
    else:
        with pytest.raises(expected, match="not a date|outside"):
            read_date(value, span=span)


def test_options():
    with pytest.raises(ValueError, match="unknown time zone: 'Nowhere/X'"):
        read_dates(pd.Series(["2024-10-31"]), zone="Nowhere/X")
    with pytest.raises(TypeError, match="dayfirst"):
        read_dates(pd.Series(["2024-10-31"]), dayfirst="yes")
    # Rows are named by index label, or by number from a first row.
    with pytest.raises(OutsideSpan, match="row 'b'"):
        read_dates(pd.Series(["2024-10-31", "1500-01-01"], index=["a", "b"]),
                   span=Span.of_days("1900-01-01", "2050-12-31"))
    with pytest.raises(OutsideSpan, match="row 11 "):
        read_dates(pd.Series(["2024-10-31", "1500-01-01"]), first_row=10,
                   span=Span.of_days("1900-01-01", "2050-12-31"))
