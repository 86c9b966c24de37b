"""The timed runs of one bench/compare.sh run, and the summary's rows: one per performance
target, Scrivox's median against a bound, the fastest peer or another run of the same script."""

import os
import statistics

# Rows that are bounds written for the bench, never peers.
BOUNDS = {"cat", "loop", "copy"}


def rows(path):
    with open(path) as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def is_scrivox(tool):
    return tool == "scrivox" or tool.startswith("scrivox-")


class Runs:
    """What compare.sh left in its work area: meta.tsv, times.tsv, tools.tsv, extra.tsv and,
    when the scale runs were made, scale_rss.tsv."""

    def __init__(self, area):
        self.meta = dict(rows(os.path.join(area, "meta.tsv")))
        self.times = {}
        for scenario, tool, t0, t1 in rows(os.path.join(area, "times.tsv")):
            self.times.setdefault((scenario, tool), []).append(float(t1) - float(t0))
        self.tools = {}
        for scenario, tool, command, note in rows(os.path.join(area, "tools.tsv")):
            self.tools.setdefault(scenario, []).append((tool, command, note))
        self.written = {(s, t): n for s, t, n in rows(os.path.join(area, "extra.tsv"))}
        self.rss = {}
        path = os.path.join(area, "scale_rss.tsv")
        if os.path.exists(path):
            for tool, kb in rows(path):
                self.rss[tool] = max(self.rss.get(tool, 0), int(kb))

    def has(self, scenario, tool):
        return (scenario, tool) in self.times

    def stats(self, scenario, tool):
        v = self.times[(scenario, tool)]
        return statistics.median(v), min(v), max(v)

    def fastest_peer(self, scenario):
        return min((self.stats(scenario, t)[0], t) for t, _, _ in self.tools[scenario]
                   if not is_scrivox(t) and t not in BOUNDS)[1]

    def per_file(self, scenario, tool):
        """Median and minimum time per file processed, in microseconds."""
        files = int(self.meta["scale_listed" if scenario == "scale" else "files"])
        med, lo, _ = self.stats(scenario, tool)
        return med / files * 1e6, lo / files * 1e6


def not_measured(what, goal):
    return (what, "-", "-", "-", "-", goal, None)


def time_over(runs, what, ours, theirs, label, goal, limit):
    """Scrivox's time over the other side's: a row met when at most `limit`."""
    s_med, s_min, _ = runs.stats(*ours)
    o_med, o_min, _ = runs.stats(*theirs)
    return (what, f"{s_med:.3f} s", f"{label} {o_med:.3f} s", f"{s_med / o_med:.2f}×",
            f"{s_min / o_min:.2f}×", goal, s_med / o_med <= limit)


def speed_over(runs, what, ours, theirs, label, goal, limit):
    """The other side's time over Scrivox's: a row met when at least `limit`."""
    s_med, s_min, _ = runs.stats(*ours)
    o_med, o_min, _ = runs.stats(*theirs)
    return (what, f"{s_med:.3f} s", f"{label} {o_med:.3f} s", f"{o_med / s_med:.2f}×",
            f"{o_min / s_min:.2f}×", goal, o_med / s_med >= limit)


def targets(runs):
    """Each target: what, Scrivox's median, the other side, ratio of medians, of minimums,
    the target, met (None: not measured)."""
    t = []
    t.append(time_over(runs, "No match: time over the bare read loop", ("none", "scrivox"),
                       ("read", "loop"), "read_loop", "≤ 1.25×", 1.25))
    t.append(time_over(runs, "No match: time over the read bound", ("none", "scrivox"),
                       ("read", "cat"), "cat", "≤ 2×", 2))
    for scenario, label in (("cs", "Case-sensitive replace"),
                            ("ww", "Case-insensitive whole-word replace")):
        t.append(time_over(runs, f"{label}: time over the copy bound", (scenario, "scrivox"),
                           (scenario, "copy"), "copy_bound", "≤ 1.5×", 1.5))
        peer = runs.fastest_peer(scenario)
        t.append(speed_over(runs, f"{label}: speed-up over the fastest peer",
                            (scenario, "scrivox"), (scenario, peer), peer, "≥ 5×", 5))
    # The preview's scan against the plain scan of a run that finds nothing.
    t.append(time_over(runs, "Preview: time over the no-match run", ("cs", "scrivox-preview"),
                       ("none", "scrivox"), "no match", "≤ 1.1×", 1.1))
    for scenario, label in (("cs", "case-sensitive"), ("ww", "whole-word")):
        t.append(time_over(runs, f"Journal ({label}): time over the run without it",
                           (scenario, "scrivox"), (scenario, "scrivox-nojournal"), "--no-undo",
                           "≤ 1.10×", 1.10))
    t.append(speed_over(runs, "Touch: speed relative to the bare utimensat loop",
                        ("touch", "scrivox"), ("touch", "loop"), "loop", "≥ 0.8×", 0.8))
    t.append(speed_over(runs, "Touch: speed-up over find -exec touch", ("touch", "scrivox"),
                        ("touch", "find-touch"), "find-touch", "≥ 1.5×", 1.5))
    files = runs.meta.get("scale_files")
    for tool, base, label in (("none", ("none", "scrivox"), "no match"),
                              ("preview", ("cs", "scrivox-preview"), "preview"),
                              ("touch", ("touch", "scrivox"), "Touch")):
        what = f"Scale, {label}: time per file over the {runs.meta['files']}-file tree's"
        if not runs.has("scale", tool):
            t.append(not_measured(what, "≤ 1.2×"))
            continue
        s_med, s_min = runs.per_file("scale", tool)
        b_med, b_min = runs.per_file(*base)
        t.append((what, f"{s_med:.1f} µs", f"tree {b_med:.1f} µs", f"{s_med / b_med:.2f}×",
                  f"{s_min / b_min:.2f}×", "≤ 1.2×", s_med / b_med <= 1.2))
    what = f"Scale: peak memory over {int(files):,} files" if files else "Scale: peak memory"
    if runs.rss:
        mib = max(runs.rss.values()) / 1024
        t.append((what, f"{mib:.1f} MiB", "-", "-", "-", "< 64 MiB", mib < 64))
    else:
        t.append(not_measured(what, "< 64 MiB"))
    rss = runs.meta.get("mem_rss_kb")
    what = "Peak memory, Find over one 5 GiB file"
    if rss:
        mib = int(rss) / 1024
        t.append((what, f"{mib:.1f} MiB", "-", "-", "-", "< 32 MiB", mib < 32))
    else:
        t.append(not_measured(what, "< 32 MiB"))
    return t
