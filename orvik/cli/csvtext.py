"""orvik/cli/csvtext.py: CSV read record by record and written back as read,
with one more field in each record (see formats.py).

A chunk of records that holds no quote and one kind of line ending (the usual
file) is split at its line endings, and its fields found between commas in
its bytes at once; any other goes through the csv module, which reads a line
only when the record needs it, so the lines it takes for a row are that
row's record.
"""

from __future__ import annotations

import csv
import io
import itertools
import math
import os
import re
import shutil
import sys
import tempfile
from collections.abc import Iterator
from typing import IO, Any

import numpy as np
import pandas as pd

from orvik.cli import formats
from orvik.cli.failure import Failure
from orvik.cli.formats import Chunk

READ_BYTES = 1 << 22  # bytes read from a CSV file at a time
CHUNK_BYTES = 1 << 26  # characters at most in a chunk, for a wide file
_INTEGER = re.compile(r"\s*[-+]?\d+\s*")
# The longest date field gathered from a chunk's bytes at once (a longer one
# is split out of its line instead): the gathering copies this many bytes a row.
_GATHERED = 64


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
    """CSV text, record by record, with the header's names in `columns`."""

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
            text = self._take(formats.CHUNK_ROWS)
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
    """Whether pandas would read `text` as a number ("nan" it reads as missing)."""
    try:
        return not math.isnan(float(text))
    except ValueError:
        return False


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
