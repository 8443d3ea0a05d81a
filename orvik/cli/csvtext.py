"""orvik/cli/csvtext.py: CSV read record by record and written back as read,
with one more field in each record (formats.py says what is kept).

The bytes are decompressed as the file's name says (compression.py) and
decoded as --encoding says, UTF-8 by default; a byte-order mark is held apart
and written back, and the output is written in the input's encoding.  The
fields are separated by --sep, or else by what the header shows: a comma, or,
in a header without one, the one of ";", tab and "|" it holds.

A chunk of records that holds no quote and one kind of line ending (the usual
file) is split at its line endings, and its fields found between separators in
its bytes at once; any other goes through the csv module, which reads a line
only when the record needs it, so the lines it takes for a row are that
row's record.
"""

from __future__ import annotations

import codecs
import csv
import io
import itertools
import math
import os
import re
import shutil
import stat
import sys
import tempfile
from collections.abc import Iterator
from contextlib import contextmanager
from typing import IO, Any

import numpy as np
import pandas as pd

from orvik.cli import chunks, compression
from orvik.cli.chunks import Chunk
from orvik.cli.failure import Failure
from orvik.dates import serial_hint

READ_BYTES = 1 << 22  # bytes read from a CSV file at a time
CHUNK_BYTES = 1 << 26  # characters at most in a chunk, for a wide file
# The longest line: a line is held whole until its end is read, so a file
# without line endings (/dev/zero) would fill memory.  A million fields of 16
# characters fit.
LONGEST_LINE = 1 << 24
_INTEGER = re.compile(r"\s*[-+]?\d+\s*")
# The longest date field gathered from a chunk's bytes at once (a longer one
# is split out of its line instead): the gathering copies this many bytes a row.
_GATHERED = 64
# The separators a header without a comma may show, as messages name them.
SEPARATORS = {";": "';'", "\t": "tab", "|": "'|'"}
# What a compressed file begins with, for a name that does not say so.
_MAGIC = {b"\x1f\x8b": ".gz", b"BZh": ".bz2", b"\xfd7zXZ\x00": ".xz", b"\x28\xb5\x2f\xfd": ".zst",
          b"PK\x03\x04": ".zip"}
_QUOTED = re.compile(r'"[^"]*"')


class TextEncoding:
    """The encoding of the input, and so of the output: `codec` decodes and
    encodes (a generic UTF-16 or UTF-32 takes the byte order its first bytes
    show), and `mark` is the byte-order mark the text began with ("\\ufeff"
    or ""), held apart from the text and written back before it."""

    def __init__(self, name: str | None) -> None:
        self.named = name is not None
        try:
            found = codecs.lookup(name or "utf-8").name
        except LookupError:
            raise Failure(f"--encoding {name}: unknown encoding (for example: utf-8, cp1252, "
                          f"latin-1, utf-16)") from None
        self.name = name or "UTF-8"
        self.codec = "utf-8" if found == "utf-8-sig" else found
        self.mark = ""

    def start(self, head: bytes) -> None:
        """The byte order of a generic UTF-16 or UTF-32, from the file's first
        bytes (the machine's, as Python reads one without a mark)."""
        if self.codec not in ("utf-16", "utf-32"):
            return
        big, little = ((b"\xfe\xff", b"\xff\xfe") if self.codec == "utf-16" else
                       (b"\x00\x00\xfe\xff", b"\xff\xfe\x00\x00"))
        order = ("be" if head.startswith(big) else "le" if head.startswith(little) else
                 sys.byteorder[0] + "e")
        self.codec = f"{self.codec}-{order}"

    def encode(self, text: str, what: str) -> bytes:
        try:
            return text.encode(self.codec)
        except UnicodeEncodeError as exc:
            raise Failure(f"{what} cannot be written in {self.name}, the input's encoding: "
                          f"{exc.object[exc.start:exc.end]!r}") from None


