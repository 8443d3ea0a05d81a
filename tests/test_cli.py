"""The orvik command, end to end in a subprocess, from a directory that holds
no ephemeris: it must find the packaged one and never touch the network."""

import os
import signal
import socket
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
        pa = pytest.importorskip("pyarrow")
        import pyarrow.csv as pcsv
        import pyarrow.parquet as pq

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
        # CSV out: each value as Arrow's own CSV writer renders it, never through
        # floats: an int64 with nulls, the largest uint64, binary text.
        table = pa.table({"when": pa.array(["2024-01-26", "2024-03-25", None]),
                          "big": pa.array([9007199254740993, None, 1], pa.int64()),
                          "most": pa.array([2**64 - 1, 0, 1], pa.uint64()),
                          "raw": pa.array([b"abc", None, b"x,y"], pa.binary())})
        pq.write_table(table, here / "typed.parquet")
        r = orvik("typed.parquet", "--column", "when", "--output", "typed.csv", cwd=here)
        assert r.returncode == 0, r.stderr
        expected = pa.BufferOutputStream()
        pcsv.write_csv(table.append_column("festival", pa.array(["Republic_Day", "Holi", None])),
                       expected)
        assert (here / "typed.csv").read_bytes() == expected.getvalue().to_pybytes()
        assert "9007199254740993,,\"Republic_Day\"" in (here / "typed.csv").read_text().replace(
            "18446744073709551615,\"abc\"", "")
        # Values CSV cannot hold are refused before any work, naming the column.
        pq.write_table(pa.table({"when": ["2024-01-26"], "s": [{"n": 9007199254740993}]}),
                       here / "nested.parquet")
        line = one_line_error(orvik("nested.parquet", "--column", "when", cwd=here))
        assert "column 's'" in line and "struct" in line and ".parquet" in line

    def test_csv_lines_are_kept(self, here):
        # CRLF and LF, blank lines, a quoted field over two lines (across two
        # chunks of two lines), text that is not ASCII, no final newline: the
        # output has the input's lines, each with one more field.
        for text in ["when,n\r\n2024-01-26,1\r\n\r\n2024-03-25,\"a\r\nb\"\r\n\r\n",
                     "when,n\n2024-01-26,1\n2024-03-25,\"a\r\nb\"\n",
                     "when,n\n\n2024-01-26,1\n\n\n2024-03-25,2",
                     "\nwhen,n\n2024-01-26,\"x,y\"\n",
                     "when,n\n2024-01-26,दीपावली\n2024-03-25,2\n"]:
            (here / "in.csv").write_bytes(text.encode())
            r = orvik("in.csv", "--column", "when", "--output", "out.csv", cwd=here,
                      prelude=TestChunks.SMALL.replace("= 7", "= 2"))
            assert r.returncode == 0, r.stderr
            out = (here / "out.csv").read_bytes().decode()
            expected = (text.replace("when,n", "when,n,festival", 1)
                        .replace("2024-01-26,1", "2024-01-26,1,Republic_Day")
                        .replace(",\"x,y\"", ",\"x,y\",Republic_Day")
                        .replace("2024-03-25,2", "2024-03-25,2,Holi")
                        .replace("\"a\r\nb\"", "\"a\r\nb\",Holi")
                        .replace("2024-01-26,दीपावली", "2024-01-26,दीपावली,Republic_Day"))
            assert out == expected
        # A record with a field more or less than the header: refused.
        (here / "in.csv").write_text("when,n\n2024-01-26,1\n2024-03-25,2,3\n")
        assert "row 2 has 3 fields where the header has 2" in one_line_error(
            orvik("in.csv", "--column", "when", cwd=here))

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
    # Eid ul-Fitr 2024 began at sunset on 10 April at Delhi: 19:30 and 20:15 India
    # time have it, 09:15, 14:00 and 14:45 do not.  Each value below is an instant
    # after that sunset, and read as India's wall clock (or with the sign of
    # UTC-05:30 turned over, as dateutil reads it) it would be one before.
    @pytest.mark.parametrize("tz, value, festival", [
        (None, "2024-04-10T14:45:00Z", "Eid_ul_Fitr"),
        (None, "20240410T144500Z", "Eid_ul_Fitr"),
        (None, "2024-04-10T14Z", "Eid_ul_Fitr"),
        (None, "2024-04-10T14:45:00+0000 (UTC)", "Eid_ul_Fitr"),
        (None, "2024-04-10T09:15:00 UTC-05:30", "Eid_ul_Fitr"),
        ("UTC", "2024-04-10T14:45:00Z", "Eid_ul_Fitr"),
        ("UTC", "2024-04-10T14", "Eid_ul_Fitr"),
        ("UTC", "20240410T144500", "Eid_ul_Fitr"),
        ("America/New_York", "2024-04-10 10:45", "Eid_ul_Fitr"),
        # New York's repeated hour is kept (its first, daylight, reading).
        ("America/New_York", "2024-11-03 01:30", "Bhai_Dooj"),
        # A date is a day: midnight in Tokyo would be 20:30 the day before in India.
        ("Asia/Tokyo", "2024-01-26", "Republic_Day"),
    ])
    def test_instants_in_any_spelling(self, here, tz, value, festival):
        (here / "in.csv").write_text(f"date\n{value}\n")
        r = orvik("in.csv", *(["--tz", tz] if tz else []), cwd=here)
        assert r.returncode == 0, r.stderr
        assert r.stdout.splitlines()[1] == f"{value},{festival}"
        assert "0 values could not be read" in r.stderr
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


