"""get_festival's cost per distinct date-time and its peak memory, the one-date
path and the batch evaluator side by side in one run.

Run from a directory that holds "de421.bsp" (./dev bench does).  The one-date
path is forced by an instance attribute (any override of a method makes
get_festival call __get_festival_holiday once per distinct date-time).
`--quick` runs the one-date path on the first year-daily case only.  Peak
memory is what tracemalloc sees during the call (taken in a separate call, as
tracing slows it); the one-date path's is taken on 60 dates, as it does not
grow with their number.
"""

import argparse
import gc
import time
import tracemalloc

import numpy as np
import pandas as pd

from orvik.Tavrolen import Tavrolen


def annotator(one_date):
    t = Tavrolen()
    t._Tavrolen__initialize_astronomy()          # loading the ephemeris is not per date
    if one_date:
        t._Tavrolen__get_festival_holiday = t._Tavrolen__get_festival_holiday
    return t


def run(t, df, trace=False):
    """Seconds of one get_festival call, or its peak traced memory in bytes.
    Tracing slows the call several times over, so time and memory are taken in
    separate calls."""
    gc.collect()
    if trace:
        tracemalloc.start()
    start = time.perf_counter()
    t.get_festival(df, "date")
    seconds = time.perf_counter() - start
    if not trace:
        return seconds
    peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    return peak


def measure(values, one_date):
    """Seconds, distinct date-times, peak memory and the festival column."""
    df = pd.DataFrame({"date": values})
    seconds = run(annotator(one_date), df)
    # The one-date path's memory does not grow with the dates: 60 of them show it.
    sample = values[:60] if one_date else values
    peak = run(annotator(one_date), pd.DataFrame({"date": sample}), trace=True)
    return seconds, df["date"].nunique(), peak, df["festival"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--rows", type=int, default=1_000_000)
    args = parser.parse_args()

    def daily(years):
        return pd.date_range("2015-01-01", periods=round(365.25 * years), freq="D").strftime("%Y-%m-%d")

    hourly = pd.date_range("2024-01-01 01:00", periods=366 * 24, freq="h").strftime("%Y-%m-%d %H:%M")
    cases = [("1 year daily", daily(1)), ("10 years daily", daily(10)), ("1 year hourly", hourly)]

    print(f"{'case':<16}{'distinct':>9}{'one-date s':>12}{'batch s':>10}{'one-date us':>13}"
          f"{'batch us':>10}{'speed-up':>10}{'peak MiB':>18}")
    for i, (name, values) in enumerate(cases):
        fast, distinct, fast_peak, fast_col = measure(values, one_date=False)
        if args.quick and i > 0:
            print(f"{name:<16}{distinct:>9}{'-':>12}{fast:>10.2f}{'-':>13}"
                  f"{1e6 * fast / distinct:>10.1f}{'-':>10}{'- / ' + format(fast_peak / 2**20, '.1f'):>18}")
            continue
        slow, _, slow_peak, slow_col = measure(values, one_date=True)
        assert fast_col.fillna("-").equals(slow_col.fillna("-")), name
        print(f"{name:<16}{distinct:>9}{slow:>12.1f}{fast:>10.2f}{1e6 * slow / distinct:>13.0f}"
              f"{1e6 * fast / distinct:>10.1f}{slow / fast:>9.0f}x"
              f"{slow_peak / 2**20:>9.1f} /{fast_peak / 2**20:>6.1f}")

    rng = np.random.default_rng(0)
    dates = np.asarray(daily(1), dtype=object)
    df = pd.DataFrame({"date": rng.choice(dates, args.rows), "value": rng.random(args.rows)})
    frame_bytes = df.memory_usage(deep=True).sum()
    seconds = run(annotator(one_date=False), df.copy())
    peak = run(annotator(one_date=False), df, trace=True)
    print(f"\n{args.rows:,} rows drawn from 1 year of daily dates, batch: {seconds:.1f} s")
    print(f"  frame before {frame_bytes / 2**20:.1f} MiB, peak traced during the call "
          f"{peak / 2**20:.1f} MiB ({peak / frame_bytes:.2f} x the frame)")


if __name__ == "__main__":
    main()
