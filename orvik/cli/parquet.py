"""orvik/cli/parquet.py: Parquet read by record batches, and Parquet written,
or CSV as Arrow's own CSV writer renders each value (formats.py says what
each format keeps)."""

from __future__ import annotations

import io
import os
from collections.abc import Iterator
from typing import Any

import numpy as np
import pandas as pd

from orvik.cli import chunks
from orvik.cli.chunks import Chunk
from orvik.cli.failure import Failure


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
            for batch in self.file.iter_batches(batch_size=chunks.CHUNK_ROWS):
                yield Chunk(row, batch.column(index).to_pandas(), batch=batch)
                row += batch.num_rows
        except (OSError, ValueError) as exc:
            raise Failure(f"cannot read {self.shown}: {exc}") from None


def string_schema(columns: list[str]) -> Any:
    import pyarrow as pa

    return pa.schema([pa.field(name, pa.string()) for name in columns])


class ToParquet:
    """Parquet out: Parquet values as they are, CSV fields as strings."""

    def __init__(self, sink: Any, source: Any, into: str) -> None:
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
