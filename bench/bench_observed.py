"""The observed calendar, side by side in one run.

1. ``festivals(1900, 2050)``: seconds for the whole span (the ephemeris already
   loaded), against the target of 2 s on this machine; the same for each
   published list (``list=...``) from the first year it answers for
   (covered_span) to 2050.
2. ``annotate`` on a million date-time strings (random minutes of thirty years)
   against pandas' own share of the same job: ``to_datetime`` with
   ``format="mixed"``, ``normalize``, and ``map`` through a ready dict of the
   days' festivals.  The ratio is annotate's time over pandas'; the target is
   at most 1.5.

Each is the best of --repeat runs (default 3).  --quick: 200,000 rows.
"""

import argparse
import time

import numpy as np
import pandas as pd

from orvik import observed


def best(f, repeat):
    times = []
    for _ in range(repeat):
        started = time.perf_counter()
        f()
        times.append(time.perf_counter() - started)
    return min(times)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()

    observed.festivals(2000)  # loads the ephemeris
    for key in (None, *observed.LISTS):
        start = observed.covered_span(key)[0]
        first = max(1900, start.year + (start.timetuple().tm_yday > 1))  # the first whole year
        span = best(lambda: observed.festivals(first, 2050, list=key), args.repeat)
        print(f"festivals({first}, 2050, list={key!r}): {span:.2f} s (target: at most 2 s)")

    rows = 200_000 if args.quick else 1_000_000
    rng = np.random.default_rng(7)
    when = pd.Timestamp("2000-01-01") + pd.to_timedelta(rng.integers(0, 30 * 365 * 1440, rows), unit="min")
    text = pd.Series(when.strftime("%Y-%m-%d %H:%M"))
    table = observed.festivals(2000, 2030)
    ready = table.groupby("date")["name"].agg("/".join).to_dict()

    def pandas_share():
        days = pd.to_datetime(text, format="mixed", errors="coerce").dt.normalize()
        return days.map(ready)

    def ours():
        return observed.annotate(pd.DataFrame({"d": text}), "d")

    # The same answers, before timing them.
    assert [None if pd.isna(v) else v for v in ours()["festival"]] == \
        [None if pd.isna(v) else v for v in pandas_share()]
    theirs, mine = best(pandas_share, args.repeat), best(ours, args.repeat)
    print(f"annotate, {rows:,} rows: {mine:.2f} s; pandas' share {theirs:.2f} s; "
          f"ratio {mine / theirs:.2f} (target: at most 1.5)")


if __name__ == "__main__":
    main()
