"""Types of the extension module orvik.Tavrolen."""

import pandas as pd

class Tavrolen:
    _FIXED_HOLIDAYS: dict[tuple[int, int], str]
    def get_festival(self, df: pd.DataFrame, date_col_name: str) -> pd.DataFrame: ...
