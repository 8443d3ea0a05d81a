"""orvik/cli/formats.py: the input read in chunks, and the output written as the
input plus one column, for CSV and Parquet.

- CSV is text: each record is kept exactly as it was read (its quoting, its line
  ending, CRLF or LF, and the blank lines between records) and the output adds
  one field to each record, so the output has the input's lines plus the
  column.  Only the date column's values are taken out for reading.
- Parquet keeps its Arrow values: Parquet out writes them as they are; CSV out
  writes them with Arrow's own CSV writer (never through pandas, so an int64
  with nulls or a uint64 stays an integer, binary stays its text), which
  cannot write nested values (structs, lists, maps): such a column is refused.
"""

from __future__ import annotations

import csv
import io
import itertools
import os
import re
import shutil
import sys
import tempfile
from collections.abc import Iterator
from dataclasses import dataclass
from typing import IO, Any

import numpy as np
import pandas as pd

from orvik.cli.failure import Failure

PARQUET = (".parquet", ".pq")
# Rows per chunk: each chunk is one get_festival call, which finds the events
# of its minutes' span (new moons, tithi changes, sunsets) once, so chunks are
# large.  On bench/bench_cli.py's million random minutes of five years, as
# date-times, get_festival took 1.3 s in one call, 1.4-1.55 s in 250,000-row
# chunks and 2.4-2.55 s in 100,000-row chunks.  CHUNK_BYTES keeps a chunk of a
# wide file within memory.
CHUNK_ROWS = 250_000
READ_BYTES = 1 << 22  # bytes read from a CSV file at a time
CHUNK_BYTES = 1 << 26  # characters at most in a chunk of CSV, for a wide file
_INTEGER = re.compile(r"\s*[-+]?\d+\s*")
# The longest date field gathered from a chunk's bytes at once (a longer one
# is split out of its line instead): the gathering copies this many bytes a row.
_GATHERED = 64


def is_parquet(path: str | None) -> bool:
    return path is not None and path.lower().endswith(PARQUET)


@dataclass
class Chunk:
    first_row: int              # the 1-based number of its first data row
    dates: pd.Series            # the date column's values, one per data row
    lines: list[str] | None = None   # CSV: each record as read without its line ending
                                     # ("" for a blank line, which is no data row)
    endings: Any = None         # CSV: the records' line ending, one for all (str) or
                                # one each (list; "" where the file ends without one)
    open_end: bool = False      # CSV, one ending for all: the last record has none
    blank: Any = None           # CSV: which records are blank lines (a bool array)
    rows: list[list[str]] | None = None  # CSV: each data row's fields, when known
    batch: Any = None           # Parquet: the RecordBatch

    def data_rows(self) -> list[list[str]]:
        """The fields of each data row (CSV)."""
        if self.rows is None:  # records without quotes: the fields are between commas
            self.rows = [line.split(",") for line in self.lines if line]  # type: ignore[union-attr]
        return self.rows


def open_input(path: str | None, shown: str) -> CsvInput | ParquetInput:
    """The input named `path` (None: CSV on standard input)."""
    if path is not None:
        if not os.path.exists(path):
            raise Failure(f"{shown}: not found")
        if os.path.isdir(path):
            raise Failure(f"{shown}: is a directory")
    if is_parquet(path):
        need_pyarrow()
        return ParquetInput(path, shown)  # type: ignore[arg-type]
    return CsvInput(path, shown)


def need_pyarrow() -> None:
    try:
        import pyarrow  # noqa: F401
    except ImportError:
        raise Failure('Parquet needs pyarrow, the "parquet" extra: pip install pyarrow') from None


# ---------------------------------------------------------------------------
# CSV

class _Spool:
    """Standard input, kept in an unnamed file as it is read, so that it can be
    read again from the start."""

    def __init__(self, stream: IO[bytes]) -> None:
        self.stream, self.copy = stream, tempfile.TemporaryFile()
        self.replaying = False

    def read(self, n: int) -> bytes:
        if self.replaying:
            return self.copy.read(n)
        data = self.stream.read(n)
        self.copy.write(data)
        return data

    def rewind(self) -> None:
        if not self.replaying:
            shutil.copyfileobj(self.stream, self.copy)
            self.replaying = True
        self.copy.seek(0)


