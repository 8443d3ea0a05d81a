"""The orvik command, end to end in a subprocess, from a directory that holds
no ephemeris: it must find the packaged one and never touch the network."""

import bz2
import contextlib
import gzip
import io
import lzma
import os
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import textwrap
import zipfile

import pandas as pd
import pytest
from conftest import BSP

ROWS = ["2024-01-26", "2024-03-25", "2024-04-10 20:15", "not a date", "2024-02-05"]


def orvik(*args, cwd, input=None, prelude="", umask=None, stdout=subprocess.PIPE, env=None):
    """The command in a fresh interpreter; `prelude` runs first (to provoke a
    condition at a chosen point).  Standard input is empty unless `input` gives
    text or a file; standard output is captured unless `stdout` gives a file."""
    code = f"{prelude}\nimport sys\nfrom orvik.cli import main\nraise SystemExit(main(sys.argv[1:]))"
    text = input if isinstance(input, str) else None
    stdin = None if text is not None else subprocess.DEVNULL if input is None else input
    return subprocess.run([sys.executable, "-c", code, *args], stdin=stdin, input=text,
                          stdout=stdout, stderr=subprocess.PIPE, encoding="utf-8", cwd=cwd,
                          timeout=300, env=None if env is None else {**os.environ, **env},
                          preexec_fn=None if umask is None else lambda: os.umask(umask))


def one_line_error(result):
    assert result.returncode != 0
    lines = result.stderr.strip().splitlines()
    assert len(lines) == 1 and lines[0].startswith("orvik: "), result.stderr
    assert "Traceback" not in result.stderr
    return lines[0]


def compressed(data, suffix, name):
    if suffix == ".zip":
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w") as archive:
            archive.writestr(name, data)
        return out.getvalue()
    if suffix == ".zst":
        import zstandard

        return zstandard.ZstdCompressor().compress(data)
    return {".gz": gzip, ".bz2": bz2, ".xz": lzma}[suffix].compress(data)


def decompressed(data, suffix):
    if suffix == ".zip":
        with zipfile.ZipFile(io.BytesIO(data)) as archive:
            assert len(archive.namelist()) == 1
            return archive.read(archive.namelist()[0])
    if suffix == ".zst":
        import zstandard

        return zstandard.ZstdDecompressor().stream_reader(io.BytesIO(data)).read()
    return {".gz": gzip, ".bz2": bz2, ".xz": lzma}[suffix].decompress(data)


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
        r = subprocess.run([script, "--version"], stdin=subprocess.DEVNULL, capture_output=True,
                           text=True, cwd=here)
        assert r.returncode == 0 and r.stdout.startswith("orvik ")


