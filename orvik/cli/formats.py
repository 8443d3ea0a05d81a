"""orvik/cli/formats.py: the input read in chunks (chunks.py), and the output
written as the input plus one column, for CSV (csvtext.py) and Parquet
(parquet.py).

- CSV is text: each record is kept exactly as it was read (its quoting, its line
  ending, CRLF or LF, and the blank lines between records) and the output adds
  one field to each record, so the output has the input's lines plus the
  column, in the input's separator and encoding, compressed as the output's
  name says (compression.py).  Only the date column's values are taken out
  for reading.
- Parquet keeps its Arrow values: Parquet out writes them as they are; CSV out
  writes them with Arrow's own CSV writer (never through pandas, so an int64
  with nulls or a uint64 stays an integer, binary stays its text), which
  cannot write nested values (structs, lists, maps): such a column is refused.
  Parquet compresses its own columns, so a compressed name is refused.

An input has `columns`, `stat` (to tell the output is not the input),
`chunks(index)`, `judge(values, name)` (refuses a column of numbers as its
format types it) and `rewind()`; a writer has `write(chunk, festivals)` and
`close()`.
"""

from __future__ import annotations

import os
from typing import Any

from orvik.cli import compression
from orvik.cli.csvtext import CsvInput, CsvToCsv
from orvik.cli.failure import Failure
from orvik.cli.parquet import ParquetInput, ParquetToCsv, ToParquet

PARQUET = (".parquet", ".pq")


def is_parquet(path: str | None) -> bool:
    """Whether `path` names Parquet (compressed or not: see check_parquet_name)."""
    return path is not None and compression.stripped(path).lower().endswith(PARQUET)


def check_parquet_name(path: str, option: str) -> None:
    if compression.of(path):
        raise Failure(f"{option}{path}: Parquet compresses its own columns; name it without "
                      f"{os.path.splitext(path)[1]}")


def open_input(path: str | None, shown: str, sep: str | None = None,
               encoding: str | None = None) -> Any:
    """The input named `path` (None: CSV on standard input)."""
    if path is not None:
        if not os.path.exists(path):
            raise Failure(f"{shown}: not found")
        if os.path.isdir(path):
            raise Failure(f"{shown}: is a directory")
    if is_parquet(path):
        check_parquet_name(path, "")  # type: ignore[arg-type]
        for option, value in (("--sep", sep), ("--encoding", encoding)):
            if value is not None:
                raise Failure(f"{option} is for CSV, and {shown} is Parquet")
        need_pyarrow()
        return ParquetInput(path, shown)  # type: ignore[arg-type]
    return CsvInput(path, shown, sep, encoding)


def need_pyarrow() -> None:
    try:
        import pyarrow  # noqa: F401
    except ImportError:
        raise Failure('Parquet needs pyarrow, the "parquet" extra: pip install pyarrow') from None


def check_writable(source: Any, parquet: bool) -> None:
    """Refuses, before any work, an input the output's format cannot hold."""
    if isinstance(source, ParquetInput) and not parquet:
        ParquetToCsv.check(source)
    elif parquet and len(set(source.columns)) < len(source.columns):
        raise Failure(f"{source.shown} has columns of the same name, which Parquet cannot hold")


def writer_for(sink: Any, source: Any, into: str, parquet: bool) -> Any:
    """The writer of the output's format (Parquet for a .parquet name)."""
    if parquet:
        return ToParquet(sink, source, into)
    if isinstance(source, ParquetInput):
        return ParquetToCsv(sink, source, into)
    return CsvToCsv(sink, source, into)
