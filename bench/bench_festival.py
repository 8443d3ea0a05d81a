"""Cost of get_festival per distinct date-time, and its peak memory on a large frame.

Run from a directory that holds "de421.bsp" (./dev bench does).  Prints a table;
`--quick` shortens the hourly case to its first 30 days.
"""

import argparse
import resource
import time
import tracemalloc

import numpy as np
import pandas as pd

from orvik.Tavrolen import Tavrolen


def timed(df):
    t = Tavrolen()
    t._Tavrolen__initialize_astronomy()          # loading the ephemeris is not per date
    start = time.perf_counter()
    t.get_festival(df, "date")
    return time.perf_counter() - start, df["date"].nunique()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--rows", type=int, default=1_000_000)
    args = parser.parse_args()

    daily = pd.date_range("2024-01-01", "2024-12-31", freq="D").strftime("%Y-%m-%d")
    hours = 30 * 24 if args.quick else 366 * 24
    hourly = pd.date_range("2024-01-01 01:00", periods=hours, freq="h").strftime("%Y-%m-%d %H:%M")

    print(f"{'case':<34}{'distinct':>10}{'seconds':>10}{'ms / distinct':>16}")
    for name, values in (("1 year daily", daily), (f"{hours // 24} days hourly", hourly)):
        seconds, distinct = timed(pd.DataFrame({"date": values}))
        print(f"{name:<34}{distinct:>10}{seconds:>10.1f}{1000 * seconds / distinct:>16.2f}")

    rng = np.random.default_rng(0)
    df = pd.DataFrame({"date": rng.choice(np.asarray(daily, dtype=object), args.rows),
                       "value": rng.random(args.rows)})
    frame_bytes = df.memory_usage(deep=True).sum()
    tracemalloc.start()
    seconds, distinct = timed(df)
    _, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    after = df.memory_usage(deep=True).sum()
    print(f"\n{args.rows:,} rows drawn from the daily dates ({distinct} distinct): {seconds:.1f} s")
    print(f"{'frame before':<34}{frame_bytes / 2**20:>10.1f} MiB")
    print(f"{'frame after':<34}{after / 2**20:>10.1f} MiB")
    print(f"{'peak traced during the call':<34}{peak / 2**20:>10.1f} MiB"
          f"   ({peak / frame_bytes:.2f} x the frame before)")
    print(f"{'process max RSS':<34}{resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 2**10:>10.1f} MiB")


if __name__ == "__main__":
    main()