class TestDayFirst:
    """Dates as India writes them: each row's festival is that of the same date
    written ISO.  04/11/2024 is Eid ul-Fitr read month first (11 April) and
    nothing read day first (4 November)."""

    @pytest.mark.parametrize("values, flags, iso, note", [
        (["31/10/2024", "04/11/2024", "11.04.2024"], [],
         ["2024-10-31", "2024-11-04", "2024-04-11"], "row 1 ('31/10/2024') can only be read day"),
        (["10/31/2024", "04/11/2024"], [], ["2024-10-31", "2024-04-11"],
         "row 1 ('10/31/2024') can only be read month first"),
        (["04/11/2024", "11/04/2024"], [], ["2024-04-11", "2024-11-04"],
         "read month first, as get_festival reads them (--dayfirst reads them day first)"),
        (["04/11/2024", "11/04/2024", "2024/04/11"], ["--dayfirst"],
         ["2024-11-04", "2024-04-11", "2024-04-11"], None),
        (["04/11/2024", "31/10/2024"], ["--monthfirst"], ["2024-04-11", "2024-10-31"], None),
        # Chunks of 7 rows: the evidence comes after a chunk read month first.
        (["04/11/2024"] * 8 + ["31/10/2024"], [], ["2024-11-04"] * 8 + ["2024-10-31"],
         "row 9 ('31/10/2024') can only be read day first"),
    ])
    def test_slash_and_dot_dates(self, here, mod, values, flags, iso, note):
        text = "date\n" + "\n".join(values) + "\n"
        (here / "in.csv").write_text(text)
        expected = [f"{v},{f}" for v, f in zip(values, festivals_of(iso, mod))]
        for source in ["in.csv", "-"]:  # standard input is read again from a copy
            r = orvik(source, *flags, cwd=here, input=text, prelude=TestChunks.SMALL)
            assert r.returncode == 0, r.stderr
            assert r.stdout.splitlines()[1:] == expected
            lines = r.stderr.splitlines()
            assert len(lines) == (1 if note is None else 2), r.stderr
            assert note is None or note in lines[0]

    def test_both_kinds_are_refused(self, here):
        (here / "in.csv").write_text("date\n2024-01-26\n31/10/2024\n10/31/2024\n")
        line = one_line_error(orvik("in.csv", "--output", "out.csv", cwd=here))
        assert "(row 2: '31/10/2024')" in line and "(row 3: '10/31/2024')" in line
        assert "--dayfirst or --monthfirst" in line and not (here / "out.csv").exists()


class TestChunks:
    """In chunks of 7 rows (CHUNK_ROWS set before the run)."""

    SMALL = "import orvik.cli.formats\norvik.cli.formats.CHUNK_ROWS = 7"

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


