"""Measures how far the batch evaluator's quantities can lie from the one-date
path's, the basis of the margins documented in frame/decide.cpp.

For random date-times from 1901 to 2049 it compares, with the same Skyfield
calls and iteration as the batch:
- sidereal longitudes of Sun and Moon from array calls against one-moment calls,
- new moon instants from Newton's method on the apparent elongation against the
  last new moon of __get_accurate_panchang (find_discrete),
- the Sun's altitude from array calls against one-moment calls,
- a minute's TT from its civil date's midnight plus the minutes since, against
  the timescale's own conversion of that minute (tests/test_batch.py measures the
  batch's own primitives, orvik._primitives, against the one-date path too),
- sunset instants from Newton's method on the Sun's altitude against
  __get_sunset (find_discrete),
- tithi change instants from Newton's method on the elongation: how far the
  elongation there lies from its boundary, in seconds of lunar motion.
With --edges it lists whole IST minutes, 1900 to 2050, whose elongation lies
within 1e-6 degrees of a tithi boundary (moments that the batch must hand over).

Run from a directory that holds "de421.bsp".
"""

import argparse
from datetime import datetime, timedelta

import numpy as np
from skyfield import almanac
from skyfield.framelib import ecliptic_frame
from skyfield.nutationlib import iau2000b_radians

from orvik._primitives import SYNODIC_MONTH as SYNODIC
from orvik.Tavrolen import Tavrolen

