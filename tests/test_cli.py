"""The orvik command, end to end in a subprocess, from a directory that holds
no ephemeris: it must find the packaged one and never touch the network."""

import os
import subprocess
import sys

import pandas as pd
import pytest
from conftest import BSP

ROWS = ["2024-01-26", "2024-03-25", "2024-04-10 20:15", "not a date", "2024-02-05"]


def orvik(*args, cwd):
    return subprocess.run([sys.executable, "-m", "orvik", *args], capture_output=True,
                          text=True, cwd=cwd, timeout=300)


def one_line_error(result):
    assert result.returncode != 0
    lines = result.stderr.strip().splitlines()
    assert len(lines) == 1 and lines[0].startswith("orvik: "), result.stderr
    assert "Traceback" not in result.stderr
    return lines[0]


@pytest.fixture
def here(tmp_path):
    pd.DataFrame({"when": ROWS, "n": range(len(ROWS))}).to_csv(tmp_path / "in.csv", index=False)
    assert not (tmp_path / "de421.bsp").exists()
    return tmp_path


class TestAnnotate:
    def test_csv_to_file_with_relative_paths(self, here):
        r = orvik("in.csv", "--column", "when", "--output", "out.csv", cwd=here)
        assert r.returncode == 0, r.stderr
        assert r.stdout == ""
        assert r.stderr.strip() == "orvik: 3 of 5 rows have a festival"
        out = pd.read_csv(here / "out.csv")
        assert list(out.columns) == ["when", "n", "festival"]
        assert list(out["festival"].fillna("-")) == ["Republic_Day", "Holi", "Eid_ul_Fitr",
                                                     "-", "-"]
        assert list(out["n"]) == list(range(5))

    def test_csv_to_standard_output(self, here):
        r = orvik("in.csv", "--column", "when", cwd=here)
        assert r.returncode == 0, r.stderr
        assert r.stdout.splitlines()[0] == "when,n,festival"
        assert "2024-03-25 12:00:00,1,Holi" in r.stdout

    def test_parquet_and_named_ephemeris(self, here):
        pytest.importorskip("pyarrow")
        pd.read_csv(here / "in.csv").rename(columns={"when": "date"}).to_parquet(here / "in.parquet")
        os.symlink(BSP, here / "eph.bsp")
        r = orvik("in.parquet", "--output", "out.parquet", "--ephemeris", "eph.bsp", cwd=here)
        assert r.returncode == 0, r.stderr
        assert pd.read_parquet(here / "out.parquet")["festival"].notna().sum() == 3

    def test_console_script(self, here):
        script = os.path.join(os.path.dirname(sys.executable), "orvik")
        r = subprocess.run([script, "--version"], capture_output=True, text=True, cwd=here)
        assert r.returncode == 0 and r.stdout.startswith("orvik ")


class TestFailures:
    """One clear line on standard error, a non-zero exit, no output file."""

    def test_missing_column(self, here):
        line = one_line_error(orvik("in.csv", "--output", "out.csv", cwd=here))
        assert "no column 'date'" in line and "when, n" in line
        assert not (here / "out.csv").exists()

    @pytest.mark.parametrize("content", [None, b"\x00\x01\x02garbage", b""])
    def test_unreadable_file(self, here, content):
        if content is not None:
            (here / "bad.csv").write_bytes(content)
        line = one_line_error(orvik("bad.csv", cwd=here))
        assert "bad.csv" in line

    def test_missing_ephemeris(self, here):
        line = one_line_error(orvik("in.csv", "--column", "when", "--ephemeris", "nowhere.bsp",
                                    cwd=here))
        assert "ephemeris not found" in line and "nowhere.bsp" in line

    def test_failed_annotation_keeps_an_existing_output(self, here):
        pd.DataFrame({"when": ["2024-01-26", "1850-01-01"]}).to_csv(here / "old.csv", index=False)
        (here / "out.csv").write_text("precious\n")
        line = one_line_error(orvik("old.csv", "--column", "when", "--output", "out.csv",
                                    cwd=here))
        assert "cannot annotate old.csv" in line
        assert (here / "out.csv").read_text() == "precious\n"
        assert [p.name for p in here.iterdir() if p.name.startswith(".orvik-")] == []
