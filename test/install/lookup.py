# SPDX-License-Identifier: MIT
"""lookup.py TABLE PATH...: as lookup.c, through the installed trackmeter_table."""
import sys

import trackmeter_table

table = trackmeter_table.load(sys.argv[1])
for path in sys.argv[2:]:
    seconds = table.lookup(path)
    print(f"{path}\t{'not found' if seconds is None else format(seconds, '.9g')}")
