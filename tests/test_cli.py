"""The orvik command, end to end in a subprocess, from a directory that holds
no ephemeris: it must find the packaged one and never touch the network."""

import os
import signal
import stat
import subprocess
import sys
import textwrap

import pandas as pd
import pytest
from conftest import BSP

ROWS = ["2024-01-26", "2024-03-25", "2024-04-10 20:15", "not a date", "2024-02-05"]


def orvik(*args, cwd, input=None, prelude="", umask=None):
    """The command in a fresh interpreter; `prelude` runs first (to provoke a
    condition at a chosen point)."""
    code = f"{prelude}\nimport sys\nfrom orvik.cli import main\nraise SystemExit(main(sys.argv[1:]))"
    stdin = {} if input is None or isinstance(input, str) else {"stdin": input}
    return subprocess.run([sys.executable, "-c", code, *args], capture_output=True, text=True,
                          cwd=cwd, timeout=300, input=input if not stdin else None, **stdin,
                          preexec_fn=None if umask is None else lambda: os.umask(umask))


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
        assert r.stderr.strip() == ("orvik: 3 of 5 rows have a festival; "
                                    "1 value could not be read as a date")
        out = pd.read_csv(here / "out.csv")
        assert list(out.columns) == ["when", "n", "festival"]
        assert list(out["festival"].fillna("-")) == ["Republic_Day", "Holi", "Eid_ul_Fitr",
                                                     "-", "-"]
        assert list(out["n"]) == list(range(5))

    def test_csv_to_standard_output(self, here):
        r = orvik("in.csv", "--column", "when", cwd=here)
        assert r.returncode == 0, r.stderr
        assert r.stdout.splitlines()[0] == "when,n,festival"
        assert "2024-03-25,1,Holi" in r.stdout

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


def festivals_of(values, mod):
    df = pd.DataFrame({"d": values})
    return list(mod.Tavrolen().get_festival(df, "d")["festival"].fillna(""))


class TestKeepsTheInput:
    TEXT = ("id,when,amount,flag\n00123,2024-01-26,1.10,TRUE\n00124,26/01/2024,,FALSE\n"
            '00125,not a date,"1,5",true\n00126,2024-04-10 00:03,3,x\n')

    def test_output_that_is_the_input_is_refused(self, here):
        (here / "in.csv").write_text(self.TEXT)
        os.symlink("in.csv", here / "link.csv")
        os.link(here / "in.csv", here / "hard.csv")
        for output in ["in.csv", "./in.csv", "link.csv", "hard.csv", str(here / "in.csv")]:
            line = one_line_error(orvik("in.csv", "--column", "when", "--output", output,
                                        cwd=here))
            assert "is the input" in line
        with open(here / "in.csv") as redirected:  # orvik - < in.csv
            one_line_error(orvik("-", "--column", "when", "--output", "in.csv", cwd=here,
                                 input=redirected))
        assert (here / "in.csv").read_text() == self.TEXT

    def test_csv_text_is_copied_as_read(self, here, mod):
        (here / "in.csv").write_text(self.TEXT)
        r = orvik("in.csv", "--column", "when", "--output", "out.csv", cwd=here)
        assert r.returncode == 0, r.stderr
        out = (here / "out.csv").read_text().splitlines()
        festivals = festivals_of(["2024-01-26", "26/01/2024", "not a date", "2024-04-10 00:03"],
                                 mod)
        assert out == [f"{line},{f}" for line, f in
                       zip(self.TEXT.splitlines(), ["festival", *festivals])]

    def test_parquet_values_and_types_are_kept(self, here):
        pytest.importorskip("pyarrow")
        df = pd.DataFrame({"when": pd.to_datetime(["2024-01-26", "2024-03-25 10:00", None],
                                                  format="mixed"),
                           "n": [1, 2, 3], "x": ["a", None, "c"]})
        df.to_parquet(here / "in.parquet")
        for output in ["out.parquet", "out.csv"]:
            r = orvik("in.parquet", "--column", "when", "--output", output, cwd=here)
            assert r.returncode == 0, r.stderr
        out = pd.read_parquet(here / "out.parquet")
        pd.testing.assert_frame_equal(out.drop(columns="festival"), df)
        assert list(out["festival"].fillna("")) == ["Republic_Day", "Holi", ""]
        assert (here / "out.csv").read_text().splitlines()[1] == "2024-01-26 00:00:00,1,a,Republic_Day"

    def test_an_existing_festival_column(self, here):
        (here / "in.csv").write_text("date,festival\n2024-01-26,mine\n")
        line = one_line_error(orvik("in.csv", cwd=here))
        assert "already has a column 'festival'" in line and "--into" in line
        r = orvik("in.csv", "--into", "orvik", cwd=here)
        assert r.stdout.splitlines() == ["date,festival,orvik", "2024-01-26,mine,Republic_Day"]


class TestOnlyDates:
    @pytest.mark.parametrize("values, kind", [(["1", "20240126", ""], "integer"),
                                              (["1.5", "2"], "float"),
                                              (["TRUE", "false"], "boolean")])
    def test_numbers_and_booleans_are_refused(self, here, values, kind):
        (here / "in.csv").write_text("date\n" + "\n".join(values) + "\n")
        line = one_line_error(orvik("in.csv", "--output", "out.csv", cwd=here))
        assert kind in line and "'date'" in line
        assert not (here / "out.csv").exists()

    def test_numeric_parquet_column(self, here):
        pytest.importorskip("pyarrow")
        pd.DataFrame({"date": [1, 2]}).to_parquet(here / "in.parquet")
        assert "int64" in one_line_error(orvik("in.parquet", cwd=here))

    def test_a_column_without_dates(self, here):
        (here / "in.csv").write_text("date\nsoon\nlater\n")
        assert "no value of column 'date'" in one_line_error(orvik("in.csv", cwd=here))


