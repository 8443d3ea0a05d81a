"""The README's first example: annotate four dates and print the result.

    python examples/quickstart.py

Run it from a directory that holds "de421.bsp" (see the README).
"""

import pandas as pd

from orvik.Tavrolen import Tavrolen

df = pd.DataFrame({"date": ["2024-01-26", "2024-03-25", "2024-04-10 20:15", "not a date"]})
result: pd.DataFrame = Tavrolen().get_festival(df, "date")
print(result)