class TestFailures:
    """One clear line on standard error, a non-zero exit, no output file."""

    def test_missing_column(self, here):
        line = one_line_error(orvik("in.csv", "--output", "out.csv", cwd=here))
        assert "no column 'date'" in line and "when, n" in line
        assert not (here / "out.csv").exists()

    @pytest.mark.parametrize("name, content, says", [
        ("bad.csv", None, "bad.csv: not found"),
        ("bad.csv", b"\x00\x01\x02garbage", "line 1 holds a NUL character"),
        ("bad.csv", b"", "the file is empty"),
        ("/dev/zero", None, "line 1 holds a NUL character"),
        ("bad.csv", "a line too long to hold", "line 2 is longer than 16,777,216 characters"),
        ("bad.csv", gzip.compress(b"date\n2024-01-26\n"), "it is compressed as .gz files are"),
        ("bad.csv.gz", b"date\n2024-01-26\n", "bad.csv.gz: gzip data: Not a gzipped file"),
        ("bad.csv.gz", gzip.compress(b"date\n2024-01-26\n")[:-4], "gzip data: Compressed file "
                                                                 "ended"),
        ("bad.csv.zip", "two files", "a .zip must hold one file, and it holds 2: a.csv, b.csv"),
        ("bad.csv", "one byte of cp1252 on line 3", "line 3 is not UTF-8 text (a byte 0xe9): name "
                                                    "its encoding with --encoding"),
        ("bad.csv", "a header with ';' and '|'", "its header holds no comma and both ';' and '|': "
                                                 "name the separator with --sep"),
    ])
    def test_unreadable_file(self, here, name, content, says):
        if content == "two files":
            with zipfile.ZipFile(here / name, "w") as archive:
                archive.writestr("a.csv", "date\n")
                archive.writestr("b.csv", "date\n")
        elif content == "one byte of cp1252 on line 3":
            (here / name).write_bytes("date,who\n2024-01-26,x\n2024-01-26,José\n".encode("cp1252"))
        elif content == "a line too long to hold":
            (here / name).write_text("date\n" + "9" * (1 << 25) + "\n")
        elif content == "a header with ';' and '|'":
            (here / name).write_text("date;amount|x\n2024-01-26;1|2\n")
        elif content is not None:
            (here / name).write_bytes(content)
        line = one_line_error(orvik(name, "--output", "out.csv", cwd=here))
        assert name in line and says in line, line
        made = {name} if content is not None else set()
        assert sorted(os.listdir(here)) == sorted({"in.csv", *made})

    def test_ephemeris_missing_or_damaged(self, here):
        line = one_line_error(orvik("in.csv", "--column", "when", "--ephemeris", "nowhere.bsp",
                                    cwd=here))
        assert "ephemeris not found" in line and "nowhere.bsp" in line
        with open(BSP, "rb") as whole:
            (here / "cut.bsp").write_bytes(whole.read(5_000_000))
        line = one_line_error(orvik("in.csv", "--column", "when", "--ephemeris", "cut.bsp",
                                    cwd=here))
        assert "cut.bsp is cut short: its data runs to byte 16,788,128 and the file has " \
               "5,000,000" in line and "row" not in line

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

    @pytest.mark.parametrize("suffix", [".gz", ".bz2", ".xz", ".zst", ".zip"])
    def test_compressed(self, here, suffix):
        """Read and written compressed as the names say; decompressed, the output is
        the plain file's output."""
        if suffix == ".zst":
            pytest.importorskip("zstandard")
        expected = orvik("in.csv", "--column", "when", cwd=here).stdout
        plain = (here / "in.csv").read_bytes()
        (here / f"in.csv{suffix}").write_bytes(compressed(plain, suffix, "in.csv"))
        r = orvik(f"in.csv{suffix}", "--column", "when", "--output", f"out.csv{suffix}",
                  cwd=here)
        assert r.returncode == 0, r.stderr
        assert decompressed((here / f"out.csv{suffix}").read_bytes(), suffix) == expected.encode()
        r = orvik(f"in.csv{suffix}", "--column", "when", cwd=here)
        assert r.stdout == expected

    @pytest.mark.parametrize("text, flags, out, note", [
        ("date;amount\n2024-01-26;1,5\n", [], "date;amount;festival\n2024-01-26;1,5;Republic_Day\n",
         "in.csv: its header holds ';' and no comma, so its fields are read as separated by ';'"),
        ("date\tn\n2024-01-26\t1\n", [], "date\tn\tfestival\n2024-01-26\t1\tRepublic_Day\n",
         "read as separated by tab"),
        ('"d|x"|date\n"a|b"|2024-01-26\n', [], '"d|x"|date|festival\n"a|b"|2024-01-26|Republic_Day\n',
         "read as separated by '|'"),
        ("date;n\n2024-01-26;1\n", ["--sep", ";"], "date;n;festival\n2024-01-26;1;Republic_Day\n",
         None),
        ("date\tn\n2024-01-26\t1\n", ["--sep", "\\t"],
         "date\tn\tfestival\n2024-01-26\t1\tRepublic_Day\n", None),
        # A comma in the header wins: "date;amount" is one column, and no column "date".
        ("x,date;amount\n1,2024-01-26;1\n", [], None, "no column 'date'"),
    ])
    def test_separators(self, here, text, flags, out, note):
        (here / "in.csv").write_text(text)
        r = orvik("in.csv", *flags, cwd=here)
        if out is None:
            assert note in one_line_error(r)
            return
        assert r.returncode == 0 and r.stdout == out, r.stderr
        assert (note in r.stderr.splitlines()[0]) if note else len(r.stderr.splitlines()) == 1

    @pytest.mark.parametrize("encoding, text, out", [
        ("cp1252", "who,date\nJosé,2024-01-26\n", "who,date,festival\nJosé,2024-01-26,Republic_Day\n"),
        ("latin-1", "who,date\nJosé,2024-01-26\n", "who,date,festival\nJosé,2024-01-26,Republic_Day\n"),
        ("utf-16", "who,date\nदीपावली,2024-01-26\n",
         "who,date,festival\nदीपावली,2024-01-26,Republic_Day\n"),
        ("utf-16-be", "\ufeffwho,date\n\n2024-01-26,2024-01-26\n",
         "\ufeffwho,date,festival\n\n2024-01-26,2024-01-26,Republic_Day\n"),
        # A byte-order mark before a quoted header, a quoted comma in a name.
        (None, '\ufeff"who","date, IST"\n"José, Jr.",2024-01-26\n',
         '\ufeff"who","date, IST",festival\n"José, Jr.",2024-01-26,Republic_Day\n'),
    ])
    def test_encodings(self, here, encoding, text, out):
        """The output is in the input's encoding, its byte-order mark included."""
        (here / "in.csv").write_bytes(text.encode(encoding or "utf-8"))
        r = orvik("in.csv", "--column", "date" if encoding else "date, IST", "--output", "out.csv",
                  *(["--encoding", encoding] if encoding else []), cwd=here)
        assert r.returncode == 0, r.stderr
        assert (here / "out.csv").read_bytes() == out.encode(encoding or "utf-8")
        if encoding == "cp1252":
            line = one_line_error(orvik("in.csv", "--encoding", encoding, "--into", "त्योहार",
                                        cwd=here))
            assert "--into 'त्योहार' cannot be written in cp1252, the input's encoding" in line

    def test_an_existing_festival_column(self, here):
        (here / "in.csv").write_text("date,festival\n2024-01-26,mine\n")
        line = one_line_error(orvik("in.csv", cwd=here))
        assert "already has a column 'festival'" in line and "--into" in line
        r = orvik("in.csv", "--into", "orvik", cwd=here)
        assert r.stdout.splitlines() == ["date,festival,orvik", "2024-01-26,mine,Republic_Day"]


