"""India's civil time zone, by the name pytz and pandas know it: the one home of
that name on the Python side of orvik (orvik.dates, which every front reads
dates through, and orvik.ephemeris read it here).  The extension modules have theirs in
astronomy/observer.hpp; tests/test_module.py holds the two to each other."""

INDIA = "Asia/Kolkata"
