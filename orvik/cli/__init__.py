"""The orvik command: annotate the dates of a CSV or Parquet file.

    orvik dates.csv --column date --output annotated.csv

The output is the input plus one column: every input record or value is kept as
it was read and the column "festival" (or the one --into names) holds what
get_festival computes for the date column, or with --observed the festivals
kept on each value's civil day.  ``orvik --calendar 2025`` prints the observed
calendar instead.  The file is read and written in chunks with the ephemeris
loaded once, so its size is not bounded by memory; the result appears whole or
not at all.  Every failure is one line on standard error and a non-zero exit.

This module holds the arguments and `main`; formats.py reads and writes the
input's format (csvtext.py for CSV, parquet.py for Parquet, compression.py for
compressed files), destination.py puts the result in place, annotators.py holds
the two annotators, every date goes through orvik.dates and the lists' keys
through orvik.observed.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import signal
import sys
import warnings
from dataclasses import dataclass
from typing import Any

from orvik.cli import formats
from orvik.cli.annotators import Annotator, FestivalColumn, ObservedCalendar, Unanswered
from orvik.cli.chunks import Chunk
from orvik.cli.destination import Destination
from orvik.cli.failure import Failure, Terminated
from orvik.dates import (INDIA, DateOrderWarning, DateReader, MixedOrder, NotDates, OrderRevised,
                         OutsideSpan, as_written, checked_columns)

DEFAULT_COLUMN, DEFAULT_INTO = "date", "festival"
ZONE_EXAMPLES = f"UTC, Europe/London, {INDIA}"


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="orvik", description="Annotate the dates of a CSV or Parquet file with the "
        "Hindu, Islamic and fixed-date festivals of India.")
    p.add_argument("input", nargs="?", help="a CSV file (compressed too: .gz, .bz2, .xz, .zst, "
                   ".zip), a Parquet file (.parquet, .pq), or - for CSV on standard input")
    p.add_argument("--column", help=f'the column of dates (default: "{DEFAULT_COLUMN}")')
    p.add_argument("--into", metavar="NAME",
                   help=f'the name of the added column (default: "{DEFAULT_INTO}")')
    p.add_argument("--output", help="where to write the result (default: CSV on standard "
                   "output); a .parquet name writes Parquet, a .gz, .bz2, .xz, .zst or .zip name "
                   "compressed CSV")
    p.add_argument("--sep", metavar="CHAR", help="the CSV's separator, one character, \\t for a "
                   "tab (default: a comma, or the one of ';', tab and '|' that a header without "
                   "a comma holds)")
    p.add_argument("--encoding", help="the CSV's encoding, as Python names it: cp1252, latin-1, "
                   "utf-16 (default: UTF-8); the output is written in it too")
    p.add_argument("--tz", metavar="ZONE", help="the zone of date-times written without one "
                   "(default: India's); values with a zone or offset are converted to India "
                   "time whatever this says, and dates without a time stay the days they name")
    order = p.add_mutually_exclusive_group()
    order.add_argument("--dayfirst", dest="dayfirst", action="store_const", const=True,
                       help="read a date like 04/11/2024 as 4 November")
    order.add_argument("--monthfirst", dest="dayfirst", action="store_const", const=False,
                       help="read a date like 04/11/2024 as 11 April (without either, the "
                       "column decides: see the README)")
    p.add_argument("--skip-outside", action="store_true", help="give rows outside what the "
                   "ephemeris covers no festival (and count them) instead of failing")
    p.add_argument("--ephemeris", help="a de421.bsp file (default: the one skyfield-data ships)")
    p.add_argument("--observed", action="store_true", help="annotate with the festivals kept on "
                   "each value's civil day (the observed calendar, orvik.observed) instead of "
                   "get_festival's column")
    p.add_argument("--list", metavar="KEY", help="with --calendar or --observed, one of India's "
                   "published holiday lists instead of every observance: gazetted (central-"
                   "government offices in Delhi), restricted, nse (the exchange's trading "
                   "holidays), or a state's: MH, KA, TN, TG, KL")
    p.add_argument("--calendar", nargs="+", metavar="FROM", help="print the observed calendar "
                   "as CSV (date,name,source) instead of annotating a file: a year, two years, "
                   "or two dates, inclusive (for example: --calendar 2025, --calendar "
                   "2024-10-01 2024-11-30)")
    p.add_argument("--version", action="version", version=f"%(prog)s {version()}")
    return p


def version() -> str:
    import orvik

    return orvik.__version__


def plural(n: int, one: str, many: str) -> str:
    return f"{n} {one if n == 1 else many}"


@dataclass
class Tally:
    rows: int = 0
    festivals: int = 0
    dates: int = 0
    unreadable: int = 0
    outside: int = 0


def run(args: argparse.Namespace) -> int:
    if args.calendar is not None:
        return print_calendar(args)
    if args.input is None:
        raise Failure("give a file to annotate (or - for standard input), or --calendar")
    column = DEFAULT_COLUMN if args.column is None else args.column
    into = DEFAULT_INTO if args.into is None else args.into
    if into == "":
        raise Failure("--into needs a name for the added column")
    zone = checked_zone(args.tz)
    path = None if args.input == "-" else args.input
    shown = "standard input" if path is None else args.input
    parquet_out = formats.is_parquet(args.output)
    if parquet_out:
        formats.check_parquet_name(args.output, "--output ")
    source = formats.open_input(path, shown, args.sep, args.encoding)
    output = None if args.output in (None, "-") else args.output
    destination = Destination(output, output or "standard output", source.stat)
    if parquet_out:
        formats.need_pyarrow()
    if getattr(source, "sniffed", None):
        say(source.sniffed)
    index = column_index(source.columns, column, into, shown)
    formats.check_writable(source, parquet_out)

    if args.list is not None and not args.observed:
        raise Failure("--list needs --observed (or --calendar): get_festival's column keeps no list")
    holiday_list = checked_list(args.list)
    tavrolen = load(args.ephemeris)
    annotator: Annotator = (ObservedCalendar(holiday_list) if args.observed else
                            FestivalColumn(tavrolen))
    name = f"column {column!r} of {shown}"
    reader = DateReader(zone=zone, dayfirst=args.dayfirst, span=annotator.span,
                        skip_outside=args.skip_outside, name=name)
    while True:
        try:
            tally = annotate(source, destination, annotator, reader, index, into, parquet_out,
                             shown)
            break
        except OrderRevised:  # a later chunk showed that the column is written day first
            reader.rewind()
            source.rewind()
    for note in destination.notes:
        say(note)
    if reader.order_note:
        hint = " (--dayfirst reads them day first)" if reader.by_default else ""
        say(f"{reader.order_note}{hint}")
    if reader.century_note:
        say(reader.century_note)
    if args.skip_outside:
        say(f"{plural(tally.outside, 'row', 'rows')} outside {annotator.span} "
            f"{'has' if tally.outside == 1 else 'have'} no festival")
    say(f"{tally.festivals} of {plural(tally.rows, 'row', 'rows')} "
        f"{'has' if tally.festivals == 1 else 'have'} a festival; "
        f"{plural(tally.unreadable, 'value', 'values')} could not be read as "
        f"{'a date' if tally.unreadable == 1 else 'dates'}")
    return 0


def column_index(columns: list[str], column: str, into: str, shown: str) -> int:
    """Where the date column is, checked as orvik.dates checks it for every front."""
    try:
        return checked_columns(columns, column, into, shown, "--into")
    except (KeyError, ValueError) as exc:
        raise Failure(str(exc)) from None


def annotate(source: Any, destination: Destination, annotator: Annotator, reader: DateReader,
             index: int, into: str, parquet_out: bool, shown: str) -> Tally:
    """Reads, annotates and writes the input chunk by chunk into `destination`."""
    tally = Tally()
    judged = False
    with destination.open() as sink:
        writer = formats.writer_for(sink, source, into, parquet_out)
        try:
            for chunk in source.chunks(index):
                judged = judged or source.judge(chunk.dates, reader.name)
                reading = read(reader, chunk, annotator, shown)
                try:
                    festivals = annotator.festivals(reading.dates)
                except Unanswered as exc:
                    raise Failure(f"cannot annotate {shown}: row {chunk.first_row + exc.position} "
                                  f"({as_written(chunk.dates.iloc[exc.position])}): "
                                  f"{type(exc.error).__name__}: {exc.error}") from None
                tally.rows += len(chunk.dates)
                tally.festivals += sum(1 for f in festivals if f is not None)
                tally.dates += int(reading.dates.notna().sum())
                tally.unreadable += reading.unreadable
                tally.outside += reading.outside
                writer.write(chunk, festivals)
        except BaseException:
            with contextlib.suppress(Exception):  # its file is thrown away
                writer.close()
            raise
        writer.close()
        if tally.unreadable and not tally.dates:
            raise Failure(f"no value of {reader.name} is a date")
    return tally


def read(reader: DateReader, chunk: Chunk, annotator: Annotator, shown: str) -> Any:
    """The chunk's dates as India time, the reader's refusals as failures."""
    try:
        return reader.read(chunk.dates, chunk.first_row)
    except NotDates as exc:
        raise Failure(str(exc)) from None
    except OutsideSpan as exc:
        raise Failure(f"cannot annotate {shown}: {exc.detail} (--skip-outside gives such rows "
                      f"no festival)") from None
    except MixedOrder as exc:
        raise Failure(f"{exc}: say which with --dayfirst or --monthfirst") from None


def checked_list(key: str | None) -> str | None:
    """--list's key, checked by orvik.observed."""
    from orvik import observed

    try:
        return observed.checked_list(key)
    except ValueError as exc:
        raise Failure(str(exc)) from None


