"""Annotating partition by partition, with Dask's worker processes: the result
equals the pandas result row for row, from any working directory."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pandas as pd
import pytest

from orvik.ephemeris import loaded
from orvik.partitions import annotate_partition, festival_meta

DAYS = ["2024-01-26", "2024-03-25", "2024-04-10 20:15", "not a date", "2024-11-01",
        "2023-06-29", "2025-07-15", "2024-08-26", "01/02/2024", "2024-04-14 00:30"] * 3
README = Path(__file__).resolve().parent.parent / "README.md"


def test_meta_matches_a_real_partition(mod):
    df = pd.DataFrame({"date": DAYS, "n": range(len(DAYS))})
    meta = festival_meta(df.dtypes, "date")
    out = annotate_partition(df, "date")
    assert list(df["date"]) == DAYS                     # the partition itself is untouched
    assert list(meta.columns) == list(out.columns)
    assert (meta.dtypes == out.dtypes).all()


def test_loaded_context_is_the_one_the_first_call_makes(mod, tmp_path, monkeypatch):
    made = mod.Tavrolen()
    made._Tavrolen__initialize_astronomy()              # in the directory with the file
    made_from = os.path.realpath(made._EPH.path)
    monkeypatch.chdir(tmp_path)                         # and now one without it
    given = loaded()
    assert os.getcwd() == str(tmp_path) and os.listdir(tmp_path) == []
    assert given._EPH.path == made_from
    assert given._IST is made._IST and type(given._TS) is type(made._TS)
    for name in ("latitude", "longitude"):
        assert getattr(given._DELHI, name).degrees == getattr(made._DELHI, name).degrees
    assert given._DELHI.elevation.m == made._DELHI.elevation.m
    assert [given._SUN.target, given._MOON.target, given._EARTH.target] == \
           [made._SUN.target, made._MOON.target, made._EARTH.target]


def test_loaded_leaves_no_file_open():
    # Dropped, or kept until exit: either way the ephemeris file gets closed, and
    # Python has no unclosed file to report.
    code = """
import gc
import pandas as pd
from orvik.ephemeris import loaded
dropped = loaded()
dropped.get_festival(pd.DataFrame({"date": ["2024-03-25"]}), "date")
del dropped
gc.collect()
kept = loaded()
kept.get_festival(pd.DataFrame({"date": ["2024-03-25"]}), "date")
"""
    done = subprocess.run([sys.executable, "-W", "default", "-c", code], stdin=subprocess.DEVNULL,
                          capture_output=True, encoding="utf-8", timeout=300)
    assert done.returncode == 0, done.stderr
    assert "ResourceWarning" not in done.stderr


def test_dask_worker_processes(mod, ephemeris_dir):
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("distributed")
    df = pd.DataFrame({"date": DAYS, "n": range(len(DAYS))})
    expected = mod.Tavrolen().get_festival(df.copy(), "date")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as cluster, \
            distributed.Client(cluster):
        ddf = dd.from_pandas(df, npartitions=4)
        out = ddf.map_partitions(annotate_partition, "date",
                                 meta=festival_meta(ddf.dtypes, "date")).compute()
    pd.testing.assert_frame_equal(out, expected)


def test_the_readme_recipe(mod, tmp_path):
    """The README's Dask recipe, as printed, in a directory without the ephemeris."""
    pytest.importorskip("dask.dataframe")
    pytest.importorskip("distributed")
    pytest.importorskip("pyarrow")
    text = README.read_text()
    recipe = re.search(r"```python\n(import dask\.dataframe.*?)```", text, re.S).group(1)
    half = len(DAYS) // 2
    for k, part in enumerate((DAYS[:half], DAYS[half:]), 1):
        pd.DataFrame({"date": part}).to_csv(tmp_path / f"dates-{k}.csv", index=False)
    (tmp_path / "recipe.py").write_text(recipe)
    r = subprocess.run([sys.executable, "recipe.py"], cwd=tmp_path, stdin=subprocess.DEVNULL,
                       capture_output=True, encoding="utf-8", timeout=300)
    assert r.returncode == 0, r.stderr
    assert not (tmp_path / "de421.bsp").exists()
    out = pd.read_parquet(tmp_path / "annotated")
    expected = mod.Tavrolen().get_festival(pd.DataFrame({"date": DAYS}), "date")
    assert list(out["festival"].fillna("-")) == list(expected["festival"].fillna("-"))
