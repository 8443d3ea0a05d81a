"""Annotates a CSV of dates with their festivals and prints the rows that have one.

    python examples/demo.py data/sample_dates.csv

Run it from a directory that holds "de421.bsp" (./dev demo does all of this).
"""

import sys
import time

import pandas as pd

from orvik.Tavrolen import Tavrolen


def main(path: str) -> None:
    df = pd.read_csv(path, dtype={"date": str}, keep_default_na=False)
    started = time.perf_counter()
    Tavrolen().get_festival(df, "date")
    elapsed = time.perf_counter() - started

    found = df[df["festival"].notna()]
    with pd.option_context("display.max_rows", None, "display.width", 120,
                           "display.max_colwidth", 80):
        print(found.to_string())
    unparsed = int(df["date"].isna().sum())
    print(f"\n{len(found)} of {len(df)} rows fall on a festival or holiday; "
          f"{unparsed} dates could not be read; "
          f"{df['date'].nunique()} distinct date-times in {elapsed:.1f} s.")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/sample_dates.csv")