class CsvInput:
    """CSV text, record by record, with the header's names in `columns`.

    A chunk of records that holds no quote and one kind of line ending (the
    usual file) is split at its line endings and commas; any other goes
    through the csv module, which reads a line only when the record needs it,
    so the lines it takes for a row are that row's record."""

    def __init__(self, path: str | None, shown: str) -> None:
        self.path, self.shown = path, shown
        if path is None:
            if sys.stdin is None:
                raise Failure("standard input is closed")
            self.stream: Any = _Spool(sys.stdin.buffer)
            self.stat = _fstat(sys.stdin)
        else:
            self.stream = self._open(path)
            self.stat = _fstat(self.stream)
        self._start()

    def _open(self, path: str) -> IO[bytes]:
        try:
            return open(path, "rb")
        except OSError as exc:
            raise Failure(f"cannot read {self.shown}: {exc.strerror or exc}") from None

    def _start(self) -> None:
        """Reads the header: the first record that is not a blank line."""
        self._pieces = self._read()
        self._pending, self._at = "", 0  # text read and not yet taken, from _at
        self.prefix: list[str] = []      # the lines up to the header record, as read
        while True:
            text = self._take(1)
            if not text:
                raise Failure(f"cannot read {self.shown}: the file is empty")
            records, rows = self._split(_raw_lines(text))
            self.prefix += records
            if rows[0]:
                break
        self.columns = rows[0]
        if self.columns[0].startswith("\ufeff"):  # a byte-order mark
            self.columns = [self.columns[0][1:], *self.columns[1:]]

    def rewind(self) -> None:
        """Back to the start, to read the records again."""
        if self.path is None:
            self.stream.rewind()
        else:
            self.stream.close()
            self.stream = self._open(self.path)
        self._start()

    def judge(self, values: pd.Series, name: str) -> bool:
        """Refuses a column of numbers or booleans, judged as pandas would type
        the text; whether there were values to judge.  The first value that is
        neither ends the judgement (usually the first value)."""
        first = next((v for v in (v.strip() for v in values) if v), None)
        if first is None:
            return False
        if not (_is_number(first) or first.lower() in ("true", "false")):
            return True
        present = [v for v in (v.strip() for v in values) if v]
        if all(v.lower() in ("true", "false") for v in present):
            raise Failure(f"{name} holds boolean values, not dates")
        if all(_is_number(v) for v in present):
            kind = "integer" if all(_INTEGER.fullmatch(v) for v in present) else "float"
            raise Failure(f"{name} holds {kind} values: numbers are not dates")
        return True

    def chunks(self, index: int) -> Iterator[Chunk]:
        row = 1
        width = len(self.columns)
        while True:
            text = self._take(CHUNK_ROWS)
            if not text:
                return
            ending = _one_ending(text)
            if ending is not None and '"' not in text:
                chunk = self._plain(text, ending, index, width, row)
            else:
                records, rows = self._split(_raw_lines(text))
                chunk = self._quoted(records, rows, index, width, row)
            yield chunk
            row += len(chunk.dates)

    def _plain(self, text: str, ending: str, index: int, width: int, row: int) -> Chunk:
        """Records without quotes, each ending in `ending` (the last may not):
        their fields are between commas, found at once in the text's bytes."""
        lines = text.split(ending)
        open_end = lines[-1] != ""
        if not open_end:
            lines.pop()
        data = np.frombuffer(text.encode("utf-8"), dtype=np.uint8)
        breaks = np.flatnonzero(data == ord("\n"))
        starts = np.concatenate(([0], breaks + 1))[:len(lines)]
        ends = np.concatenate((breaks - (len(ending) - 1), [len(data)]))[:len(lines)]
        blank = starts == ends
        commas = np.flatnonzero(data == ord(","))
        owner = np.searchsorted(breaks, commas)  # the line of each comma
        counts = np.bincount(owner, minlength=len(lines))[:len(lines)]
        wrong = np.flatnonzero((counts != width - 1) & ~blank)
        if wrong.size:
            k = int(wrong[0])
            self._wrong_width(row, lines[:k], int(counts[k]) + 1, width)
        at = np.flatnonzero(~blank)
        first = np.searchsorted(owner, at)  # each data row's first comma, in `commas`
        begin = starts[at] if index == 0 else commas[first + index - 1] + 1
        end = ends[at] if index == width - 1 else commas[first + index]
        dates = _fields(data, begin, end) if text.isascii() and "\0" not in text else None
        if dates is None:
            dates = [line.split(",", index + 1)[index] for line in lines if line]
        return Chunk(row, pd.Series(dates, dtype=object), lines, ending, open_end, blank=blank)

    def _quoted(self, records: list[str], rows: list[list[str]], index: int, width: int,
                row: int) -> Chunk:
        """Records read by the csv module, each with its own line ending."""
        for k, fields in enumerate(rows):
            if fields and len(fields) != width:
                self._wrong_width(row, rows[:k], len(fields), width)
        lines, endings = [], []
        for record in records:
            cut = len(record) - (2 if record.endswith("\r\n") else
                                 1 if record.endswith("\n") else 0)
            lines.append(record[:cut])
            endings.append(record[cut:])
        data = [fields for fields in rows if fields]
        return Chunk(row, pd.Series([f[index] for f in data], dtype=object), lines, endings,
                     rows=data, blank=np.array([not fields for fields in rows], dtype=bool))

    def _wrong_width(self, row: int, before: list, fields: int, width: int) -> None:
        number = row + sum(1 for line in before if line)
        raise Failure(f"cannot read {self.shown}: row {number} has {fields} fields where the "
                      f"header has {width}")

    def _split(self, lines: list[str]) -> tuple[list[str], list[list[str]]]:
        """The records of `lines` (and of as many lines after them as the last
        record needs) and their fields ([] for a blank line)."""
        taken: list[str] = []
        left = [len(lines)]

        def feed() -> Iterator[str]:
            for line in itertools.chain(lines, self._more()):
                left[0] -= 1
                taken.append(line)
                yield line

        reader = csv.reader(feed())
        records, rows = [], []
        try:
            while left[0] > 0:
                rows.append(next(reader))
                records.append("".join(taken))
                taken.clear()
        except csv.Error as exc:
            raise Failure(f"cannot read {self.shown}: {exc}") from None
        return records, rows

    def _take(self, count: int) -> str:
        """The text of up to `count` lines, fewer when they pass CHUNK_BYTES
        characters."""
        text, self._pending = self._pending[self._at:], ""
        self._at = 0
        lines = text.count("\n")
        while lines < count and len(text) < CHUNK_BYTES:
            piece = next(self._pieces, None)
            if piece is None:
                break
            text += piece
            lines += piece.count("\n")
        if lines <= count:
            return text
        cut = _end_of_line(text, count)
        self._pending = text[cut:]
        return text[:cut]

    def _more(self) -> Iterator[str]:
        """The lines after those taken, one at a time (a record that goes on)."""
        while True:
            if self._at >= len(self._pending):
                self._pending, self._at = next(self._pieces, ""), 0
                if not self._pending:
                    return
            end = self._pending.find("\n", self._at) + 1 or len(self._pending)
            line, self._at = self._pending[self._at:end], end
            yield line

    def _read(self) -> Iterator[str]:
        """The file's text, READ_BYTES at a time, cut after a line's "\\n"
        (the last piece may end without one)."""
        rest, line = b"", 1
        while True:
            try:
                data = self.stream.read(READ_BYTES)
            except OSError as exc:
                raise Failure(f"cannot read {self.shown}: {exc.strerror or exc}") from None
            if not data:
                break
            data = rest + data
            cut = data.rfind(b"\n") + 1
            rest, data = data[cut:], data[:cut]
            if data:
                text = self._decode(data, line)
                line += text.count("\n")
                yield text
        if rest:
            yield self._decode(rest, line)

    def _decode(self, data: bytes, line: int) -> str:
        try:
            return data.decode("utf-8")
        except UnicodeDecodeError as exc:
            line += data.count(b"\n", 0, exc.start)
            raise Failure(f"cannot read {self.shown}: line {line} is not UTF-8 text") from None