class TestOnlyDates:
    @pytest.mark.parametrize("values, kind", [(["1", "20240126", ""], "integer"),
                                              (["1.5", "2"], "float"),
                                              (["TRUE", "false"], "boolean"),
                                              (["45591", "45600"], "integer values: numbers are "
                                               "not dates (if they are Excel's serial day "
                                               "numbers, 45591 being 2024-10-26")])
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
        # India's zone by the names India's data gives it.
        ("UTC", "2024-04-10 20:15 IST", "Eid_ul_Fitr"),
        ("UTC", "2024-04-10 20:15 Asia/Kolkata", "Eid_ul_Fitr"),
        ("IST", "2024-04-10 20:15", "Eid_ul_Fitr"),
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
        # The date need not come first in the value.
        (["20:00 31/10/2024", "20:00 01/11/2024"], [], ["2024-10-31 20:00", "2024-11-01 20:00"],
         "row 1 ('20:00 31/10/2024') can only be read day first"),
        # Two-digit years: Excel's century, whatever today is.
        (["15-Aug-47", "15-Aug-24"], [], ["1947-08-15", "2024-08-15"],
         "row 1 ('15-Aug-47') has a two-digit year, read as 1947"),
    ])
    def test_slash_and_dot_dates(self, here, mod, values, flags, iso, note):
        text = "date\n" + "\n".join(values) + "\n"
        (here / "in.csv").write_text(text)
        expected = [f"{v},{f}" for v, f in zip(values, festivals_of(iso, mod))]
        # Standard input is read again: a pipe from a copy, a file from where it began.
        for source, given in [("in.csv", None), ("-", text), ("-", "in.csv")]:
            with open(here / "in.csv") if given == "in.csv" else contextlib.nullcontext(given) as stdin:
                r = orvik(source, *flags, cwd=here, input=stdin, prelude=TestChunks.SMALL)
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

    SMALL = "import orvik.cli.chunks\norvik.cli.chunks.CHUNK_ROWS = 7"

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
                             stdin=subprocess.DEVNULL,
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

    # The dispositions a test that provokes a signal relies on, set in the
    # command's process whatever started the suite (a shell starts an
    # asynchronous command with SIGINT ignored, and Python keeps it so).
    DEFAULT = """
        import signal
        signal.signal(signal.SIGINT, signal.default_int_handler)
        signal.signal(signal.SIGTERM, signal.SIG_DFL)
        """
    IGNORED = """
        import signal
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        """
    # A signal at a chosen point: as the hidden file is made, as it is renamed,
    # during the copy to standard output.  Nothing is left behind, and the
    # output is there whole or not at all; an ignored signal stays ignored.
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
        import os, signal
        import orvik.cli.destination as destination
        write_all = destination.write_all
        def interrupt_while_copying(fd, data):
            write_all(fd, data[:10])
            os.kill(os.getpid(), signal.SIGINT)
            write_all(fd, data[10:])
        destination.write_all = interrupt_while_copying
        """

    @pytest.mark.parametrize("disposition, prelude, output, status, whole", [
        (DEFAULT, MADE, "out.csv", 128 + signal.SIGTERM, False),
        (DEFAULT, RENAMED, "out.csv", 128 + signal.SIGTERM, True),
        (DEFAULT, COPIED, None, 130, True),
        (IGNORED, MADE, "out.csv", 0, True),
        (IGNORED, COPIED, None, 0, True),
    ])
    def test_signals_leave_nothing_behind(self, here, disposition, prelude, output, status,
                                          whole):
        expected = orvik("in.csv", "--column", "when", cwd=here).stdout
        r = orvik("in.csv", "--column", "when", *(["--output", output] if output else []),
                  cwd=here, prelude=textwrap.dedent(disposition) + textwrap.dedent(prelude))
        assert r.returncode == status, r.stderr
        assert sorted(os.listdir(here)) == sorted(["in.csv", *([output] if whole and output
                                                               else [])])
        written = (here / output).read_text() if output and whole else r.stdout
        assert written == (expected if whole else "")

    def test_sigterm_leaves_nothing_behind(self, here):
        # The signal arrives once the first chunk has been written.
        prelude = textwrap.dedent(self.DEFAULT) + TestChunks.SMALL + textwrap.dedent("""
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

    # Writes that take fewer bytes than they are given: at most 1,000 a call,
    # then (with a number) a full disk after that many calls.
    SHORT = """
        import errno, os
        write, calls, full = os.write, [], {}
        def short(fd, data):
            calls.append(fd)
            if full is not None and len(calls) > full:
                raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
            return write(fd, bytes(data[:1000]))
        os.write = short
        """

    @pytest.mark.parametrize("how, says", [
        ("short writes", None),
        ("short writes, then a full disk", "standard output: No space left on device"),
        ("a non-blocking pipe", None),
        ("standard output on /dev/full", "standard output: No space left on device"),
        ("--output /dev/full", "/dev/full: No space left on device"),
    ])
    def test_every_write_is_whole_or_fails(self, here, how, says):
        # Unbuffered standard output, as many container images set it.
        env = {"PYTHONUNBUFFERED": "1"}
        (here / "big.csv").write_text("date\n" + "2024-01-26\n" * 50_000)
        expected = "date,festival\n" + "2024-01-26,Republic_Day\n" * 50_000
        if how == "a non-blocking pipe":  # full at 64 KiB until the reader reads
            read_end, write_end = os.pipe()
            os.set_blocking(write_end, False)
            p = subprocess.Popen([sys.executable, "-m", "orvik", "big.csv"], cwd=here,
                                 stdin=subprocess.DEVNULL, stdout=write_end,
                                 stderr=subprocess.DEVNULL, env={**os.environ, **env})
            os.close(write_end)
            with open(read_end, "rb") as pipe:
                got = pipe.read()
            assert p.wait(timeout=300) == 0 and got.decode() == expected
            return
        full = 3 if "full disk" in how else None
        prelude = textwrap.dedent(self.SHORT.format(full)) if "short" in how else ""
        args = ["--output", "/dev/full"] if how.startswith("--output") else []
        with open("/dev/full" if "standard output on" in how else os.devnull, "w") as device:
            stdout = device if "standard output on" in how else subprocess.PIPE
            r = orvik("big.csv", *args, cwd=here, prelude=prelude, env=env, stdout=stdout)
        if says is None:
            assert r.returncode == 0 and r.stdout == expected
        else:
            assert one_line_error(r) == f"orvik: cannot write {says}"
        assert sorted(os.listdir(here)) == ["big.csv", "in.csv"]

    # No room for a temporary file in $TMPDIR.
    NO_TEMPORARY_ROOM = """
        import errno, os, tempfile
        def full(*args, **kwargs):
            raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
        tempfile.TemporaryFile = full
        """

    def test_standard_streams_that_are_files(self, here):
        expected = orvik("in.csv", "--column", "when", cwd=here).stdout
        prelude = textwrap.dedent(self.NO_TEMPORARY_ROOM)
        (here / "out.csv").write_text("kept\n")
        (here / "old.csv").write_text("when\n2024-01-26\n1850-01-01\n")
        # Regular files need no temporary copy: read in place (and again when a
        # later chunk decides the day order), written in place (appended here),
        # and cut back to where they began when the run fails.
        for source, status, after in [("old.csv", 1, "kept\n"), ("in.csv", 0, "kept\n" + expected)]:
            with open(here / source) as stdin, open(here / "out.csv", "a") as stdout:
                r = orvik("-", "--column", "when", cwd=here, input=stdin, stdout=stdout,
                          prelude=prelude)
            assert r.returncode == status, r.stderr
            assert (here / "out.csv").read_text() == after
        # Standard output that is the input file is refused, as --output is.
        with open(here / "in.csv", "a") as stdout:
            line = one_line_error(orvik("in.csv", "--column", "when", cwd=here, stdout=stdout))
        assert line == "orvik: standard output is the input file: choose another output"
        # A pipe's output and piped input are kept in $TMPDIR: a failure says so.
        for source in ["in.csv", "-"]:
            line = one_line_error(orvik(source, "--column", "when", cwd=here, prelude=prelude,
                                        input=(here / "in.csv").read_text()))
            assert "in " + tempfile.gettempdir() in line and "TMPDIR" in line, line
            assert ("standard input" in line) == (source == "-")


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
        ("newdir/", "", "--output newdir/: names a directory, not a file"),
        ("out.parquet.gz", "", "--output out.parquet.gz: Parquet compresses its own columns; name "
                               "it without .gz"),
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
        # How the two dates were read is said, as for a column.
        for dates, says in [(["01/10/2024", "31/10/2024"], "can only be read day first"),
                            (["01/10/2024", "05/10/2024"], "they are read month first")]:
            r = orvik("--calendar", *dates, cwd=here)
            assert r.returncode == 0 and says in r.stderr.splitlines()[0], r.stderr


