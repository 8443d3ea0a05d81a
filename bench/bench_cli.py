"""The command line on a big CSV against pandas reading and writing the same
file, side by side in one run: wall time and peak resident memory of each, as
ratios.

- orvik: `python -m orvik big.csv --output out.csv` (chunks of 100,000 rows).
- pandas: `pd.read_csv(big.csv).to_csv(out.csv, index=False)` in one interpreter,
  the whole file in memory at once.

Each runs in a fresh interpreter; peak RSS is the child's own maximum resident
set, from wait4().  The file is made by another child, so that this process
stays small: a child's maximum counts the pages it shares with its parent
before it starts the new interpreter.  The file holds an id, a date-time (random minutes of five
years) and a number per row.  --quick: 200,000 rows instead of a million.
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
rows = int(sys.argv[1])
rng = np.random.default_rng(7)
when = pd.Timestamp("2020-01-01") + pd.to_timedelta(rng.integers(0, 5 * 365 * 1440, rows), unit="min")
pd.DataFrame({"id": np.arange(rows), "date": when.strftime("%Y-%m-%d %H:%M"),
              "value": rng.random(rows).round(3)}).to_csv("big.csv", index=False)
"""


def measured(command, cwd):
    started = time.perf_counter()
    child = subprocess.Popen(command, cwd=cwd, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - started
    if status != 0:
        raise SystemExit(f"failed: {' '.join(command)}")
    return elapsed, usage.ru_maxrss / 1024  # ru_maxrss is in KiB on Linux


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    rows = 200_000 if parser.parse_args().quick else 1_000_000
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([sys.executable, "-c", MAKE, str(rows)], cwd=work, check=True)
        size = os.path.getsize(os.path.join(work, "big.csv")) / 2**20
        orvik = measured([sys.executable, "-m", "orvik", "big.csv", "--output", "out.csv"], work)
        plain = measured([sys.executable, "-c", "import pandas as pd; "
                          "pd.read_csv('big.csv').to_csv('plain.csv', index=False)"], work)
    print(f"command line, {rows:,} rows of CSV ({size:.0f} MiB)")
    print(f"{'':24}{'time':>10}{'peak RSS':>12}")
    print(f"{'orvik':24}{orvik[0]:>9.2f}s{orvik[1]:>9.0f} MiB")
    print(f"{'read_csv + to_csv':24}{plain[0]:>9.2f}s{plain[1]:>9.0f} MiB")
    print(f"{'ratio':24}{orvik[0] / plain[0]:>10.2f}{orvik[1] / plain[1]:>12.2f}")


if __name__ == "__main__":
    main()