class TestOutside:
    # get_festival answers 1899-09-13 to 2053-10-12 with DE421 (every minute of
    # those days, none of the days around them); the observed calendar
    # 1899-12-02 to 2053-08-05.
    ROWS = ["1899-09-12 23:00", "1899-09-13", "2024-01-26", "2053-10-12 23:59", "2053-10-13",
            "1500-01-01", "2500-01-01T10:00Z"]

    @pytest.mark.parametrize("flags, outside, says", [
        ([], [0, 4, 5, 6], "the days the ephemeris lets get_festival answer, 1899-09-13 to "
                           "2053-10-12"),
        (["--observed"], [0, 1, 3, 4, 5, 6], "the observed calendar's span, 1899-12-02 to "
                                             "2053-08-05"),
    ])
    def test_skip_outside(self, here, flags, outside, says):
        (here / "in.csv").write_text("date\n" + "\n".join(self.ROWS) + "\n")
        r = orvik("in.csv", "--skip-outside", *flags, cwd=here)
        assert r.returncode == 0, r.stderr
        got = [line.split(",")[-1] for line in r.stdout.splitlines()[1:]]
        assert [k for k, f in enumerate(got) if not f] == outside
        assert f"orvik: {len(outside)} rows outside {says} have no festival" in r.stderr
        # Without it, the first such row fails the run, named with its value.
        line = one_line_error(orvik("in.csv", *flags, cwd=here))
        assert f"row 1 ('1899-09-12 23:00') is outside {says}" in line
        (here / "far.csv").write_text("date\n2024-01-26\n2500-01-01\n")
        line = one_line_error(orvik("far.csv", *flags, cwd=here))
        assert "row 2 ('2500-01-01') is outside" in line and "OutOfBounds" not in line


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

    def test_closed_standard_input(self, here):
        r = subprocess.run([sys.executable, "-m", "orvik", "-"], capture_output=True, text=True,
                           cwd=here, timeout=300, stdin=subprocess.DEVNULL,
                           preexec_fn=lambda: os.close(0))
        assert one_line_error(r) == "orvik: standard input is closed"

    # A signal at a chosen point: as the hidden file is made, as it is renamed,
    # during the copy to standard output.  Nothing is left behind, and the
    # output is there whole or not at all.
    MADE = """
        import os, signal, tempfile
        make = tempfile.mkstemp
        def make_then_terminate(*args, **kwargs):
            made = make(*args, **kwargs)
            os.kill(os.getpid(), signal.SIGTERM)
            return made
        tempfile.mkstemp = make_then_terminate
        """
    RENAMED = """
        import os, signal
        replace = os.replace
        def terminate_then_replace(*args):
            os.kill(os.getpid(), signal.SIGTERM)
            replace(*args)
        os.replace = terminate_then_replace
        """
    COPIED = """
        import os, shutil, signal
        copy = shutil.copyfileobj
        def interrupt_while_copying(source, target, size):
            target.write(source.read(10))
            os.kill(os.getpid(), signal.SIGINT)
            copy(source, target, size)
        shutil.copyfileobj = interrupt_while_copying
        """

    @pytest.mark.parametrize("prelude, output, status, whole", [
        (MADE, "out.csv", 128 + signal.SIGTERM, False),
        (RENAMED, "out.csv", 128 + signal.SIGTERM, True),
        (COPIED, None, 130, True),
    ])
    def test_signals_leave_nothing_behind(self, here, prelude, output, status, whole):
        expected = orvik("in.csv", "--column", "when", cwd=here).stdout
        r = orvik("in.csv", "--column", "when", *(["--output", output] if output else []),
                  cwd=here, prelude=textwrap.dedent(prelude))
        assert r.returncode == status, r.stderr
        assert sorted(os.listdir(here)) == sorted(["in.csv", *([output] if whole and output
                                                               else [])])
        written = (here / output).read_text() if output and whole else r.stdout
        assert written == (expected if whole else "")

    def test_sigterm_leaves_nothing_behind(self, here):
        # The signal arrives once the first chunk has been written.
        prelude = TestChunks.SMALL + textwrap.dedent("""
            import os, signal
            import orvik.cli.csvtext
            write = orvik.cli.csvtext.CsvToCsv.write
            def write_then_terminate(self, chunk, festivals):
                write(self, chunk, festivals)
                os.kill(os.getpid(), signal.SIGTERM)
            orvik.cli.csvtext.CsvToCsv.write = write_then_terminate
            """)
        (here / "in.csv").write_text("date\n" + "2024-01-26\n" * 30)
        for output in [["--output", "out.csv"], []]:
            r = orvik("in.csv", *output, cwd=here, prelude=prelude)
            assert r.returncode == 128 + signal.SIGTERM and r.stdout == ""
            assert os.listdir(here) == ["in.csv"]


