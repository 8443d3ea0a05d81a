"""orvik/cli/formats.py: the input read in chunks, and the output written as the
input plus one column, for CSV (csvtext.py) and Parquet (parquet.py).

- CSV is text: each record is kept exactly as it was read (its quoting, its line
  ending, CRLF or LF, and the blank lines between records) and the output adds
  one field to each record, so the output has the input's lines plus the
  column.  Only the date column's values are taken out for reading.
- Parquet keeps its Arrow values: Parquet out writes them as they are; CSV out
  writes them with Arrow's own CSV writer (never through pandas, so an int64
  with nulls or a uint64 stays an integer, binary stays its text), which
  cannot write nested values (structs, lists, maps): such a column is refused.

An input has `columns`, `stat` (to tell the output is not the input),
`chunks(index)`, `judge(values, name)` (refuses a column of numbers as its
format types it) and `rewind()`; a writer has `write(chunk, festivals)` and
`close()`.
"""

from __future__ import annotations

import os
from dataclasses import dataclass
from typing import Any

import pandas as pd

from orvik.cli.failure import Failure

PARQUET = (".parquet", ".pq")
# Rows per chunk: each chunk is one get_festival call, which finds the events
# of its minutes' span (new moons, tithi changes, sunsets) once, so chunks are
# large.  On bench/bench_cli.py's million random minutes of five years, as
# date-times, get_festival took 1.3 s in one call, 1.4-1.55 s in 250,000-row
# chunks and 2.4-2.55 s in 100,000-row chunks.  csvtext.CHUNK_BYTES keeps a
# chunk of a wide file within memory.
CHUNK_ROWS = 250_000


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


def open_input(path: str | None, shown: str) -> Any:
    """The input named `path` (None: CSV on standard input)."""
    if path is not None:
        if not os.path.exists(path):
            raise Failure(f"{shown}: not found")
        if os.path.isdir(path):
            raise Failure(f"{shown}: is a directory")
    if is_parquet(path):
        need_pyarrow()
        from orvik.cli.parquet import ParquetInput

        return ParquetInput(path, shown)  # type: ignore[arg-type]
    from orvik.cli.csvtext import CsvInput

    return CsvInput(path, shown)


def need_pyarrow() -> None:
    try:
        import pyarrow  # noqa: F401
    except ImportError:
        raise Failure('Parquet needs pyarrow, the "parquet" extra: pip install pyarrow') from None


def check_writable(source: Any, parquet: bool) -> None:
    """Refuses, before any work, an input the output's format cannot hold."""
    from orvik.cli.parquet import ParquetInput, ParquetToCsv

    if isinstance(source, ParquetInput) and not parquet:
        ParquetToCsv.check(source)
    elif parquet and len(set(source.columns)) < len(source.columns):
        raise Failure(f"{source.shown} has columns of the same name, which Parquet cannot hold")


def writer_for(sink: Any, source: Any, into: str, parquet: bool) -> Any:
    """The writer of the output's format (Parquet for a .parquet name)."""
    from orvik.cli.csvtext import CsvToCsv
    from orvik.cli.parquet import ParquetInput, ParquetToCsv, ToParquet

    if parquet:
        return ToParquet(sink, source, into)
    if isinstance(source, ParquetInput):
        return ParquetToCsv(sink, source, into)
    return CsvToCsv(sink, source, into)
