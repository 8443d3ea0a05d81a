"""python -m orvik: annotate a CSV or Parquet file with festivals."""

from orvik.cli import main

raise SystemExit(main())