class _Spool:
    """Standard input, kept in an unnamed file in $TMPDIR as it is read, so that
    it can be read again from the start."""

    def __init__(self, stream: IO[bytes]) -> None:
        self.stream = stream
        with _keeping():
            self.copy = tempfile.TemporaryFile()
        self.replaying = False

    def read(self, n: int) -> bytes:
        if self.replaying:
            return self.copy.read(n)
        data = self.stream.read(n)
        with _keeping():
            self.copy.write(data)
        return data

    def rewind(self) -> None:
        with _keeping():
            if not self.replaying:
                shutil.copyfileobj(self.stream, self.copy)
                self.replaying = True
            self.copy.seek(0)


@contextmanager
def _keeping() -> Iterator[None]:
    """A failure of the copy of standard input, as one that says where it is kept."""
    try:
        yield
    except BrokenPipeError:
        raise
    except OSError as exc:
        raise Failure(f"cannot read standard input: the copy kept in {tempfile.gettempdir()} "
                      f"to read it again: {exc.strerror or exc} (TMPDIR names another "
                      f"directory)") from None


def checked_sep(sep: str | None) -> str | None:
    """--sep: one character (\\t for a tab) that is not a quote or a line ending."""
    if sep is None:
        return None
    sep = "\t" if sep == "\\t" else sep
    if len(sep) != 1 or sep in '"\r\n':
        raise Failure(f"--sep {sep!r}: the separator is one character other than a quote or a "
                      f"line ending (\\t for a tab)")
    return sep