class TestTimeZones:
    def test_offsets_need_a_zone(self, here):
        (here / "in.csv").write_text("date\n2024-01-26\n2024-01-25T18:30:00Z\n")
        line = one_line_error(orvik("in.csv", cwd=here))
        assert "row 2" in line and "--tz" in line
        assert "unknown time zone" in one_line_error(orvik("in.csv", "--tz", "Nowhere/X",
                                                           cwd=here))

    def test_converted_to_india_time(self, here):
        # Republic Day 2024 in India: the same instants written in other ways; the
        # bare date is a calendar day and is not converted.
        values = ["2024-01-25T18:30:00Z", "2024-01-26 05:00+05:30", "2024-01-25 20:00",
                  "2024-01-26"]
        (here / "in.csv").write_text("date\n" + "\n".join(values) + "\n")
        r = orvik("in.csv", "--tz", "UTC", cwd=here)
        assert r.returncode == 0, r.stderr
        assert [line.split(",")[-1] for line in r.stdout.splitlines()[1:]] == ["Republic_Day"] * 4
        assert [line.rsplit(",", 1)[0] for line in r.stdout.splitlines()[1:]] == values


class TestChunks:
    """In chunks of 7 rows (CHUNK_ROWS set before the run)."""

    SMALL = "import orvik.cli\norvik.cli.CHUNK_ROWS = 7"

    def test_equal_to_one_call_over_the_whole_file(self, here, mod):
        days = [f"2024-{m:02d}-{d:02d}" for m in (1, 3, 4, 8, 10, 11) for d in (1, 10, 14, 25)]
        days = [*days, "nonsense", *days[::-1], "2024-04-10 20:15"]
        (here / "in.csv").write_text("date\n" + "\n".join(days) + "\n")
        r = orvik("in.csv", cwd=here, prelude=self.SMALL)
        assert r.returncode == 0, r.stderr
        assert [line.split(",")[1] for line in r.stdout.splitlines()[1:]] == festivals_of(days, mod)
        assert "1 value could not be read" in r.stderr

    def test_a_date_outside_the_ephemeris_names_its_row(self, here):
        days = ["2024-01-26"] * 10 + ["1850-01-01"] + ["2024-03-25"] * 10
        (here / "in.csv").write_text("date\n" + "\n".join(days) + "\n")
        line = one_line_error(orvik("in.csv", "--output", "out.csv", cwd=here,
                                    prelude=self.SMALL))
        assert "row 11 ('1850-01-01')" in line
        assert os.listdir(here) == ["in.csv"]


class TestStreamsAndSignals:
    def test_standard_input(self, here):
        r = orvik("-", input="date\n2024-01-26\n", cwd=here)
        assert r.stdout.splitlines() == ["date,festival", "2024-01-26,Republic_Day"]

    def test_a_reader_that_goes_away(self, here):
        # Far more output than a pipe holds: the writer meets the closed pipe.
        (here / "in.csv").write_text("date\n" + "2024-01-26\n" * 50_000)
        p = subprocess.Popen([sys.executable, "-m", "orvik", "in.csv"], cwd=here,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        assert p.stdout.readline() == b"date,festival\n"
        p.stdout.close()
        assert p.wait(timeout=300) == 128 + signal.SIGPIPE
        assert p.stderr.read() == b""

    def test_sigterm_leaves_nothing_behind(self, here):
        # The signal arrives once the first chunk has been written.
        prelude = TestChunks.SMALL + textwrap.dedent("""
            import os, signal
            write = orvik.cli.CsvOutput.write
            def write_then_terminate(self, chunk, festivals):
                write(self, chunk, festivals)
                os.kill(os.getpid(), signal.SIGTERM)
            orvik.cli.CsvOutput.write = write_then_terminate
            """)
        (here / "in.csv").write_text("date\n" + "2024-01-26\n" * 30)
        for output in [["--output", "out.csv"], []]:
            r = orvik("in.csv", *output, cwd=here, prelude=prelude)
            assert r.returncode == 128 + signal.SIGTERM and r.stdout == ""
            assert os.listdir(here) == ["in.csv"]


class TestFiles:
    def test_modes(self, here):
        r = orvik("in.csv", "--column", "when", "--output", "new.csv", cwd=here, umask=0o027)
        assert r.returncode == 0, r.stderr
        assert stat.S_IMODE(os.stat(here / "new.csv").st_mode) == 0o640
        (here / "old.csv").write_text("x\n")
        os.chmod(here / "old.csv", 0o604)
        orvik("in.csv", "--column", "when", "--output", "old.csv", cwd=here)
        assert stat.S_IMODE(os.stat(here / "old.csv").st_mode) == 0o604

    def test_messages(self, here):
        assert one_line_error(orvik("gone.parquet", cwd=here)) == "orvik: gone.parquet: not found"
        line = one_line_error(orvik("in.csv", "--column", "when", "--output", ".", cwd=here))
        assert "directory" in line and ".orvik-" not in line
        line = one_line_error(orvik("in.csv", "--column", "when", "--output", "out.parquet",
                                    cwd=here, prelude="import sys; sys.modules['pyarrow'] = None"))
        assert "pyarrow" in line and "parquet" in line
