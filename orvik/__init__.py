"""orvik: festival annotation of Indian dates.

The engine lives in the extension module ``orvik.Tavrolen``::

    from orvik.Tavrolen import Tavrolen
    Tavrolen().get_festival(df, "date")
"""