def _is_number(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return False
    return True


def _fstat(stream: Any) -> os.stat_result | None:
    try:
        return os.fstat(stream.fileno())
    except (OSError, ValueError, AttributeError):
        return None


def _raw_lines(text: str) -> list[str]:
    """The lines of `text`, each with its "\\n" (the last may have none)."""
    parts = text.split("\n")
    lines = [part + "\n" for part in parts[:-1]]
    if parts[-1]:
        lines.append(parts[-1])
    return lines


def _end_of_line(text: str, count: int) -> int:
    """Where the `count`th line of `text` ends."""
    if text.isascii():
        data = np.frombuffer(text.encode("ascii"), dtype=np.uint8)
        return int(np.flatnonzero(data == ord("\n"))[count - 1]) + 1
    at = -1
    for _ in range(count):
        at = text.index("\n", at + 1)
    return at + 1


def _one_ending(text: str) -> str | None:
    """"\\n" or "\\r\\n" when every line of `text` ends so (the last may not
    end at all), else None."""
    returns = text.count("\r")
    if returns == 0:
        return "\n"
    if text.count("\r\n") == returns == text.count("\n"):
        return "\r\n"
    return None


def _fields(data: np.ndarray, begin: np.ndarray, end: np.ndarray) -> np.ndarray | None:
    """The ASCII text of data[begin:end] for each pair, as str objects, or None
    for fields too long to gather into one array cheaply."""
    lengths = end - begin
    width = int(lengths.max()) if len(lengths) else 0
    if width > _GATHERED:
        return None
    width = max(width, 1)
    table = np.empty((len(begin), width), dtype=np.uint8)
    last = len(data) - 1
    for k in range(width):  # NUL past a field's end, which the str conversion drops
        table[:, k] = np.where(lengths > k, data[np.minimum(begin + k, last)], 0)
    return table.view(f"S{width}").ravel().astype(f"U{width}").astype(object)


def csv_field(value: str) -> str:
    """`value` as one CSV field, quoted where it needs it."""
    out = io.StringIO()
    csv.writer(out, lineterminator="").writerow([value])
    return out.getvalue()


class CsvToCsv:
    """CSV out of CSV: each record as read, with one more field before its
    line ending; blank lines as they were."""

    def __init__(self, sink: Any, source: CsvInput, into: str) -> None:
        self.sink = sink
        *before, header = source.prefix
        cut = len(header) - (2 if header.endswith("\r\n") else 1 if header.endswith("\n") else 0)
        head = [*before, f"{header[:cut]},{csv_field(into)}{header[cut:]}"]
        sink.write("".join(head).encode("utf-8"))

    def write(self, chunk: Chunk, festivals: np.ndarray) -> None:
        names = festivals.tolist()
        if isinstance(chunk.endings, str):  # one ending: one tail for each festival
            ending = chunk.endings
            field = {name: f",{name or ''}{ending}" for name in set(names)}
            tails = [field[name] for name in names]
        else:
            ends = np.array(chunk.endings, dtype=object)[~chunk.blank]
            tails = [f",{name or ''}{end}" for name, end in zip(names, ends)]
        if chunk.blank.any():  # a blank line keeps its ending alone
            every = np.array(chunk.endings, dtype=object) if not isinstance(chunk.endings, str) \
                else np.full(len(chunk.blank), chunk.endings, dtype=object)
            every[~chunk.blank] = tails
            tails = every.tolist()
        if chunk.open_end:
            tails[-1] = tails[-1][:-len(chunk.endings)]
        out = "".join(itertools.chain.from_iterable(zip(chunk.lines, tails)))  # type: ignore
        self.sink.write(out.encode("utf-8"))

    def close(self) -> None:
        pass


# ---------------------------------------------------------------------------
# Parquet

class ParquetInput:
    def __init__(self, path: str, shown: str) -> None:
        import pyarrow.parquet as pq

        self.shown = shown
        try:
            self.file = pq.ParquetFile(path)
            self.stat: os.stat_result | None = os.stat(path)
        except (OSError, ValueError) as exc:
            raise Failure(f"cannot read {shown}: {exc}") from None
        self.schema = self.file.schema_arrow
        self.columns = list(self.schema.names)

    def rewind(self) -> None:
        pass  # every chunks() call reads from the start

    def judge(self, values: pd.Series, name: str) -> bool:
        return True  # the reader judges typed values

    def chunks(self, index: int) -> Iterator[Chunk]:
        row = 1
        try:
            for batch in self.file.iter_batches(batch_size=CHUNK_ROWS):
                yield Chunk(row, batch.column(index).to_pandas(), batch=batch)
                row += batch.num_rows
        except (OSError, ValueError) as exc:
            raise Failure(f"cannot read {self.shown}: {exc}") from None


def string_schema(columns: list[str]) -> Any:
    import pyarrow as pa

    return pa.schema([pa.field(name, pa.string()) for name in columns])


class ToParquet:
    """Parquet out: Parquet values as they are, CSV fields as strings."""

    def __init__(self, sink: Any, source: CsvInput | ParquetInput, into: str) -> None:
        import pyarrow as pa
        import pyarrow.parquet as pq

        self.pa = pa
        schema = source.schema if isinstance(source, ParquetInput) else string_schema(
            source.columns)
        self.schema = schema.append(pa.field(into, pa.string()))
        self.writer = pq.ParquetWriter(pa.PythonFile(sink, mode="w"), self.schema)

    def write(self, chunk: Chunk, festivals: np.ndarray) -> None:
        pa = self.pa
        if chunk.batch is not None:
            arrays = list(chunk.batch.columns)
        else:
            data = chunk.data_rows()
            width = len(self.schema) - 1
            arrays = [pa.array([f[k] for f in data], pa.string()) for k in range(width)]
        arrays.append(pa.array(list(festivals), pa.string()))
        self.writer.write_batch(pa.RecordBatch.from_arrays(arrays, schema=self.schema))

    def close(self) -> None:
        self.writer.close()


class ParquetToCsv:
    """CSV out of Parquet, as Arrow's CSV writer renders each value."""

    def __init__(self, sink: Any, source: ParquetInput, into: str) -> None:
        import pyarrow as pa
        import pyarrow.csv as pcsv

        self.pa, self.sink, self.source = pa, sink, source
        self.check(source)
        self.schema = source.schema.remove_metadata().append(pa.field(into, pa.string()))
        self.writer = pcsv.CSVWriter(pa.PythonFile(sink, mode="w"), self.schema)

    @staticmethod
    def check(source: ParquetInput) -> None:
        """Refuses, before any work, a column Arrow's CSV writer cannot write."""
        import pyarrow as pa

        for field in source.schema:
            kind = field.type.value_type if pa.types.is_dictionary(field.type) else field.type
            if pa.types.is_nested(kind):
                raise Failure(f"column {field.name!r} of {source.shown} holds {field.type} "
                              f"values, which CSV cannot hold: write Parquet (--output "
                              f"NAME.parquet)")

    def write(self, chunk: Chunk, festivals: np.ndarray) -> None:
        pa = self.pa
        arrays = [*chunk.batch.columns, pa.array(list(festivals), pa.string())]
        batch = pa.RecordBatch.from_arrays(arrays, schema=self.schema)
        try:
            self.writer.write_batch(batch)
        except pa.ArrowInvalid as exc:  # binary that is not UTF-8 text
            raise Failure(f"cannot write {self.sink.shown}: column {self._culprit(batch)!r} of "
                          f"{self.source.shown}: {exc}") from None

    def _culprit(self, batch: Any) -> str:
        import pyarrow.csv as pcsv

        for k, name in enumerate(batch.schema.names):
            try:
                pcsv.write_csv(batch.select([k]), io.BytesIO())
            except self.pa.ArrowInvalid:
                return name
        return "?"

    def close(self) -> None:
        self.writer.close()


def writer_for(sink: Any, source: CsvInput | ParquetInput, into: str,
               parquet: bool) -> CsvToCsv | ToParquet | ParquetToCsv:
    """The writer of the output's format (Parquet for a .parquet name)."""
    if parquet:
        return ToParquet(sink, source, into)
    if isinstance(source, ParquetInput):
        return ParquetToCsv(sink, source, into)
    return CsvToCsv(sink, source, into)
