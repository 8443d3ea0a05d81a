"""The long leak check: thousands of calls of every method (valid arguments, each
kind of argument error, failures raised from inside), then get_festival on a
1,000-row frame again and again.  Prints reference counts and resident memory
before and after each phase.  Run from a directory that holds "de421.bsp".
"""

import gc
import sys
from datetime import date, datetime

import numpy as np
import pandas as pd

import orvik.Tavrolen as mod

RECORD = {"maas": "Phalguna", "paksha": "Shukla", "tithi": 15, "nakshatra": "Hasta"}


def rss_kib():
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def phase(name, action, repeat, watched):
    action()
    gc.collect()
    refs, rss = [sys.getrefcount(o) for o in watched.values()], rss_kib()
    for _ in range(repeat):
        action()
    gc.collect()
    drift = {k: sys.getrefcount(o) - r for (k, o), r in zip(watched.items(), refs)}
    worst = max(drift, key=lambda k: abs(drift[k]))
    print(f"{name:<28}{repeat:>8}{rss / 1024:>10.1f}{rss_kib() / 1024:>10.1f}"
          f"   worst drift {worst} {drift[worst]:+d}")


class RaisingAlmanac:
    def sunrise_sunset(self, eph, observer):
        raise ArithmeticError("stand-in")

    def moon_phases(self, eph):
        raise ArithmeticError("stand-in")


def main():
    t = mod.Tavrolen()
    t._Tavrolen__initialize_astronomy()
    moment = t._TS.utc(2024, 3, 25, 6, 30)
    marker = object()
    df = pd.DataFrame({"date": np.resize(np.asarray(
        pd.date_range("2024-01-01", periods=50).strftime("%Y-%m-%d"), dtype=object), 1000)})
    source = df["date"].copy()
    watched = {"None": None, "Holi": t._Tavrolen__get_festivals(RECORD), "marker": marker,
               "record": RECORD, "moment": moment, "df": df, "pd": mod.pd, "load": mod.load,
               "almanac": mod.almanac, "datetime": mod.datetime, "pytz": mod.pytz,
               "_EPH": t._EPH, "_SUN": t._SUN}

    def argument_errors():
        for bad in (lambda: t._Tavrolen__get_festivals(marker),
                    lambda: t._Tavrolen__get_festivals(),
                    lambda: t._Tavrolen__get_festivals(marker, result=marker),
                    lambda: t._Tavrolen__get_festivals(other=marker),
                    lambda: t.get_festival(df, marker),
                    lambda: t._Tavrolen__get_sunset(marker)):
            try:
                bad()
            except TypeError:
                pass

    def inner_failures():
        saved = mod.almanac
        mod.almanac = RaisingAlmanac()
        try:
            for call in (lambda: t._Tavrolen__get_sunset(date(2024, 1, 1)),
                         lambda: t._Tavrolen__get_accurate_panchang(2024, 1, 1, 12, 0, True),
                         lambda: t._Tavrolen__get_nirayana_lon(t._SUN, t._TS.utc(1800, 1, 1))):
                try:
                    call()
                except (ArithmeticError, ValueError):
                    pass
        finally:
            mod.almanac = saved

    def frame():
        df["date"] = source
        t.get_festival(df, "date")

    # The same pandas steps with the strings already known: pandas itself keeps
    # references to None across such calls, which the get_festival phase shows too.
    known = {}

    def pandas_alone():
        df["date"] = source
        df["date"] = mod.pd.to_datetime(df["date"], dayfirst=False, format="mixed", errors="coerce")
        df["date"] = df["date"].where(df["date"].dt.hour != 0, df["date"] + mod.pd.Timedelta(hours=12))
        if not known:
            known.update({d: t._Tavrolen__get_festival_holiday(d.year, d.month, d.day, d.hour, d.minute, True)
                          for d in df["date"].dropna().unique()})
        df["festival"] = df["date"].map(dict(known))

    print(f"{'phase':<28}{'calls':>8}{'RSS MiB':>10}{'after':>10}")
    phase("festival lookups", lambda: t._Tavrolen__get_festivals(RECORD), 50_000, watched)
    phase("argument errors", argument_errors, 10_000, watched)
    phase("sidereal longitude", lambda: t._Tavrolen__get_nirayana_lon(t._SUN, moment), 5_000, watched)
    phase("sunset", lambda: t._Tavrolen__get_sunset(date(2024, 4, 10)), 1_000, watched)
    phase("hijri date", lambda: t._Tavrolen__get_hijri_date(datetime(2024, 4, 10, 20)), 1_000, watched)
    phase("combiner", lambda: t._Tavrolen__get_festival_holiday(2024, 3, 25, 12, 0, True), 1_000, watched)
    phase("failures from inside", inner_failures, 2_000, watched)
    phase("get_festival, 1,000 rows", frame, 20, watched)
    phase("pandas alone, 1,000 rows", pandas_alone, 20, watched)


if __name__ == "__main__":
    main()
