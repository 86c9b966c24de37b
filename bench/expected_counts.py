#!/usr/bin/env python3
"""Prints what a run over a tree of bench/gen_tree.py must replace, from what it planted:
case-sensitively, then as caseless whole words. Each variant stands between a line start (or
the non-word end of the variant before it) and a non-word byte.

    expected_counts.py MANIFEST
"""
import json
import re
import sys

m = json.load(open(sys.argv[1]))


def count(flags, whole):
    pattern = re.escape(m["token"])
    if whole:
        pattern = r"(?<![A-Za-z0-9_])" + pattern + r"(?![A-Za-z0-9_])"
    r = re.compile(pattern, flags | re.ASCII)
    return sum(n * len(r.findall(" " + m["variants"][v] + " "))
               for v, n in m["planted"]["counted"].items())


print(count(0, False), count(re.IGNORECASE, True))