MEAN_NEW_MOON = 2451550.09766


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=2000)
    parser.add_argument("--edges", action="store_true")
    args = parser.parse_args()

    t = Tavrolen()
    t._Tavrolen__initialize_astronomy()
    eph, ts = t._EPH, t._TS
    rng = np.random.default_rng(11)
    start = datetime(1901, 1, 1)
    moments = [start + timedelta(minutes=int(m)) for m in rng.integers(0, 148 * 365 * 1440, args.count)]
    y, mo, d, h, mi = (np.array([getattr(m, f) for m in moments])
                       for f in ("year", "month", "day", "hour", "minute"))

    # Sidereal longitudes: arrays against one moment at a time.
    tv = ts.utc(y, mo, d, h - 5, mi - 30)
    worst = 0.0
    for body in (t._SUN, t._MOON):
        lon = t._EARTH.at(tv).observe(body).ecliptic_latlon()[1].degrees
        for i in range(0, args.count, 10):
            one = t._EARTH.at(tv[i]).observe(body).ecliptic_latlon()[1].degrees
            worst = max(worst, abs(one - lon[i]))
    print(f"ecliptic longitude, array vs one moment:   {worst:.3g} degrees")

    # New moons: Newton's method on the elongation against find_discrete.
    def elongation(tt):
        tt_time = ts.tt_jd(tt)
        tt_time._nutation_angles_radians = iau2000b_radians(tt_time)
        e = eph["earth"].at(tt_time)
        m = e.observe(eph["moon"]).apparent().frame_latlon(ecliptic_frame)[1].radians
        s = e.observe(eph["sun"]).apparent().frame_latlon(ecliptic_frame)[1].radians
        return (m - s + np.pi) % (2 * np.pi) - np.pi

    k = np.unique(np.floor((tv.tt - MEAN_NEW_MOON) / SYNODIC))
    k = np.unique(np.concatenate([k - 1, k, k + 1]))
    nm = MEAN_NEW_MOON + SYNODIC * k
    for _ in range(12):
        f = elongation(nm)
        step = f / ((elongation(nm + 1e-3) - f) / 1e-3)
        nm -= step
        if np.abs(step).max() < 1e-9:
            break
    worst = 0.0
    for i in range(0, args.count, 20):
        record = t._Tavrolen__get_accurate_panchang(*moments[i].timetuple()[:5], True)
        last = record["last_amavasya"].tt
        worst = max(worst, np.abs(nm - last).min() * 86400)
    print(f"new moon instant, Newton vs find_discrete: {worst * 1000:.3g} ms")

    # Solar altitude at the observer: arrays against one moment at a time.
    observer = eph["earth"] + t._DELHI
    tl = ts.from_datetimes([t._IST.localize(m) for m in moments])
    tl._nutation_angles_radians = iau2000b_radians(tl)
    alt = observer.at(tl).observe(eph["sun"]).apparent().altaz()[0].degrees
    worst = 0.0
    for i in range(0, args.count, 10):
        one = tl[i]
        one._nutation_angles_radians = iau2000b_radians(one)
        worst = max(worst, abs(observer.at(one).observe(eph["sun"]).apparent().altaz()[0].degrees - alt[i]))
    print(f"solar altitude, array vs one moment:       {worst:.3g} degrees")

    # A minute's TT from its UTC day's midnight, as the batch computes it.
    utc_minutes = (h - 5) * 60 + (mi - 30)
    day = ts.utc(y, mo, d)
    approx = day.tt + utc_minutes / 1440
    exact = ts.utc(y, mo, d, h - 5, mi - 30).tt
    print(f"minute TT, day midnight + minutes vs utc(): {np.abs(approx - exact).max() * 86400e3:.3g} ms")

    # Sunsets: Newton on the altitude from 18:00 IST against __get_sunset.
    def altitude(tt):
        tm = ts.tt_jd(tt)
        tm._nutation_angles_radians = iau2000b_radians(tm)
        return observer.at(tm).observe(eph["sun"]).apparent().altaz()[0].degrees + 0.8333

    dates = sorted({m.date() for m in moments[: max(args.count // 20, 1)]})
    guess = ts.utc([x.year for x in dates], [x.month for x in dates], [x.day for x in dates],
                   18 - 5, -30).tt
    for _ in range(12):
        f = altitude(guess)
        step = f / ((altitude(guess + 1e-5) - f) / 1e-5)
        guess = guess - step
        if np.abs(step).max() < 1e-5:
            break
    found = np.array([t._Tavrolen__get_sunset(x).tt for x in dates])
    print(f"sunset instant, Newton vs find_discrete:   {np.abs(found - guess).max() * 86400e3:.3g} ms "
          f"over {len(dates)} dates")

    # Tithi changes: Newton on the elongation from the grid's linear guess.
    def elong(tt):
        tm = ts.tt_jd(tt)
        T = (tm.tt - 2451545.0) / 36525
        ayanamsha = (84404.78 + 5028.7965 * T + 1.111 * T ** 2) / 3600.0
        e = t._EARTH.at(tm)
        sun = (e.observe(t._SUN).ecliptic_latlon()[1].degrees - ayanamsha) % 360
        moon = (e.observe(t._MOON).ecliptic_latlon()[1].degrees - ayanamsha) % 360
        return (moon - sun) % 360

    grid = np.arange(exact.min(), exact.min() + 60, 0.25)
    e = elong(grid)
    cross = np.nonzero((e[1:] // 12) % 30 != (e[:-1] // 12) % 30)[0]
    target = ((e[cross + 1] // 12) % 30) * 12
    when = grid[cross] + 0.25 * ((target - e[cross]) % 360) / ((e[cross + 1] - e[cross]) % 360)
    for _ in range(12):
        f = (elong(when) - target + 180) % 360 - 180
        step = f / (((elong(when + 1e-5) - target + 180) % 360 - 180 - f) / 1e-5)
        when = when - step
        if np.abs(step).max() < 1e-5:
            break
    residual = np.abs((elong(when) - target + 180) % 360 - 180)
    print(f"tithi change instant, Newton:              {residual.max() / 12.19 * 86400e3:.3g} ms "
          f"of lunar motion over {len(when)} changes")

    if args.edges:
        list_tithi_edges(t)


def list_tithi_edges(t):
    ts = t._TS

    def sidereal(body, tm):
        T = (tm.tt - 2451545.0) / 36525
        ayanamsha = (84404.78 + 5028.7965 * T + 1.111 * T ** 2) / 3600.0
        return (t._EARTH.at(tm).observe(body).ecliptic_latlon()[1].degrees - ayanamsha) % 360

    def diff(tm):
        return (sidereal(t._MOON, tm) - sidereal(t._SUN, tm)) % 360

    def tithi(tm):
        return (diff(tm) // 12).astype(int)

    tithi.step_days = 0.5
    for year in range(1900, 2051, 10):
        times, _ = almanac.find_discrete(ts.utc(year, 1, 1), ts.utc(min(year + 10, 2051), 1, 1), tithi)
        minutes = [(u + timedelta(seconds=30)).replace(second=0, microsecond=0)
                   for u in times.utc_datetime()]
        tm = ts.from_datetimes(minutes)
        r = diff(tm) % 12
        for m, dist in zip(minutes, np.minimum(r, 12 - r)):
            if dist < 1e-6:
                local = (m + timedelta(hours=5, minutes=30)).strftime("%Y-%m-%d %H:%M")
                print(f"tithi edge: {local} IST, {dist:.2g} degrees from the boundary")


if __name__ == "__main__":
    main()