class TestDestinations:
    """What is not a regular file is written in place or refused, never replaced;
    a symlink is followed."""

    @pytest.mark.parametrize("kind", ["fifo", "link to a fifo", "link to a file", "dangling link",
                                      "socket", "directory"])
    def test_not_a_regular_file(self, here, kind):
        expected = orvik("in.csv", "--column", "when", cwd=here).stdout
        target = here / "target"
        if "fifo" in kind:
            os.mkfifo(target)
        elif kind == "link to a file":
            target.write_text("old\n")
        elif kind == "socket":
            sock = socket.socket(socket.AF_UNIX)
            sock.bind(str(target))
        elif kind == "directory":
            target.mkdir()
        output = "out" if "link" in kind else "target"
        if "link" in kind:
            os.symlink("target", here / "out")
        reader = os.open(target, os.O_RDONLY | os.O_NONBLOCK) if "fifo" in kind else None
        r = orvik("in.csv", "--column", "when", "--output", output, cwd=here)
        if kind in ("socket", "directory"):
            assert f"--output {output}: is" in one_line_error(r)
            sock.close() if kind == "socket" else None
            assert sorted(os.listdir(here)) == ["in.csv", "target"]
            return
        assert r.returncode == 0, r.stderr
        if reader is not None:
            assert os.read(reader, 1 << 16).decode() == expected
            os.close(reader)
            assert stat.S_ISFIFO(os.stat(target).st_mode)
        else:
            assert target.read_text() == expected
        assert ("link" not in kind) or os.path.islink(here / "out")
        assert sorted(os.listdir(here)) == sorted(["in.csv", "target", *(["out"] if "link" in kind
                                                                          else [])])

    # Failures of the destination name the output as given, never the hidden file.
    FAILING_MKSTEMP = """
        import errno, os, tempfile
        def failing(*args, dir=None, **kwargs):
            raise OSError(errno.{0}, os.strerror(errno.{0}), os.path.join(dir, ".orvik-x1y2"))
        tempfile.mkstemp = failing
        """
    FULL_DISK = """
        import errno, os
        class Full:
            def __init__(self, handle):
                self.handle = handle
            def write(self, data):
                raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
            def __getattr__(self, name):
                return getattr(self.handle, name)
        fdopen = os.fdopen
        os.fdopen = lambda *args, **kwargs: Full(fdopen(*args, **kwargs))
        """

    @pytest.mark.parametrize("output, prelude, says", [
        ("nowhere/out.csv", "", "--output nowhere/out.csv: no such directory"),
        ("out.csv", FAILING_MKSTEMP.format("EACCES"), "cannot write out.csv: Permission denied"),
        ("out.csv", FAILING_MKSTEMP.format("EROFS"),
         "cannot write out.csv: Read-only file system"),
        ("out.csv", FULL_DISK, "cannot write out.csv: No space left on device"),
    ])
    def test_failures_name_the_output(self, here, output, prelude, says):
        (here / "out.csv").write_text("precious\n")
        line = one_line_error(orvik("in.csv", "--column", "when", "--output", output, cwd=here,
                                    prelude=textwrap.dedent(prelude)))
        assert line == f"orvik: {says}"
        assert sorted(os.listdir(here)) == ["in.csv", "out.csv"]
        assert (here / "out.csv").read_text() == "precious\n"


class TestArguments:
    @pytest.mark.parametrize("args, says", [
        (["--calendar", "2025", "--tz", "UTC"], "--calendar prints the observed calendar: --tz is "
                                                "for annotating a file"),
        (["--calendar", "2025", "--observed"], "--observed is for annotating a file"),
        (["in.csv", "--calendar", "2025"], "a file to annotate is for annotating a file"),
        (["in.csv", "--column", "when", "--into", ""], "--into needs a name"),
        (["in.csv", "--column", "when", "--output", ""], "--output needs a name"),
    ])
    def test_refused(self, here, args, says):
        assert says in one_line_error(orvik(*args, cwd=here))

    def test_calendar_years_and_dates(self, here):
        year = orvik("--calendar", "2025", cwd=here).stdout
        assert orvik("--calendar", "02025", cwd=here).stdout == year and year.count("\n") > 50
        # Two dates read as one column: 31/10 makes 04/11 the 4th of November.
        r = orvik("--calendar", "31/10/2024", "04/11/2024", cwd=here)
        assert r.returncode == 0, r.stderr
        days = {line.split(",")[0] for line in r.stdout.splitlines()[1:]}
        assert min(days) == "2024-10-31" and max(days) <= "2024-11-04"
        r = orvik("--dayfirst", "--monthfirst", "in.csv", cwd=here)
        assert r.returncode == 2 and "not allowed with" in r.stderr
        # A date out of reach is named as such, with no word of day order.
        r = orvik("--calendar", "3000-01-01", "3001-01-01", cwd=here)
        assert "outside" in one_line_error(r) and "--dayfirst" not in r.stderr


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