def checked_zone(name: str | None) -> str:
    from orvik.dates import checked_zone as check

    try:
        return check(name)
    except ValueError:
        raise Failure(f"--tz {name}: unknown time zone (for example: {ZONE_EXAMPLES})") from None


def load(ephemeris: str | None) -> Any:
    """A Tavrolen object with the ephemeris loaded (the packaged one by default),
    whose context orvik.observed uses too."""
    from orvik import observed
    from orvik.ephemeris import EphemerisDamaged, EphemerisNotFound, loaded

    try:
        tavrolen = loaded(os.path.abspath(ephemeris) if ephemeris else None)
    except (EphemerisNotFound, EphemerisDamaged) as exc:
        raise Failure(str(exc)) from None
    observed.use_context(tavrolen)
    return tavrolen


# ---------------------------------------------------------------------------
# --calendar

ANNOTATING_ONLY = {"input": "a file to annotate", "tz": "--tz", "observed": "--observed",
                   "skip_outside": "--skip-outside", "column": "--column", "into": "--into"}


def print_calendar(args: argparse.Namespace) -> int:
    """The observed calendar of --calendar's span as CSV, to --output or standard
    output, whole or not at all."""
    from orvik import observed

    for option, shown in ANNOTATING_ONLY.items():
        if getattr(args, option) not in (None, False):
            raise Failure(f"--calendar prints the observed calendar: {shown} is for "
                          f"annotating a file")
    if formats.is_parquet(args.output):
        raise Failure("--calendar writes CSV")
    if len(args.calendar) > 2:
        raise Failure("--calendar takes a year, two years or two dates")
    output = None if args.output in (None, "-") else args.output
    destination = Destination(output, output or "standard output", None)
    holiday_list = checked_list(args.list)
    load(args.ephemeris)
    # Years (digits: 02025 is 2025) or two dates read as one column, so that
    # 31/10/2024 makes 04/11/2024 the 4th of November: festivals() decides.
    with warnings.catch_warnings(record=True) as said:
        warnings.simplefilter("always", DateOrderWarning)
        try:
            table = observed.festivals(args.calendar[0], args.calendar[-1], list=holiday_list,
                                       dayfirst=args.dayfirst)
        except MixedOrder as exc:
            raise Failure(f"{exc}: say which with --dayfirst or --monthfirst") from None
        except (ValueError, TypeError) as exc:
            raise Failure(f"--calendar {' '.join(args.calendar)}: {exc}") from None
    for warning in said:
        if issubclass(warning.category, DateOrderWarning):
            say(str(warning.message))
    text = table.to_csv(index=False, date_format="%Y-%m-%d", lineterminator="\n")
    with destination.open() as sink:
        sink.write(text.encode("utf-8"))
    for note in destination.notes:
        say(note)
    say(plural(len(table), "festival day", "festival days"))
    return 0


# ---------------------------------------------------------------------------

def say(line: str) -> None:
    print(f"orvik: {line}", file=sys.stderr)


def _terminate(signum: int, frame: Any) -> None:
    raise Terminated


def main(argv: list[str] | None = None) -> int:
    args = parser().parse_args(argv)
    # SIGTERM ends the run with its cleanup, unless it is ignored: a process
    # started with a signal ignored keeps it ignored (SIGINT as Python does).
    previous = signal.getsignal(signal.SIGTERM)
    if previous != signal.SIG_IGN:
        signal.signal(signal.SIGTERM, _terminate)
    try:
        return run(args)
    except Failure as exc:
        say(str(exc))
        return 1
    except BrokenPipeError:
        # The reader went away (orvik big.csv | head): end quietly, as Unix tools
        # do, and keep Python from complaining about the closed stream at exit.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 128 + signal.SIGPIPE
    except KeyboardInterrupt:
        say("interrupted")
        return 130
    except Terminated:
        say("terminated")
        return 128 + signal.SIGTERM
    except Exception as exc:  # anything unforeseen still gets one line
        say(f"{type(exc).__name__}: {exc}")
        return 1
    finally:
        if previous is not None:
            signal.signal(signal.SIGTERM, previous)
