"""Helpers for annotating a frame partition by partition, as Dask's
``map_partitions`` does::

    import dask.dataframe as dd
    from orvik.partitions import annotate_partition, festival_meta

    ddf = dd.read_csv("dates-*.csv", dtype={"date": str})
    out = ddf.map_partitions(annotate_partition, "date", meta=festival_meta(ddf.dtypes, "date"))

Each partition is annotated where it lives.  The ephemeris is the file that
skyfield-data ships, found from any working directory and never downloaded;
each worker thread loads it once and keeps it for the partitions it runs.
"""

from __future__ import annotations

import threading

import pandas as pd

from orvik.ephemeris import loaded
from orvik.Tavrolen import Tavrolen

_per_thread = threading.local()


def _tavrolen() -> Tavrolen:
    obj = getattr(_per_thread, "tavrolen", None)
    if obj is None:
        obj = _per_thread.tavrolen = loaded()
    return obj


def annotate_partition(part: pd.DataFrame, date_col_name: str = "date") -> pd.DataFrame:
    """get_festival on a copy of one partition (the partition itself may be
    shared by other tasks, and get_festival changes its frame in place)."""
    return _tavrolen().get_festival(part.copy(), date_col_name)


def festival_meta(dtypes: pd.Series, date_col_name: str = "date") -> pd.DataFrame:
    """An empty frame with the columns and dtypes annotate_partition returns
    for a frame of these dtypes: the date column as pandas reads dates, and a
    text column "festival"."""
    meta = pd.DataFrame({name: pd.Series(dtype=dtype) for name, dtype in dtypes.items()})
    parsed = pd.to_datetime(pd.Series(["2024-01-26"]), format="mixed")
    meta[date_col_name] = pd.Series(dtype=parsed.dtype)
    meta["festival"] = pd.Series(dtype=pd.Series(["Republic_Day"]).dtype)
    return meta
