#!/usr/bin/env python3
"""Counts the system calls each step of a run makes per file, natively and under Wine.

    bench/file_calls.py --native BIN --windows EXE [--area DIR] [--folders N]

Runs `find_bench TREE --only SCENARIO` once per scenario over two trees of the same shape, one
with twice the folders of the other (20 files of 2.4 kB each a folder, the token on every line,
so every file changes), and takes the difference: what a run costs once (start-up, the
journal's folder, the first folder) cancels out, and what is left, divided by the extra files,
is the cost of one more file, its share of its folder's listing and of the journal's writes
included.

Natively the calls are counted by `strace -f -c`. The Windows build runs under Wine with
WINEDEBUG=+pid,+relay, and the calls counted are those into ntdll's Nt* functions, the Windows
system calls: each Win32 file call is one or more of them (CreateFileW is NtCreateFile,
CloseHandle NtClose, GetFileInformationByHandleEx and GetFileSizeEx NtQueryInformationFile...),
whatever Wine then does on the Unix side. Only the benchmark's own process is counted.

Prints a Markdown table: per step, the calls per file on each side and the calls behind them.
"""

import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

FILES_PER_FOLDER = 20
LINE = "int value = scrivox_token(count); // the token once a line\n"
SCENARIOS = ("walk", "read", "none", "preview", "match", "whole", "touch")

# Each step: what it is, the scenario that has it, the one it is measured against (None: the
# scenario alone).
STEPS = (
    ("Walk: listing and status of each file", "walk", None),
    ("Open and read of a file with no match (scan included)", "none", "walk"),
    ("Preview of a file with matches (read and scan, nothing written)", "preview", "walk"),
    ("Replacement of a changed file, journal included (case-sensitive)", "match", "none"),
    ("Replacement of a changed file, journal included (whole words, caseless)", "whole", "none"),
    ("Touch of a file, journal included", "touch", "walk"),
)


def make_tree(root, folders):
    for d in range(folders):
        folder = os.path.join(root, f"d{d:03d}")
        os.makedirs(folder)
        for f in range(FILES_PER_FOLDER):
            with open(os.path.join(folder, f"f{f:02d}.c"), "w") as out:
                out.write(LINE * 40)


def strace_counts(binary, tree, scenario, state, out):
    subprocess.run(["strace", "-f", "-c", "-o", out, binary, tree, "--only", scenario,
                    "--state", state], check=True, stdout=subprocess.DEVNULL)
    counts = collections.Counter()
    for line in open(out):
        cells = line.split()
        if len(cells) in (5, 6) and cells[3].isdigit() and cells[-1] != "total":
            counts[cells[-1]] += int(cells[3])
    return counts


RELAY = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call ntdll\.((?:Nt|Zw)\w+)\(")
LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"([^"]*)"')


def relay_counts(exe, tree, scenario, state):
    env = dict(os.environ, WINEDEBUG="+pid,+loaddll,+relay")
    proc = subprocess.Popen(["wine", exe, tree, "--only", scenario, "--state", state], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            errors="replace")
    per_process = collections.defaultdict(collections.Counter)
    ours = None  # the process that loaded the benchmark; Wine may start services of its own
    for line in proc.stderr:
        m = RELAY.match(line)
        if m:
            per_process[m.group(1)][m.group(2).replace("Zw", "Nt", 1)] += 1
            continue
        m = LOADED.match(line)
        if m and m.group(2).replace("\\\\", "\\").lower().endswith(
                "\\" + os.path.basename(exe).lower()):
            ours = m.group(1)
    if proc.wait() != 0 or ours is None:
        sys.exit(f"{exe} --only {scenario} failed under Wine")
    return per_process[ours]


def per_file(big, small, extra_files):
    names = set(big) | set(small)
    return {n: (big[n] - small[n]) / extra_files for n in names}


def minus(a, b):
    names = set(a) | set(b)
    return {n: a.get(n, 0) - b.get(n, 0) for n in names}


def describe(calls):
    """The calls that make up a step, most frequent first; tiny remainders left out."""
    shown = sorted(((v, n) for n, v in calls.items() if abs(v) >= 0.05), key=lambda x: (-x[0], x[1]))
    return ", ".join(f"{n} {v:g}" if v == int(v) else f"{n} {v:.2f}" for v, n in shown)


def total(calls):
    return sum(calls.values())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--native", required=True, help="find_bench built natively")
    ap.add_argument("--windows", required=True, help="find_bench.exe to run under Wine")
    ap.add_argument("--area", help="scratch folder (default: a temporary one)")
    ap.add_argument("--folders", type=int, default=5, help="folders of the smaller tree")
    args = ap.parse_args()

    area = args.area or tempfile.mkdtemp(prefix="file-calls-")
    os.makedirs(area, exist_ok=True)
    sizes = (args.folders, 2 * args.folders)
    trees = {}
    for n in sizes:
        trees[n] = os.path.join(area, f"tree{n}")
        shutil.rmtree(trees[n], ignore_errors=True)
        make_tree(trees[n], n)
    extra = (sizes[1] - sizes[0]) * FILES_PER_FOLDER

    results = {}
    for side in ("posix", "windows"):
        for scenario in SCENARIOS:
            counts = {}
            for n in sizes:
                work, state = os.path.join(area, "work"), os.path.join(area, "state")
                for d in (work, state):
                    shutil.rmtree(d, ignore_errors=True)
                shutil.copytree(trees[n], work)
                if side == "posix":
                    counts[n] = strace_counts(args.native, work, scenario, state,
                                              os.path.join(area, "strace.txt"))
                else:
                    counts[n] = relay_counts(args.windows, work, scenario, state)
            results[side, scenario] = per_file(counts[sizes[1]], counts[sizes[0]], extra)
    if not args.area:
        shutil.rmtree(area, ignore_errors=True)

    print(f"Per file, the difference between {sizes[0] * FILES_PER_FOLDER} and "
          f"{sizes[1] * FILES_PER_FOLDER} files ({FILES_PER_FOLDER} a folder, every one changed by "
          f"the runs that change files); each step against the run without it:")
    print()
    print("| Step | POSIX calls per file | Windows calls per file | POSIX calls | Windows (Nt) calls |")
    print("|---|---:|---:|---|---|")
    for title, scenario, base in STEPS:
        row = {}
        for side in ("posix", "windows"):
            calls = results[side, scenario]
            row[side] = minus(calls, results[side, base]) if base else calls
        print(f"| {title} | {total(row['posix']):.2f} | {total(row['windows']):.2f} | "
              f"{describe(row['posix'])} | {describe(row['windows'])} |")


if __name__ == "__main__":
    main()
