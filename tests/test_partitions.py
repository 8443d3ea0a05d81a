"""Annotating partition by partition, with Dask's worker processes: the result
equals the pandas result row for row."""

import pandas as pd
import pytest

from orvik.partitions import annotate_partition, festival_meta

DAYS = ["2024-01-26", "2024-03-25", "2024-04-10 20:15", "not a date", "2024-11-01",
        "2023-06-29", "2025-07-15", "2024-08-26", "01/02/2024", "2024-04-14 00:30"] * 3


def test_meta_matches_a_real_partition(mod):
    df = pd.DataFrame({"date": DAYS, "n": range(len(DAYS))})
    meta = festival_meta(df.dtypes, "date")
    out = annotate_partition(df, "date")
    assert list(df["date"]) == DAYS                     # the partition itself is untouched
    assert list(meta.columns) == list(out.columns)
    assert (meta.dtypes == out.dtypes).all()


def test_dask_worker_processes(mod, ephemeris_dir):
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("distributed")
    df = pd.DataFrame({"date": DAYS, "n": range(len(DAYS))})
    expected = mod.Tavrolen().get_festival(df.copy(), "date")
    # Worker processes start in this directory, which holds "de421.bsp".
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster):
        ddf = dd.from_pandas(df, npartitions=4)
        out = ddf.map_partitions(annotate_partition, "date",
                                 meta=festival_meta(ddf.dtypes, "date")).compute()
    pd.testing.assert_frame_equal(out, expected)