class CsvInput:
    """CSV text, record by record, with the header's names in `columns`, its
    separator in `sep` (and in `sniffed` the line that says how it was chosen,
    when the header chose it) and its encoding in `encoding`."""

    def __init__(self, path: str | None, shown: str, sep: str | None = None,
                 encoding: str | None = None) -> None:
        self.path, self.shown = path, shown
        self.given_sep = checked_sep(sep)
        self.encoding = TextEncoding(encoding)
        self.compression = compression.of(path)
        self.began: int | None = None  # where standard input began, when it is a file
        if path is None:
            if sys.stdin is None:
                raise Failure("standard input is closed")
            self.stat = _fstat(sys.stdin)
            if self.stat is not None and stat.S_ISREG(self.stat.st_mode):
                # A regular file is read again from where it began, without a copy.
                self.raw: Any = os.fdopen(os.dup(sys.stdin.fileno()), "rb")
                self.began = self.raw.tell()
            else:
                self.raw = _Spool(sys.stdin.buffer)
            self.stream: Any = self.raw
        else:
            self.raw = self._open(path)
            self.stat = _fstat(self.raw)
            self.stream = compression.reader(self.raw, self.compression, shown)
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
            if text.strip("\r\n"):
                break
            self.prefix.append(text)  # a blank line
        self.sep = self.given_sep or ","
        self.sniffed: str | None = None
        if self.given_sep is None:
            self.sep = self._sniff(text)
        records, rows = self._split(_raw_lines(text))
        self.prefix += records
        self.columns = rows[0]

    def _sniff(self, header: str) -> str:
        """The separator the header shows: a comma, or in a header without one
        the one of SEPARATORS that it holds (quoted names aside)."""
        bare = _QUOTED.sub("", header)
        found = [] if "," in bare else [s for s in SEPARATORS if s in bare]
        if len(found) > 1:
            raise Failure(f"cannot read {self.shown}: its header holds no comma and both "
                          f"{' and '.join(SEPARATORS[s] for s in found)}: name the separator "
                          f"with --sep")
        if not found:
            return ","
        self.sniffed = (f"{self.shown}: its header holds {SEPARATORS[found[0]]} and no comma, so "
                        f"its fields are read as separated by {SEPARATORS[found[0]]} (--sep "
                        f"names another)")
        return found[0]

    def rewind(self) -> None:
        """Back to the start, to read the records again."""
        if self.path is None:
            if self.began is None:
                self.raw.rewind()
            else:
                self.raw.seek(self.began)
        else:
            self.stream.close()
            self.raw.close()
            self.raw = self._open(self.path)
            self.stream = compression.reader(self.raw, self.compression, self.shown)
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
            integers = all(_INTEGER.fullmatch(v) for v in present)
            hint = serial_hint([int(v) for v in present]) if integers else ""
            raise Failure(f"{name} holds {'integer' if integers else 'float'} values: numbers "
                          f"are not dates{hint}")
        return True

    def chunks(self, index: int) -> Iterator[Chunk]:
        row = 1
        width = len(self.columns)
        while True:
            text = self._take(chunks.CHUNK_ROWS)
            if not text:
                return
            ending = _one_ending(text)
            if ending is not None and '"' not in text and self.sep.isascii():
                chunk = self._plain(text, ending, index, width, row)
            else:
                records, rows = self._split(_raw_lines(text))
                chunk = self._quoted(records, rows, index, width, row)
            yield chunk
            row += len(chunk.dates)

    def _plain(self, text: str, ending: str, index: int, width: int, row: int) -> Chunk:
        """Records without quotes, each ending in `ending` (the last may not):
        their fields are between separators, found at once in the text's bytes."""
        sep = self.sep
        lines = text.split(ending)
        open_end = lines[-1] != ""
        if not open_end:
            lines.pop()
        data = np.frombuffer(text.encode("utf-8"), dtype=np.uint8)
        breaks = np.flatnonzero(data == ord("\n"))
        starts = np.concatenate(([0], breaks + 1))[:len(lines)]
        ends = np.concatenate((breaks - (len(ending) - 1), [len(data)]))[:len(lines)]
        blank = starts == ends
        seps = np.flatnonzero(data == ord(sep))
        owner = np.searchsorted(breaks, seps)  # the line of each separator
        counts = np.bincount(owner, minlength=len(lines))[:len(lines)]
        wrong = np.flatnonzero((counts != width - 1) & ~blank)
        if wrong.size:
            k = int(wrong[0])
            self._wrong_width(row, lines[:k], int(counts[k]) + 1, width)
        at = np.flatnonzero(~blank)
        first = np.searchsorted(owner, at)  # each data row's first separator, in `seps`
        begin = starts[at] if index == 0 else seps[first + index - 1] + 1
        end = ends[at] if index == width - 1 else seps[first + index]
        dates = _fields(data, begin, end) if text.isascii() and "\0" not in text else None
        if dates is None:
            dates = [line.split(sep, index + 1)[index] for line in lines if line]
        return Chunk(row, pd.Series(dates, dtype=object), lines, ending, open_end, blank=blank,
                     sep=sep)

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
                     rows=data, blank=np.array([not fields for fields in rows], dtype=bool),
                     sep=self.sep)

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

        reader = csv.reader(feed(), delimiter=self.sep)
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
        """The file's text, about READ_BYTES at a time, cut after a line's "\\n"
        (the last piece may end without one); a byte-order mark at its start
        goes to the encoding."""
        rest, line = "", 1  # the text after the last line ending, and its line's number
        decoder = None
        while True:
            data = self._bytes(READ_BYTES)
            if decoder is None:
                self.encoding.start(data)
                decoder = codecs.getincrementaldecoder(self.encoding.codec)("strict")
                self._head = data[:8]
                text = self._decode(decoder, data, line)
                if text.startswith("\ufeff"):
                    self.encoding.mark, text = "\ufeff", text[1:]
            else:
                text = self._decode(decoder, data, line)
            text = rest + text
            if "\0" in text:
                # No text file holds one, and Python's csv module reads it on some
                # versions only: refused everywhere, as the binary it shows.
                at = line + text[:text.index("\0")].count("\n")
                raise Failure(f"cannot read {self.shown}: line {at} holds a NUL character, as no "
                              f"text file does: name its encoding with --encoding if it is text")
            cut = text.rfind("\n") + 1
            rest, text = text[cut:], text[:cut]
            if text:
                line += text.count("\n")
                yield text
            if len(rest) > LONGEST_LINE:
                raise Failure(f"cannot read {self.shown}: line {line} is longer than "
                              f"{LONGEST_LINE:,} characters")
            if not data:
                if rest:
                    yield rest
                return

    def _bytes(self, n: int) -> bytes:
        try:
            return self.stream.read(n)
        except Failure:
            raise
        except compression.ERRORS as exc:
            what = f"{self.compression} data" if self.compression else "it"
            raise Failure(f"cannot read {self.shown}: {what}: {exc.strerror or exc}"
                          if isinstance(exc, OSError) else
                          f"cannot read {self.shown}: {what}: {exc}") from None

    def _decode(self, decoder: Any, data: bytes, line: int) -> str:
        """`data` decoded (the end of the file when empty); an undecodable byte
        is refused, naming its line (`line` is the number of the first line of
        the text decoded since the last line ending)."""
        try:
            return decoder.decode(data, not data)
        except UnicodeDecodeError as exc:
            line += exc.object[:exc.start].decode(self.encoding.codec, "replace").count("\n")
            byte = exc.object[exc.start:exc.start + 1].hex()
        bad = f"line {line} is not {self.encoding.name} text (a byte 0x{byte})"
        if self.encoding.named:
            raise Failure(f"cannot read {self.shown}: {bad}")
        packed = next((ext for magic, ext in _MAGIC.items() if self._head.startswith(magic)), None)
        if packed and line == 1 and not self.compression:
            raise Failure(f"cannot read {self.shown}: it is compressed as {packed} files are; a "
                          f"name that ends in {packed} is read so")
        raise Failure(f"cannot read {self.shown}: {bad}: name its encoding with --encoding "
                      f"(for example cp1252, latin-1, utf-16)")


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


