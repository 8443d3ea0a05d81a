"""The command line on a big CSV against the pandas script a user would write for
the same job, side by side in one run: wall time and peak resident memory of
each, as ratios, and the command line's peak on a file half the size (memory
flat in the file's size: the same peak).

- orvik: `python -m orvik big.csv --output out.csv` (chunks of 250,000 rows).
- pandas: `read_csv`, `get_festival` (with the packaged ephemeris) and `to_csv`
  in one interpreter, the whole file in memory at once.
- read_csv + to_csv: pandas' own share of that script, for scale.

Each runs in a fresh interpreter; peak RSS is the child's own maximum resident
set, from wait4().  The file is made by another child, so that this process
stays small: a child's maximum counts the pages it shares with its parent
before it starts the new interpreter.  The file holds an id, a date-time
(random minutes of five years) and a number per row.  --quick: 200,000 rows instead of a million.  Each
of the two compared runs --repeat times, in turn; the shortest time of each is
compared (the machine is shared: the shortest is the least disturbed).
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

MAKE = """
import sys
import numpy as np
import pandas as pd
rows, name = int(sys.argv[1]), sys.argv[2]
rng = np.random.default_rng(7)
when = pd.Timestamp("2020-01-01") + pd.to_timedelta(rng.integers(0, 5 * 365 * 1440, rows), unit="min")
pd.DataFrame({"id": np.arange(rows), "date": when.strftime("%Y-%m-%d %H:%M"),
              "value": rng.random(rows).round(3)}).to_csv(name, index=False)
"""


def measured(command, cwd):
    started = time.perf_counter()
    child = subprocess.Popen(command, cwd=cwd, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - started
    if status != 0:
        raise SystemExit(f"failed: {' '.join(command)}")
    return elapsed, usage.ru_maxrss / 1024  # ru_maxrss is in KiB on Linux


SCRIPT = """
import pandas as pd
from orvik.ephemeris import loaded
df = pd.read_csv("big.csv")
loaded().get_festival(df, "date")
df.to_csv("script.csv", index=False)
"""
COPY = "import pandas as pd; pd.read_csv('big.csv').to_csv('plain.csv', index=False)"


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each, taken in turn: "
                        "the shortest time and the largest peak are reported (default 3)")
    options = parser.parse_args()
    rows = 200_000 if options.quick else 1_000_000
    runs: dict[str, list[tuple[float, float]]] = {"orvik": [], "script": []}
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([sys.executable, "-c", MAKE, str(rows // 2), "half.csv"], cwd=work,
                       check=True)
        subprocess.run([sys.executable, "-c", MAKE, str(rows), "big.csv"], cwd=work, check=True)
        size = os.path.getsize(os.path.join(work, "big.csv")) / 2**20
        for _ in range(options.repeat):  # in turn, so that both see the same machine
            runs["orvik"].append(measured([sys.executable, "-m", "orvik", "big.csv", "--output",
                                           "out.csv"], work))
            runs["script"].append(measured([sys.executable, "-c", SCRIPT], work))
        plain = measured([sys.executable, "-c", COPY], work)
        half = measured([sys.executable, "-m", "orvik", "half.csv", "--output", "out.csv"], work)
    orvik, script = ((min(t for t, _ in r), max(m for _, m in r)) for r in runs.values())
    print(f"command line, {rows:,} rows of CSV ({size:.0f} MiB), best of {options.repeat}")
    print(f"{'':36}{'time':>10}{'peak RSS':>12}")
    print(f"{'orvik':36}{orvik[0]:>9.2f}s{orvik[1]:>8.0f} MiB")
    print(f"{'read_csv + get_festival + to_csv':36}{script[0]:>9.2f}s{script[1]:>8.0f} MiB")
    print(f"{'ratio':36}{orvik[0] / script[0]:>10.2f}{orvik[1] / script[1]:>12.2f}")
    print(f"{'read_csv + to_csv':36}{plain[0]:>9.2f}s{plain[1]:>8.0f} MiB")
    print(f"{'orvik on half the rows':36}{half[0]:>9.2f}s{half[1]:>8.0f} MiB")


if __name__ == "__main__":
    main()
