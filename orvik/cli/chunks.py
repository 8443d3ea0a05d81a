"""orvik/cli/chunks.py: a chunk of the input, as every format's reader gives it
and every writer takes it (formats.py says which format does what)."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

import pandas as pd

# Rows per chunk: each chunk is one get_festival call, which finds the events
# of its minutes' span (new moons, tithi changes, sunsets) once, so chunks are
# large.  On bench/bench_cli.py's million random minutes of five years, as
# date-times, get_festival took 1.3 s in one call, 1.4-1.55 s in 250,000-row
# chunks and 2.4-2.55 s in 100,000-row chunks.  csvtext.CHUNK_BYTES keeps a
# chunk of a wide file within memory.
CHUNK_ROWS = 250_000


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
    sep: str = ","              # CSV: the separator of its fields
    batch: Any = None           # Parquet: the RecordBatch

    def data_rows(self) -> list[list[str]]:
        """The fields of each data row (CSV)."""
        if self.rows is None:  # records without quotes: the fields are between separators
            self.rows = [line.split(self.sep) for line in self.lines if line]  # type: ignore[union-attr]
        return self.rows