def csv_field(value: str, sep: str = ",") -> str:
    """`value` as one CSV field, quoted where it needs it ("" stays empty)."""
    if not value:
        return ""
    out = io.StringIO()
    csv.writer(out, lineterminator="", delimiter=sep).writerow([value])
    return out.getvalue()


class CsvToCsv:
    """CSV out of CSV: each record as read, with one more field before its
    line ending; blank lines as they were; the input's separator, encoding
    and byte-order mark."""

    def __init__(self, sink: Any, source: CsvInput, into: str) -> None:
        self.sink, self.sep, self.encoding = sink, source.sep, source.encoding
        *before, header = source.prefix
        cut = len(header) - (2 if header.endswith("\r\n") else 1 if header.endswith("\n") else 0)
        head = [self.encoding.mark, *before,
                f"{header[:cut]}{self.sep}{csv_field(into, self.sep)}{header[cut:]}"]
        sink.write(self.encoding.encode("".join(head), f"--into {into!r}"))

    def write(self, chunk: Chunk, festivals: np.ndarray) -> None:
        names = festivals.tolist()
        field = {name: self.sep + csv_field(name or "", self.sep) for name in set(names)}
        if isinstance(chunk.endings, str):  # one ending: one tail for each festival
            ending = chunk.endings
            tail = {name: f"{value}{ending}" for name, value in field.items()}
            tails = [tail[name] for name in names]
        else:
            ends = np.array(chunk.endings, dtype=object)[~chunk.blank]
            tails = [f"{field[name]}{end}" for name, end in zip(names, ends)]
        if chunk.blank.any():  # a blank line keeps its ending alone
            every = np.array(chunk.endings, dtype=object) if not isinstance(chunk.endings, str) \
                else np.full(len(chunk.blank), chunk.endings, dtype=object)
            every[~chunk.blank] = tails
            tails = every.tolist()
        if chunk.open_end:
            tails[-1] = tails[-1][:-len(chunk.endings)]
        out = "".join(itertools.chain.from_iterable(zip(chunk.lines, tails)))  # type: ignore
        self.sink.write(self.encoding.encode(out, "a festival's name"))

    def close(self) -> None:
        pass
