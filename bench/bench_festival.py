"""get_festival against pandas' own share of the same work, and against the
one-date path, side by side in one run.

Run from a directory that holds "de421.bsp" (./dev bench does).

- The floor of a frame is what pandas alone spends on it inside get_festival:
  pd.to_datetime(col, format="mixed", dayfirst=False, errors="coerce"), the
  midnight shift, and Series.map through a dict that already holds every answer.
- The one-date path (one __get_festival_holiday call per distinct date-time) is
  forced by an instance attribute and timed on a sample of the dates.
- Fallbacks are the minutes handed to the one-date path, counted in a separate
  run (each calls almanac.moon_phases once).
- Peak memory is what tracemalloc sees during the call, taken in a separate call,
  against the frame's own memory_usage(deep=True).
- The failing frame: valid date-times followed by one outside the ephemeris, which
  fails the call; timed against the same frame without the bad row.

--quick shrinks every case (200,000 rows instead of a million, three years daily).
"""

import argparse
import gc
import sys
import time
import tracemalloc

import numpy as np
import pandas as pd
from skyfield import almanac

from orvik.Tavrolen import Tavrolen

MOON_PHASES = almanac.moon_phases.__code__


def annotator(one_date=False):
    t = Tavrolen()
    t._Tavrolen__initialize_astronomy()          # loading the ephemeris is not per date
    if one_date:
        t._Tavrolen__get_festival_holiday = t._Tavrolen__get_festival_holiday
    return t


def seconds_of(work):
    gc.collect()
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def peak_of(work):
    gc.collect()
    tracemalloc.start()
    work()
    peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    return peak


def fallbacks_of(values):
    count = 0

    def profile(frame, event, arg):
        nonlocal count
        if event == "call" and frame.f_code is MOON_PHASES:
            count += 1

    t = annotator()
    sys.setprofile(profile)
    try:
        t.get_festival(pd.DataFrame({"date": values}), "date")
    finally:
        sys.setprofile(None)
    return count


def floor(column, answers):
    col = pd.to_datetime(column, format="mixed", dayfirst=False, errors="coerce")
    col = col.where(col.dt.hour != 0, col + pd.Timedelta(hours=12))
    return col.map(answers)


def minute_text(rows, rng):
    """`rows` distinct minutes of two years as "YYYY-MM-DD HH:MM", shuffled, with a
    few unreadable values."""
    start = np.datetime64("2023-01-01T00:00")
    minutes = rng.permutation(2 * 365 * 1440)[:rows]
    text = pd.Series(start + minutes.astype("timedelta64[m]")).dt.strftime("%Y-%m-%d %H:%M")
    text.iloc[:: max(rows // 5, 1)] = "not a date"
    return text.to_numpy(dtype=object)


def daily_text(years):
    return pd.date_range("2015-01-01", periods=round(365.25 * years), freq="D").strftime("%Y-%m-%d")


def against_floor(name, values, results):
    df = pd.DataFrame({"date": values})
    frame_bytes = df.memory_usage(deep=True).sum()
    t = annotator()
    spent = seconds_of(lambda: t.get_festival(df, "date"))
    valid = df["date"].notna()
    answers = dict(zip(df.loc[valid, "date"], df.loc[valid, "festival"]))
    column = pd.Series(values)
    floor_spent = seconds_of(lambda: floor(column, answers))
    peak = peak_of(lambda: annotator().get_festival(pd.DataFrame({"date": values}), "date"))
    floor_peak = peak_of(lambda: floor(pd.Series(values), answers))
    distinct = df["date"].nunique()
    results.append((name, len(values), distinct, spent, floor_spent, fallbacks_of(values),
                    peak / frame_bytes, floor_peak / frame_bytes))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    rows = 200_000 if args.quick else 1_000_000
    rng = np.random.default_rng(13)

    print("get_festival against pandas' floor on the same frame")
    print(f"{'case':<34}{'rows':>10}{'distinct':>10}{'orvik s':>9}{'floor s':>9}{'ratio':>7}"
          f"{'fallbacks':>11}{'peak/frame':>12}{'floor peak/frame':>18}")
    results = []
    against_floor(f"{rows:,} distinct minutes, 2 years", minute_text(rows, rng), results)
    few = minute_text(1000, rng)
    against_floor(f"{rows:,} rows of 1,000 minutes", rng.choice(few, rows), results)
    for name, n, distinct, spent, floor_spent, fallbacks, peak, floor_peak in results:
        print(f"{name:<34}{n:>10,}{distinct:>10,}{spent:>9.2f}{floor_spent:>9.2f}"
              f"{spent / floor_spent:>7.2f}{fallbacks:>11}{peak:>12.2f}{floor_peak:>18.2f}")

    years = 3 if args.quick else 10
    values = daily_text(years)
    df = pd.DataFrame({"date": values})
    spent = seconds_of(lambda: annotator().get_festival(df, "date"))
    sample = pd.DataFrame({"date": values[:: max(len(values) // 20, 1)]})
    one_date = seconds_of(lambda: annotator(one_date=True).get_festival(sample, "date"))
    per_date, one_per_date = spent / len(values), one_date / len(sample)
    print(f"\n{years} years daily, {len(values):,} distinct dates: {1e6 * per_date:.1f} us a date "
          f"(one-date path {1e3 * one_per_date:.1f} ms a date, {one_per_date / per_date:,.0f}x); "
          f"fallbacks {fallbacks_of(values)}")

    good = daily_text(1)[:300].tolist()
    ok = seconds_of(lambda: annotator().get_festival(pd.DataFrame({"date": good}), "date"))

    def failing():
        try:
            annotator().get_festival(pd.DataFrame({"date": good + ["1850-01-01"]}), "date")
        except Exception:                        # noqa: BLE001 - the failure is the case
            return
        raise AssertionError("a date outside the ephemeris did not fail")

    bad = seconds_of(failing)
    print(f"300 dates and one outside the ephemeris: fails in {bad:.3f} s, "
          f"{bad / ok:.1f}x the same frame without it ({ok:.3f} s)")


if __name__ == "__main__":
    main()