class TestFiles:
    def test_modes(self, here):
        r = orvik("in.csv", "--column", "when", "--output", "new.csv", cwd=here, umask=0o027)
        assert r.returncode == 0, r.stderr
        assert stat.S_IMODE(os.stat(here / "new.csv").st_mode) == 0o640
        (here / "old.csv").write_text("x\n")
        os.chmod(here / "old.csv", 0o604)
        orvik("in.csv", "--column", "when", "--output", "old.csv", cwd=here)
        assert stat.S_IMODE(os.stat(here / "old.csv").st_mode) == 0o604

    def test_owner_and_links(self, here):
        """A replaced file is a new file: its other hard links keep the old content
        (a line says so); it keeps its owner and group where the user may give them."""
        (here / "out.csv").write_text("old\n")
        os.link(here / "out.csv", here / "link.csv")
        r = orvik("in.csv", "--column", "when", "--output", "out.csv", cwd=here)
        assert r.returncode == 0
        assert "out.csv is a new file: 1 other hard link keeps the old content" in r.stderr
        assert (here / "link.csv").read_text() == "old\n"
        if os.geteuid() == 0:  # only root may give a file to another user
            os.chown(here / "out.csv", 12345, 23456)
            assert orvik("in.csv", "--column", "when", "--output", "out.csv", cwd=here).returncode == 0
            assert (os.stat(here / "out.csv").st_uid, os.stat(here / "out.csv").st_gid) == (12345, 23456)

    def test_messages(self, here):
        assert one_line_error(orvik("gone.parquet", cwd=here)) == "orvik: gone.parquet: not found"
        line = one_line_error(orvik("in.csv", "--column", "when", "--output", ".", cwd=here))
        assert "directory" in line and ".orvik-" not in line
        line = one_line_error(orvik("in.csv", "--column", "when", "--output", "out.parquet",
                                    cwd=here, prelude="import sys; sys.modules['pyarrow'] = None"))
        assert "pyarrow" in line and "parquet" in line


def test_as_a_background_job_starts_it(tmp_path):
    """The command line's tests that provoke signals, write files or read dates
    pass as a background job starts them: SIGINT ignored (as a shell starts an
    asynchronous command), another zone, the C locale, umask 077."""
    def start():
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        os.umask(0o077)

    env = {**os.environ, "TZ": "America/New_York", "LC_ALL": "C"}
    r = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                        f"--basetemp={tmp_path / 'run'}", "-k", "(Signals or Files or TimeZones or "
                        "encodings) and not background", __file__],
                       cwd=os.path.dirname(__file__), env=env, preexec_fn=start,
                       stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
    assert r.returncode == 0, r.stdout[-4000:] + r.stderr[-2000:]
    assert " passed" in r.stdout.splitlines()[-1] and "deselected" in r.stdout.splitlines()[-1]
