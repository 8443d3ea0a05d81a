"""The orvik command: annotate the dates of a CSV or Parquet file.

    orvik dates.csv --column date --output annotated.csv

The "festival" column is added as get_festival adds it; the result goes to
--output (CSV, or Parquet for a .parquet name) or, by default, to standard
output as CSV.  The ephemeris is the "de421.bsp" shipped by skyfield-data
unless --ephemeris names another, so nothing is downloaded and the command
works from any directory.  Every failure is one line on standard error and a
non-zero exit; an output file is written whole or not at all.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import sys
import tempfile
from collections.abc import Iterator

EPHEMERIS = "de421.bsp"
PARQUET = (".parquet", ".pq")


class Failure(Exception):
    """A failure reported as one line, without a traceback."""


def packaged_ephemeris() -> str:
    import skyfield_data

    return os.path.join(os.path.dirname(skyfield_data.__file__), "data", EPHEMERIS)


@contextlib.contextmanager
def ephemeris_directory(path: str) -> Iterator[None]:
    """Runs the block in a scratch directory where Skyfield's load() finds
    `path` as "de421.bsp"; paths given on the command line were made absolute
    before."""
    if not os.path.isfile(path):
        raise Failure(f"ephemeris not found: {path}")
    previous = os.getcwd()
    with tempfile.TemporaryDirectory(prefix="orvik-") as scratch:
        os.symlink(os.path.abspath(path), os.path.join(scratch, EPHEMERIS))
        os.chdir(scratch)
        try:
            yield
        finally:
            os.chdir(previous)


def read_frame(path: str, column: str):
    import pandas as pd

    try:
        if path.lower().endswith(PARQUET):
            df = pd.read_parquet(path)
        else:
            # Dates stay text: get_festival reads each value itself.
            df = pd.read_csv(path, dtype={column: str}, keep_default_na=False)
    except (OSError, ValueError, ImportError) as exc:
        raise Failure(f"cannot read {path}: {exc}") from None
    if column not in df.columns:
        names = ", ".join(map(str, df.columns))
        raise Failure(f"no column {column!r} in {path} (columns: {names})")
    return df


def write_frame(df, output: str | None) -> None:
    if output is None:
        df.to_csv(sys.stdout, index=False)
        return
    directory = os.path.dirname(os.path.abspath(output))
    fd, partial = tempfile.mkstemp(prefix=".orvik-", dir=directory)
    os.close(fd)
    try:
        if output.lower().endswith(PARQUET):
            df.to_parquet(partial, index=False)
        else:
            df.to_csv(partial, index=False)
        os.replace(partial, output)
    except BaseException:
        os.unlink(partial)
        raise


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="orvik", description="Annotate the dates of a CSV or Parquet file with the "
        "Hindu, Islamic and fixed-date festivals of India.")
    p.add_argument("input", help="a CSV file, or a Parquet file (.parquet, .pq)")
    p.add_argument("--column", default="date", help='the column of dates (default: "date")')
    p.add_argument("--output", help="where to write the result (default: CSV on standard "
                   "output); a .parquet name writes Parquet")
    p.add_argument("--ephemeris", help="a de421.bsp file (default: the one skyfield-data ships)")
    p.add_argument("--version", action="version", version=f"%(prog)s {version()}")
    return p


def version() -> str:
    import orvik

    return orvik.__version__


def run(args: argparse.Namespace) -> int:
    from orvik.Tavrolen import Tavrolen

    source = os.path.abspath(args.input)
    output = os.path.abspath(args.output) if args.output else None
    ephemeris = os.path.abspath(args.ephemeris) if args.ephemeris else packaged_ephemeris()
    if output is not None and not os.path.isdir(os.path.dirname(output)):
        raise Failure(f"no such directory for the output: {os.path.dirname(output)}")
    df = read_frame(source, args.column)
    with ephemeris_directory(ephemeris):
        try:
            Tavrolen().get_festival(df, args.column)
        except Exception as exc:
            raise Failure(f"cannot annotate {args.input}: {type(exc).__name__}: {exc}") from None
    write_frame(df, output)
    found = int(df["festival"].notna().sum())
    print(f"orvik: {found} of {len(df)} rows have a festival", file=sys.stderr)
    return 0


def main(argv: list[str] | None = None) -> int:
    args = parser().parse_args(argv)
    try:
        return run(args)
    except Failure as exc:
        print(f"orvik: {exc}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("orvik: interrupted", file=sys.stderr)
        return 130
    except Exception as exc:  # anything unforeseen still gets one line
        print(f"orvik: {type(exc).__name__}: {exc}", file=sys.stderr)
        return 1
