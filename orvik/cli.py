"""The orvik command: annotate the dates of a CSV or Parquet file.

    orvik dates.csv --column date --output annotated.csv

The output is the input plus one column: every input column is copied as it
was read (CSV text as text, Parquet values with their types) and the column
"festival" (or the one --into names) holds what get_festival computes for the
date column, or with --observed the festivals kept on each value's civil day.
``orvik --calendar 2025`` prints the observed calendar of a year (or of two
years, or two dates) as CSV instead.  The file is read and written in chunks with the ephemeris loaded
once, so its size is not bounded by memory.  The result goes to --output (CSV,
or Parquet for a .parquet name) or to standard output as CSV, and appears whole
or not at all.  The ephemeris is the "de421.bsp" shipped by skyfield-data
unless --ephemeris names another: nothing is downloaded and the command works
from any directory.  Every failure is one line on standard error and a
non-zero exit.
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import signal
import stat
import sys
import tempfile
from collections.abc import Iterator
from dataclasses import dataclass
from typing import IO, Any

from orvik._zone import INDIA

PARQUET = (".parquet", ".pq")
# Rows per chunk: large enough that the batch evaluator sees dense minutes,
# small enough that a chunk of a wide file stays well within memory.
CHUNK_ROWS = 100_000

# A time of day followed by a UTC offset or zone letter, at the end of a value:
# "2024-01-25T18:30:00Z", "2024-01-25 18:30+00:00", "... 6:30 PM +0530".
_OFFSET = re.compile(r"\d:\d{2}(?::\d{2}(?:[.,]\d+)?)?(?:\s*[AaPp]\.?[Mm]\.?)?\s*"
                     r"(?:[Zz]|UTC|GMT|[+-]\d{2}(?::?\d{2})?)\s*$")
_OFFSET_LINE = re.compile(_OFFSET.pattern, re.MULTILINE)
_TIME_OF_DAY = re.compile(r"\d:\d{2}")
_INTEGER = re.compile(r"\s*[-+]?\d+\s*")


class Failure(Exception):
    """A failure reported as one line, without a traceback."""


class Terminated(BaseException):
    """SIGTERM, raised where the process is, so that partial output is removed."""


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="orvik", description="Annotate the dates of a CSV or Parquet file with the "
        "Hindu, Islamic and fixed-date festivals of India.")
    p.add_argument("input", nargs="?", help="a CSV file, a Parquet file (.parquet, .pq), or - "
                   "for CSV on standard input")
    p.add_argument("--column", default="date", help='the column of dates (default: "date")')
    p.add_argument("--into", default="festival", metavar="NAME",
                   help='the name of the added column (default: "festival")')
    p.add_argument("--output", help="where to write the result (default: CSV on standard "
                   "output); a .parquet name writes Parquet")
    p.add_argument("--tz", metavar="ZONE", help="convert values that carry a UTC offset, and "
                   "naive date-times taken in ZONE, to India time before annotating (for "
                   "example UTC); bare dates stay as they are")
    p.add_argument("--ephemeris", help="a de421.bsp file (default: the one skyfield-data ships)")
    p.add_argument("--observed", action="store_true", help="annotate with the festivals kept on "
                   "each value's civil day (the observed calendar, orvik.observed) instead of "
                   "get_festival's column")
    p.add_argument("--calendar", nargs="+", metavar="FROM", help="print the observed calendar "
                   "as CSV (date,name,source) instead of annotating a file: a year, two years, "
                   "or two dates, inclusive (for example: --calendar 2025, --calendar "
                   "2024-10-01 2024-11-30)")
    p.add_argument("--version", action="version", version=f"%(prog)s {version()}")
    return p


def version() -> str:
    import orvik

    return orvik.__version__


def is_parquet(path: str) -> bool:
    return path.lower().endswith(PARQUET)


def plural(n: int, one: str, many: str) -> str:
    return f"{n} {one if n == 1 else many}"


# ---------------------------------------------------------------------------
# Paths, checked before any work

@dataclass
class Plan:
    source: str | None          # None: standard input
    output: str | None          # None: standard output
    column: str
    into: str
    tz: Any                     # a pytz zone, or None
    ephemeris: str | None
    label: str                  # the input as the user named it


def plan(args: argparse.Namespace) -> Plan:
    source = None if args.input == "-" else os.path.abspath(args.input)
    output = None if args.output in (None, "-") else os.path.abspath(args.output)
    if source is not None:
        if not os.path.exists(source):
            raise Failure(f"{args.input}: not found")
        if os.path.isdir(source):
            raise Failure(f"{args.input}: is a directory")
    if output is not None:
        if os.path.isdir(output):
            raise Failure(f"--output {args.output}: is a directory")
        if not os.path.isdir(os.path.dirname(output)):
            raise Failure(f"no such directory for the output: {os.path.dirname(output)}")
        if os.path.exists(output) and same_file(source, output):
            raise Failure(f"--output {args.output} is the input file: choose another output")
    if source is not None and is_parquet(source) or output is not None and is_parquet(output):
        try:
            import pyarrow  # noqa: F401
        except ImportError:
            raise Failure('Parquet needs pyarrow, the "parquet" extra: pip install pyarrow') \
                from None
    tz = None
    if args.tz is not None:
        import pytz

        try:
            tz = pytz.timezone(args.tz)
        except pytz.UnknownTimeZoneError:
            raise Failure(f"--tz {args.tz}: unknown time zone (for example: UTC, "
                          f"Europe/London, {INDIA})") from None
    ephemeris = os.path.abspath(args.ephemeris) if args.ephemeris else None
    return Plan(source, output, args.column, args.into, tz, ephemeris, args.input)


def same_file(source: str | None, output: str) -> bool:
    """Whether `output` is the input: the same file by any path or link (the
    input may be standard input redirected from a file)."""
    try:
        out = os.stat(output)
        src = os.stat(source) if source is not None else os.fstat(sys.stdin.fileno())
    except OSError:
        return False
    return stat.S_ISREG(out.st_mode) and (src.st_dev, src.st_ino) == (out.st_dev, out.st_ino)


# ---------------------------------------------------------------------------
# Reading: chunks of the input, each with its date values

@dataclass
class Chunk:
    first_row: int                  # the 1-based number of its first data row
    dates: Any                      # pandas Series of the date column's values
    body: Any                       # what the writer copies: a DataFrame or a RecordBatch
    text: bool                      # CSV text (every value a str)


class CsvInput:
    """CSV read as text: every value exactly as it stands, the header a row of
    its own, so that nothing is re-typed, renamed or dropped."""

    def __init__(self, plan: Plan) -> None:
        import pandas as pd

        self.label = plan.label
        handle = plan.source if plan.source is not None else sys.stdin.buffer
        try:
            self.reader = pd.read_csv(handle, header=None, dtype=str, keep_default_na=False,
                                      na_filter=False, chunksize=CHUNK_ROWS)
            first = next(self.reader)
        except StopIteration:
            raise Failure(f"cannot read {self.label}: the file is empty") from None
        except (OSError, ValueError) as exc:
            raise Failure(f"cannot read {self.label}: {exc}") from None
        self.columns = [str(name) for name in first.iloc[0]]
        self.first = first

    def chunks(self, index: int) -> Iterator[Chunk]:
        row = 1
        body = self.first
        dates = body.iloc[1:, index]
        yield Chunk(row, dates, body, True)
        row += len(dates)
        while True:
            try:
                body = next(self.reader)
            except StopIteration:
                return
            except (OSError, ValueError) as exc:
                raise Failure(f"cannot read {self.label}: {exc}") from None
            yield Chunk(row, body.iloc[:, index], body, True)
            row += len(body)


class ParquetInput:
    def __init__(self, plan: Plan) -> None:
        import pyarrow.parquet as pq

        self.label = plan.label
        try:
            self.file = pq.ParquetFile(plan.source)
        except (OSError, ValueError) as exc:
            raise Failure(f"cannot read {self.label}: {exc}") from None
        self.schema = self.file.schema_arrow
        self.columns = list(self.schema.names)

    def check_type(self, name: str) -> None:
        import pyarrow as pa

        kind = self.schema.field(name).type
        if pa.types.is_dictionary(kind):
            kind = kind.value_type
        if (pa.types.is_integer(kind) or pa.types.is_floating(kind) or
                pa.types.is_decimal(kind) or pa.types.is_boolean(kind)):
            raise Failure(f"column {name!r} of {self.label} holds {kind} values: numbers "
                          f"are not dates")
        if not (pa.types.is_string(kind) or pa.types.is_large_string(kind) or
                pa.types.is_timestamp(kind) or pa.types.is_date(kind)):
            raise Failure(f"column {name!r} of {self.label} holds {kind} values, not dates")

    def chunks(self, index: int) -> Iterator[Chunk]:
        row = 1
        try:
            for batch in self.file.iter_batches(batch_size=CHUNK_ROWS):
                dates = batch.column(index).to_pandas()
                yield Chunk(row, dates, batch, False)
                row += batch.num_rows
        except (OSError, ValueError) as exc:
            raise Failure(f"cannot read {self.label}: {exc}") from None


# ---------------------------------------------------------------------------
# Writing: the input's columns unchanged, plus the festival column

class CsvOutput:
    def __init__(self, handle: IO[str], columns: list[str], into: str) -> None:
        self.handle, self.columns, self.into = handle, columns, into
        self.header_done = False

    def write(self, chunk: Chunk, festivals: Any) -> None:
        if chunk.text:
            body = chunk.body.copy()
            # The CSV header is the chunk's first row; its cell is the new name.
            values = list(festivals)
            if not self.header_done:
                values = [self.into, *values]
            body[body.shape[1]] = values
            body.to_csv(self.handle, header=False, index=False)
        else:
            body = chunk.body.to_pandas()
            body[self.into] = list(festivals)
            body.to_csv(self.handle, header=not self.header_done, index=False)
        self.header_done = True

    def close(self) -> None:
        if not self.header_done:  # no chunk at all: the header still goes out
            import csv

            csv.writer(self.handle, lineterminator="\n").writerow([*self.columns, self.into])


class ParquetOutput:
    def __init__(self, path: str, schema: Any, columns: list[str], into: str) -> None:
        import pyarrow as pa
        import pyarrow.parquet as pq

        self.pa = pa
        if schema is None:  # CSV text: every column a string
            schema = pa.schema([pa.field(name, pa.string()) for name in columns])
        self.schema = schema.append(pa.field(into, pa.string()))
        self.writer = pq.ParquetWriter(path, self.schema)

    def write(self, chunk: Chunk, festivals: Any) -> None:
        pa = self.pa
        if chunk.text:
            body = chunk.body.iloc[1:] if chunk.first_row == 1 else chunk.body
            arrays = [pa.array(list(body.iloc[:, k]), pa.string()) for k in range(body.shape[1])]
        else:
            arrays = list(chunk.body.columns)
        arrays.append(pa.array(list(festivals), pa.string()))
        self.writer.write_batch(pa.RecordBatch.from_arrays(arrays, schema=self.schema))

    def close(self) -> None:
        self.writer.close()


class Destination:
    """A temporary file beside the output, renamed over it when everything has
    been written and removed otherwise; for standard output, an unnamed file
    copied out at the end.  Either way the result appears whole or not at all."""

    def __init__(self, output: str | None) -> None:
        self.output = output
        self.partial: str | None = None
        if output is None:
            self.handle: IO[bytes] = tempfile.TemporaryFile()
            return
        fd, self.partial = tempfile.mkstemp(prefix=".orvik-", dir=os.path.dirname(output))
        try:
            os.fchmod(fd, file_mode(output))
        finally:
            os.close(fd)

    def text(self) -> IO[str]:
        if self.output is None:
            import io

            return io.TextIOWrapper(self.handle, encoding="utf-8", newline="", write_through=True)
        return open(self.partial, "w", encoding="utf-8", newline="")  # type: ignore[arg-type]

    def commit(self) -> None:
        if self.output is None:
            self.handle.seek(0)
            shutil.copyfileobj(self.handle, sys.stdout.buffer)
            sys.stdout.buffer.flush()
            self.handle.close()
        else:
            os.replace(self.partial, self.output)  # type: ignore[arg-type]
            self.partial = None

    def discard(self) -> None:
        if self.output is None:
            self.handle.close()
        elif self.partial is not None:
            try:
                os.unlink(self.partial)
            except FileNotFoundError:
                pass
            self.partial = None


def file_mode(output: str) -> int:
    """The mode of the file being replaced, or of a new file under the umask."""
    try:
        return stat.S_IMODE(os.stat(output).st_mode)
    except FileNotFoundError:
        mask = os.umask(0)
        os.umask(mask)
        return 0o666 & ~mask


# ---------------------------------------------------------------------------
# Annotating

@dataclass
class Tally:
    rows: int = 0
    festivals: int = 0
    unreadable: int = 0
    dates: int = 0
    typed: bool = False  # whether the CSV column's type has been judged

    def judge(self, text: Any, p: Plan) -> None:
        """Refuses a CSV column of numbers or booleans, judged as pandas would
        type it, on the first chunk that holds values."""
        import pandas as pd

        present = text[text.str.strip() != ""]
        if present.empty:
            return
        self.typed = True
        if present.str.strip().str.lower().isin(["true", "false"]).all():
            raise Failure(f"column {p.column!r} of {p.label} holds boolean values, not dates")
        if pd.to_numeric(present, errors="coerce").notna().all():
            kind = "integer" if present.str.fullmatch(_INTEGER).all() else "float"
            raise Failure(f"column {p.column!r} of {p.label} holds {kind} values: numbers "
                          f"are not dates")


def india_time(dates: Any, zone: Any, row: int, label: str) -> Any:
    """The values get_festival is given: India wall-clock time.

    Without a zone, values are handed over as they are, and a value that carries
    a UTC offset is refused (its wall-clock fields would be taken for India's).
    With one, values with an offset are converted to India time, and naive
    date-times are taken in `zone` and converted; bare dates are calendar days,
    not instants, and stay as they are."""
    import pandas as pd

    if isinstance(dates.dtype, pd.DatetimeTZDtype):
        if zone is None:
            raise Failure(f"{label} holds date-times with a UTC offset ({dates.dtype.tz}): "
                          f"pass --tz ZONE to convert them to India time")
        return dates.dt.tz_convert(INDIA).dt.tz_localize(None)
    if pd.api.types.is_datetime64_dtype(dates.dtype):
        if zone is None:
            return dates
        return (dates.dt.tz_localize(zone, ambiguous="NaT", nonexistent="NaT")
                .dt.tz_convert(INDIA).dt.tz_localize(None))
    if pd.api.types.infer_dtype(dates, skipna=True) not in ("string", "empty"):
        # Date or datetime objects: as get_festival reads them.
        return india_time(pd.to_datetime(dates, format="mixed", errors="coerce"), zone, row, label)
    values = dates.to_numpy(dtype=object, na_value="")
    if zone is None and _OFFSET_LINE.search("\n".join(values)) is None:
        return dates  # the usual case, found by one search over the whole chunk
    text = dates.astype(object).where(dates.notna(), None)
    strings = pd.Series(values, index=dates.index, dtype=object)
    offset = strings.str.contains(_OFFSET)
    if zone is None:
        if offset.any():
            where = int(offset.to_numpy().argmax())
            raise Failure(f"row {row + where} of {label}: {strings.iloc[where]!r} carries a "
                          f"UTC offset: pass --tz ZONE to convert such values to India time")
        return dates
    timed = strings.str.contains(_TIME_OF_DAY) & ~offset
    out = pd.to_datetime(text.where(~offset & ~timed), format="mixed", dayfirst=False,
                         errors="coerce")
    out = out.astype("datetime64[ns]")
    if offset.any():
        aware = pd.to_datetime(strings[offset], format="mixed", utc=True, errors="coerce")
        out[offset] = aware.dt.tz_convert(INDIA).dt.tz_localize(None).astype("datetime64[ns]")
    if timed.any():
        naive = pd.to_datetime(strings[timed], format="mixed", dayfirst=False, errors="coerce")
        out[timed] = (naive.dt.tz_localize(zone, ambiguous="NaT", nonexistent="NaT")
                      .dt.tz_convert(INDIA).dt.tz_localize(None).astype("datetime64[ns]"))
    return out


def unreadable(dates: Any, parsed: Any) -> int:
    """How many values are there (not missing, not blank text) but read as no
    date: only the missing results need looking at."""
    import numpy as np
    import pandas as pd

    missing = dates[np.array(parsed.isna())]
    missing = missing[missing.notna()]
    if pd.api.types.infer_dtype(missing, skipna=True) in ("string", "empty"):
        missing = missing[missing.astype(str).str.strip() != ""]
    return len(missing)


def annotate(tavrolen: Any, dates: Any, row: int, label: str) -> tuple[Any, Any]:
    """(festival strings, converted dates) of one chunk, through get_festival."""
    import pandas as pd

    frame = pd.DataFrame({"d": dates.reset_index(drop=True)})
    try:
        tavrolen.get_festival(frame, "d")
    except Exception:
        bad = first_failing(tavrolen, dates.reset_index(drop=True))
        if bad is None:
            raise
        where, exc = bad
        raise Failure(f"cannot annotate {label}: row {row + where} ({dates.iloc[where]!r}): "
                      f"{type(exc).__name__}: {exc}") from None
    return frame["festival"], frame["d"]


def first_failing(tavrolen: Any, dates: Any) -> tuple[int, Exception] | None:
    """The first position whose value fails alone, and its exception: a prefix
    fails exactly when a value in it fails, so a bisection finds it."""
    import pandas as pd

    def fails(values: Any) -> Exception | None:
        try:
            tavrolen.get_festival(pd.DataFrame({"d": values}), "d")
        except Exception as exc:
            return exc
        return None

    lo, hi = 0, len(dates)  # dates[:lo] passes, dates[:hi] fails
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if fails(dates.iloc[:mid].copy()) is None:
            lo = mid
        else:
            hi = mid
    exc = fails(dates.iloc[hi - 1:hi].copy())
    return None if exc is None else (hi - 1, exc)


def calendar_span(values: list[str]) -> tuple[Any, Any]:
    """--calendar's one or two values, as years or as dates."""
    if len(values) > 2:
        raise Failure("--calendar takes a year, two years or two dates")
    years = [v.strip().isdigit() and len(v.strip()) <= 4 for v in values]
    if len(set(years)) > 1:
        raise Failure("--calendar takes two years or two dates, not one of each")
    if years[0]:
        return int(values[0]), int(values[-1])
    return values[0], values[-1]


def print_calendar(args: argparse.Namespace) -> int:
    """The observed calendar of --calendar's span as CSV, to --output or standard
    output, whole or not at all."""
    from orvik import observed

    if args.input is not None:
        raise Failure("--calendar prints the calendar: it takes no input file")
    if args.output not in (None, "-") and is_parquet(args.output):
        raise Failure("--calendar writes CSV")
    use_ephemeris(args.ephemeris, observed)
    start, end = calendar_span(args.calendar)
    try:
        table = observed.festivals(start, end)
    except (ValueError, TypeError) as exc:
        raise Failure(f"--calendar {' '.join(args.calendar)}: {exc}") from None
    destination = Destination(None if args.output in (None, "-") else os.path.abspath(args.output))
    try:
        handle = destination.text()
        table.to_csv(handle, index=False, date_format="%Y-%m-%d", lineterminator="\n")
        handle.flush()
        if args.output not in (None, "-"):
            handle.close()
        destination.commit()
    except BaseException:
        destination.discard()
        raise
    print(f"orvik: {plural(len(table), 'festival day', 'festival days')}", file=sys.stderr)
    return 0


def use_ephemeris(path: str | None, observed: Any) -> None:
    """Makes the observed calendar read `path` (None: the packaged file)."""
    if path is None:
        return
    from orvik.ephemeris import EphemerisNotFound, loaded

    try:
        observed.use_context(loaded(os.path.abspath(path)))
    except EphemerisNotFound as exc:
        raise Failure(str(exc)) from None


def annotate_observed(dates: Any, row: int, label: str) -> tuple[Any, Any]:
    """(festival strings, converted dates) of one chunk, by the observed calendar."""
    import pandas as pd

    from orvik import observed

    frame = pd.DataFrame({"d": dates.reset_index(drop=True)})
    parsed = observed.parse_dates(frame["d"])
    first, last = (pd.Timestamp(d) for d in observed.covered_span())
    outside = ((parsed < first) | (parsed >= last + pd.Timedelta(days=1))).to_numpy()
    if outside.any():
        where = int(outside.argmax())
        raise Failure(f"cannot annotate {label}: row {row + where} ({dates.iloc[where]!r}) is "
                      f"outside the observed calendar's span, {first.date()} to {last.date()}")
    observed.annotate(frame, "d")
    return frame["festival"], parsed


def run(args: argparse.Namespace) -> int:
    if args.calendar is not None:
        return print_calendar(args)
    if args.input is None:
        raise Failure("give a file to annotate (or - for standard input), or --calendar")
    p = plan(args)
    source = ParquetInput(p) if p.source is not None and is_parquet(p.source) else CsvInput(p)
    columns = source.columns
    if columns.count(p.column) == 0:
        raise Failure(f"no column {p.column!r} in {p.label} (columns: {', '.join(columns)})")
    if columns.count(p.column) > 1:
        raise Failure(f"{p.label} has {columns.count(p.column)} columns named {p.column!r}")
    if p.into in columns:
        raise Failure(f"{p.label} already has a column {p.into!r}: name another with --into")
    if isinstance(source, ParquetInput):
        source.check_type(p.column)
    elif p.output is not None and is_parquet(p.output) and len(set(columns)) < len(columns):
        raise Failure(f"{p.label} has columns of the same name, which Parquet cannot hold")

    from orvik.ephemeris import EphemerisNotFound, loaded

    try:
        tavrolen = loaded(p.ephemeris)
    except EphemerisNotFound as exc:
        raise Failure(str(exc)) from None
    if args.observed:
        from orvik import observed

        observed.use_context(tavrolen)
    index = columns.index(p.column)
    tally = Tally()
    destination = Destination(p.output)
    try:
        if p.output is not None and is_parquet(p.output):
            writer: CsvOutput | ParquetOutput = ParquetOutput(
                destination.partial, getattr(source, "schema", None), columns, p.into)
            text_handle = None
        else:
            text_handle = destination.text()
            writer = CsvOutput(text_handle, columns, p.into)
        for chunk in source.chunks(index):
            if chunk.text and not tally.typed:
                tally.judge(chunk.dates, p)
            dates = india_time(chunk.dates, p.tz, chunk.first_row,
                               f"column {p.column!r} of {p.label}")
            if args.observed:
                festivals, parsed = annotate_observed(dates, chunk.first_row, p.label)
            else:
                festivals, parsed = annotate(tavrolen, dates, chunk.first_row, p.label)
            tally.rows += len(chunk.dates)
            tally.festivals += int(festivals.notna().sum())
            tally.dates += int(parsed.notna().sum())
            tally.unreadable += unreadable(chunk.dates, parsed)
            writer.write(chunk, festivals.astype(object).where(festivals.notna(), None))
        writer.close()
        if text_handle is not None:
            text_handle.flush()
        if tally.unreadable and not tally.dates:
            raise Failure(f"no value of column {p.column!r} in {p.label} is a date")
        if text_handle is not None and p.output is not None:
            text_handle.close()
        destination.commit()
    except BaseException:
        destination.discard()
        raise
    print(f"orvik: {tally.festivals} of {plural(tally.rows, 'row', 'rows')} "
          f"{'has' if tally.festivals == 1 else 'have'} a festival; "
          f"{plural(tally.unreadable, 'value', 'values')} could not be read as "
          f"{'a date' if tally.unreadable == 1 else 'dates'}", file=sys.stderr)
    return 0


def _terminate(signum: int, frame: Any) -> None:
    raise Terminated


def main(argv: list[str] | None = None) -> int:
    args = parser().parse_args(argv)
    previous = signal.signal(signal.SIGTERM, _terminate)
    try:
        return run(args)
    except Failure as exc:
        print(f"orvik: {exc}", file=sys.stderr)
        return 1
    except BrokenPipeError:
        # The reader went away (orvik big.csv | head): end quietly, as Unix tools
        # do, and keep Python from complaining about the closed stream at exit.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 128 + signal.SIGPIPE
    except KeyboardInterrupt:
        print("orvik: interrupted", file=sys.stderr)
        return 130
    except Terminated:
        print("orvik: terminated", file=sys.stderr)
        return 128 + signal.SIGTERM
    except Exception as exc:  # anything unforeseen still gets one line
        print(f"orvik: {type(exc).__name__}: {exc}", file=sys.stderr)
        return 1
    finally:
        signal.signal(signal.SIGTERM, previous)
