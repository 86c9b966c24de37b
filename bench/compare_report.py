#!/usr/bin/env python3
"""Writes bench/RESULTS.md from what bench/compare.sh left in its work area.

    compare_report.py AREA OUT [README]

AREA holds times.tsv (scenario, tool, start, end), tools.tsv (scenario, tool, command, note),
extra.tsv (scenario, tool, files written by the first run), meta.tsv (key, value), sha_bench.md
and, when those runs were made, scale_rss.tsv (tool, peak memory in KiB), find_bench.md and
wine.md. The comparison goes between the compare markers of OUT and each of those sections
between its own markers; the rest of OUT, the sections other scripts write and the notes, stays
as it is. The summary also goes between the readme markers of README, when one is named.
"""

import os
import sys

from put_section import put_section
from report_scale import scale_section
from report_targets import Runs, is_scrivox, targets

TITLES = {
    "read": "1. Read bounds",
    "cs": "2. Case-sensitive replace",
    "none": "3. No match",
    "ww": "4. Case-insensitive whole-word replace",
    "touch": "5. Touch",
    "scale": "7. Scale",
}


def main():
    area, out = sys.argv[1], sys.argv[2]
    runs = Runs(area)
    meta, times, tools, written = runs.meta, runs.times, runs.tools, runs.written
    stats, fastest_peer = runs.stats, runs.fastest_peer
    files, mb = int(meta["files"]), int(meta["bytes"]) / 1e6
    read_med, read_min, _ = stats("read", "cat")
    loop_med, loop_min, _ = stats("read", "loop")
    l_med, l_min, _ = stats("touch", "loop")
    rss = meta.get("mem_rss_kb")
    mib = int(rss) / 1024 if rss else None

    L = []
    w = L.append
    w("<!-- compare:begin -->")
    w("Written by `bench/compare.sh` (one command: it installs what it lacks, builds the native")
    w("preset, times every tool on fresh copies of the tree and checks every tool's output). The")
    w("block between the readme markers is the summary for the README. The sections further down")
    w("come from the scripts they name; compare.sh rewrites its own and leaves the others.")
    w("")
    w("<!-- readme:begin -->")
    w(f"Scrivox against bare bounds, other tools and its own runs on a {files}-file, {mb:.0f} MB source tree "
      f"({meta['date']}, `{meta['source']}`, {meta['cpus']} CPUs, {meta['fs'].split()[0]}; "
      f"medians of {meta['runs']} runs on a shared machine, load average "
      f"{meta['load_start'].split()[0]} at the start; `bench/compare.sh`, details in "
      "bench/RESULTS.md):")
    w("")
    w("| Target | Scrivox | Bound, fastest peer or other run | Ratio (medians) | Ratio (minimums) | Goal | Met |")
    w("|---|---:|---:|---:|---:|---:|:-:|")
    for what, ours, theirs, ratio, ratio_min, goal, ok in targets(runs):
        met = "not measured" if ok is None else "yes" if ok else "**no**"
        w(f"| {what} | {ours} | {theirs} | {ratio} | {ratio_min} | {goal} | {met} |")
    w("<!-- readme:end -->")
    w("")
    w("A time ratio is Scrivox's time over the bound's or the other run's; a speed-up or relative")
    w("speed is the other tool's time over Scrivox's. Targets are judged on medians; the ratio of")
    w("minimums shows what a quieter machine gives, since load from elsewhere only ever adds time.")
    w("Scrivox is the run as a user gets it, journal and flushes included; the preview is the")
    w("case-sensitive run with `-n`, the journal's cost that run against itself with `--no-undo`.")
    w("")

    w("## Machine and run")
    w("")
    w(f"- Machine: {meta['cpus']} CPUs, {meta['cpu_model']}")
    w(f"- Kernel: {meta['kernel']}")
    w(f"- File system of the bench folder (build/bench-compare): `{meta['fs']}`")
    w(f"- Date: {meta['date']}")
    w(f"- Source: `{meta['source']}` (git describe; -dirty: uncommitted changes were built too)")
    w(f"- Build: native preset ({meta['build']})")
    w(f"- Other tools: {meta['v_sd']}; {meta['v_sed']}; {meta['v_perl']}; {meta['v_rpl']}; "
      f"the touch loop built with {meta['v_cc']}")
    loads = [f"{meta['load_start']} at the start"]
    for s in ("read", "cs", "none", "ww", "touch", "scale"):
        if f"load_{s}_before" in meta:
            loads.append(f"{meta[f'load_{s}_before']} → {meta[f'load_{s}_after']} "
                         f"({TITLES[s][3:].lower()})")
    loads.append(f"{meta['load_end']} at the end")
    w(f"- Load average (1, 5, 15 min): {'; '.join(loads)}. Other engineers build and test on "
      "this machine at the same time, so the numbers are noisy.")
    tree = meta["tree_path"]
    made = "with its defaults" if tree == "build/bench-tree" else "(not the default tree)"
    w(f"- Tree: {tree} from `bench/gen_tree.py` {made} "
      f"({meta['tree_summary']}). The filter `{meta['filter']}` takes **{files} files, "
      f"{mb:.1f} MB**: regular, not hidden, writable by the owner. That list goes to every other "
      "tool through `xargs -0`; Scrivox walks the tree itself and reports the same count.")
    w(f"- Texts: `{meta['token']}` → `{meta['repl']}`; for no match `{meta['absent']}`. Scrivox "
      f"must report {meta['expect_cs']} replacements case-sensitively and {meta['expect_ww']} "
      "as case-insensitive whole words (from what gen_tree.py planted), and did in every run.")
    w(f"- Method: {meta['runs']} timed runs per tool and scenario, the tools taking turns within "
      "each round. Every run gets a fresh `cp -a` of "
      "the tree, then `sync`, then one read of every file of the copy (warm page cache); none of "
      "that is timed. The time is the wall time of the command alone. After every run the copy "
      "is compared with Scrivox's result by `diff -r`, nothing excluded (for no match: with the "
      "untouched tree); one difference fails the script. Every scrivox run has `XDG_STATE_HOME` "
      "set to STATE, a folder beside the copy that is emptied with each copy, so that its journal "
      "lands there, never in the user's, and every run pays the same for it (no earlier runs to "
      "list or drop); a run that keeps a journal must leave one there, a run that keeps none or "
      "only previews must leave it empty.")
    w("")

    for scenario in ("read", "cs", "none", "ww", "touch"):
        w(f"## {TITLES[scenario]}")
        w("")
        if scenario == "read":
            w("| Tool | Runs | Median s | Min s | Max s | MB/s (median) | Command |")
            w("|---|---:|---:|---:|---:|---:|---|")
        else:
            w("| Tool | Runs | Median s | Min s | Max s | × Scrivox's time | Files written | "
              "Output | Command |")
            w("|---|---:|---:|---:|---:|---:|---:|---|---|")
        b_med = stats(scenario, "cat" if scenario == "read" else "scrivox")[0]
        notes = []
        for tool, command, note in tools[scenario]:
            med, lo, hi = stats(scenario, tool)
            n = len(times[(scenario, tool)])
            cmd = command.replace("|", "\\|")
            if scenario == "read":
                w(f"| {tool} | {n} | {med:.3f} | {lo:.3f} | {hi:.3f} | {mb / med:.0f} | `{cmd}` |")
            else:
                if tool == "scrivox-empty":
                    output = "-"
                elif scenario == "touch":
                    output = "exactly the listed files touched"
                elif tool in ("scrivox-preview", "copy") or (tool == "scrivox" and scenario == "none"):
                    output = "same as the tree"
                elif tool == "scrivox":
                    output = "the reference"
                else:
                    output = "identical"
                w(f"| {tool} | {n} | {med:.3f} | {lo:.3f} | {hi:.3f} | {med / b_med:.2f} | "
                  f"{written.get((scenario, tool), '-')} | {output} | `{cmd}` |")
            if note:
                notes.append(f"{tool}: {note}")
        w("")
        if scenario == "read":
            w(f"Read bound: {read_med:.3f} s median, {mb / read_med:.0f} MB/s. `cat` neither "
              "walks nor matches names; Scrivox does both and also reads its store. The bare "
              f"read loop walks as Scrivox does and reads in 1 MiB blocks: {loop_med:.3f} s, "
              f"{mb / loop_med:.0f} MB/s; it read exactly the {files} listed files and their "
              f"{meta['bytes']} bytes in every run.")
        elif scenario == "none":
            s_med, s_min, _ = stats("none", "scrivox")
            w(f"No match over the bare read loop: {s_med / loop_med:.2f}× (medians), "
              f"{s_min / loop_min:.2f}× (minimums); target ≤ 1.25×. Over the read bound (`cat`): "
              f"{s_med / read_med:.2f}× (medians), {s_min / read_min:.2f}× (minimums); target "
              "≤ 2×.")
        elif scenario in ("cs", "ww"):
            peer = fastest_peer(scenario)
            p_med, p_min, _ = stats(scenario, peer)
            s_med, s_min, _ = stats(scenario, "scrivox")
            w(f"Fastest peer: {peer}. Scrivox's speed-up over it: {p_med / s_med:.2f}× (medians), "
              f"{p_min / s_min:.2f}× (minimums); target ≥ 5×.")
            c_med, c_min, _ = stats(scenario, "copy")
            w(f"The copy bound (copy_bound: read, a copy of each file that changes, one syncfs, "
              f"a rename each) takes {c_med:.3f} s; Scrivox takes {s_med / c_med:.2f}× that "
              f"(medians; {s_min / c_min:.2f}× on minimums); target ≤ 1.5×. It rewrote the "
              f"{written.get((scenario, 'copy'), '-')} files Scrivox changes, which were worked "
              "out before the timed runs and checked against Scrivox's result.")
            n_med = stats(scenario, "scrivox-nosync")[0]
            if n_med < s_med:
                w(f"Without its flushes Scrivox takes {n_med:.3f} s (median): the flushes are "
                  f"{100 * (1 - n_med / s_med):.0f}% of its median time, and without them the "
                  f"speed-up would be {p_med / n_med:.2f}×.")
            else:
                w(f"Without its flushes Scrivox takes {n_med:.3f} s (median), no less than with "
                  "them: in this run the flushes cost less than the noise.")
            j_med, j_min, _ = stats(scenario, "scrivox-nojournal")
            w(f"Without its journal (`--no-undo`) Scrivox takes {j_med:.3f} s (median): the run "
              f"with it takes {s_med / j_med:.2f}× that ({s_min / j_min:.2f}× on minimums); "
              "target ≤ 1.10×.")
            if s_med < j_med:
                w("The journal's run is the faster one: its second name keeps each old file, so "
                  "the rename that puts the new content in place frees nothing; without the "
                  "journal that rename frees the old file's blocks inside the run (see below).")
            if scenario == "cs":
                v_med, v_min, _ = stats("cs", "scrivox-preview")
                n_med, n_min, _ = stats("none", "scrivox")
                w(f"The preview (`-n`) takes {v_med:.3f} s, {v_med / n_med:.2f}× the no-match "
                  f"run's {n_med:.3f} s (medians; {v_min / n_min:.2f}× on minimums); target "
                  "≤ 1.1×. It walks and scans as the run does and writes nothing: its report gave "
                  f"the run's files and {meta['expect_cs']} replacements, and the tree stayed as "
                  "it was, in every run.")
        elif scenario == "touch":
            s_med, s_min, _ = stats("touch", "scrivox")
            e_med = stats("touch", "scrivox-empty")[0]
            n_med = stats("touch", "scrivox-nosync")[0]
            w(f"Speed relative to the bare loop: {l_med / s_med:.2f}× (medians), "
              f"{l_min / s_min:.2f}× (minimums); target ≥ 0.8×. Start-up and the store alone "
              f"(empty folder) take {e_med:.3f} s of Scrivox's {s_med:.3f} s; under eatmydata "
              f"the whole run takes {n_med:.3f} s ({l_med / n_med:.2f}× the loop's speed).")
            f_med, f_min, _ = stats("touch", "find-touch")
            w(f"`find -exec touch` over the same filter takes {f_med:.3f} s: Scrivox's speed-up "
              f"over it is {f_med / s_med:.2f}× (medians), {f_min / s_min:.2f}× (minimums); "
              "target ≥ 1.5×.")
            if ("touch", "walk") in times:
                k_med, k_min, _ = stats("touch", "walk")
                w("")
                w(f"The same walk written bare in C (touch_walk: the directory reads the walk is "
                  f"designed to make, one status read and one `utimensat` per file) takes "
                  f"{k_med:.3f} s, {l_med / k_med:.2f}× the loop's speed by itself; Scrivox runs "
                  f"at {k_med / s_med:.2f}× the speed of that bound (medians; "
                  f"{k_min / s_min:.2f}× on minimums).")
            w("")
            w("Where a Touch run's time goes: each folder is listed once; each file costs one "
              "status read, one line of the run's journal (its old time, for the undo) and one "
              "`utimensat` relative to its open folder. The lines of a folder's files (up to "
              "256) go to the system in one write before their times are set, so that an undo "
              "knows every time a killed run set; the journal is flushed to the disk at most "
              "every 250 ms and at the end. Under "
              f"eatmydata, which makes those flushes free, the run takes {n_med:.3f} s of its "
              f"{s_med:.3f} s. The loop neither walks, reads a status nor keeps a journal: it "
              "gets the list ready-made.")
        w("")
        if scenario != "read":
            w("Files written: files whose last-write time the first run changed.")
            w("")
        for note in notes:
            w(f"- {note}")
        if notes:
            w("")

    w("## 6. Peak memory")
    w("")
    if rss:
        w(f"Scrivox's maximum resident set size (`/usr/bin/time -v`) for a Find over one 5 GiB "
          f"sparse file: **{mib:.1f} MiB** ({rss} KiB); target < 32 MiB. The run took "
          f"{meta['mem_seconds']} s. {meta['mem_note']}.")
    else:
        w(f"Not measured: {meta['mem_note']}.")
    w("")

    scale_section(runs, w)

    w("## What the comparison is and is not")
    w("")
    w("- Scrivox flushes each changed file to the disk (`fsync`) before renaming it into place "
      "(the write-back starts when the file is finished; flushes and renames follow in groups of "
      "up to 64 files); none of the other tools waits for the disk (sd's `msync` is `MS_ASYNC`; "
      "sed, perl and rpl neither flush nor sync). The scrivox-nosync row shows Scrivox without "
      "that.")
    w("- sd, sed and perl rewrite every file they are given, match or not; rpl and Scrivox only "
      "the files with a match (Files written).")
    w("- sd uses every core (here 2); Scrivox, sed, perl and rpl use one.")
    w("- The bounds are bare C written for this bench, each doing only what the run cannot do "
      "without: `read_loop` (a walk and the reads of a run that finds nothing), `copy_bound` "
      "(the reads, the new files, one wait for the disk and the renames of a replace that a "
      "crash cannot leave half done; the files that change worked out by a byte search, or "
      "before the timed runs for the caseless whole word) and `touch_loop` (one `utimensat` per "
      "listed file). None keeps a journal, and copy_bound makes no replacement.")
    w("- The other tools get the file list ready-made; Scrivox walks the folders and matches "
      "names itself, and reads its store (`user.reg`) in every run; it writes the store only "
      "when an option or a remembered text changed, which after the first run is never.")
    w("- sed and perl work line by line, which is exact here because no find text holds a line "
      "break.")
    w("- Scrivox keeps a journal so that a run can be undone, as none of the other tools does: "
      "for each changed file a second name of the old file in the journal's folder (a hard link "
      "on the same file system, so no data is copied), the SHA-256 of every byte of the new "
      "content, and a line in the journal file, flushed with each group of renames. The journal "
      "is made at a run's first change, so a run that finds nothing writes none (it only makes "
      "the state folder's runs folder where it is missing). The scrivox-nojournal rows show "
      "Scrivox without all that.")
    w("- The journal keeps the old file alive under its second name, so the rename that puts the "
      "new content in place frees no blocks; without the journal (and in every other tool) that "
      "rename or the unlink frees the old file's blocks then and there: 359 renames of a new "
      "48 kB file over an old one took about 100 µs each here, and 10 µs each while a second "
      "name kept every old file (the file system is mounted with `discard`). The journal pays "
      "that later, when it drops its oldest run (it keeps the last 20 runs and at most 1 GiB of "
      "old content), at the start of a later run; here the state folder is emptied outside the "
      "timed runs, so no run pays it.")
    w("<!-- compare:end -->")

    # Only this script's part of the file; the sections after it are kept.
    put_section("compare", out, "\n".join(L) + "\n")
    for name in ("sha_bench", "find_bench", "wine"):
        path = os.path.join(area, name + ".md")
        if os.path.exists(path):
            put_section(name, out, open(path).read().rstrip("\n") + "\n")

    # The README shows the same summary, between the same markers.
    readme = sys.argv[3] if len(sys.argv) > 3 else None
    begin, end = "<!-- readme:begin -->", "<!-- readme:end -->"
    if readme and os.path.exists(readme) and begin in open(readme).read():
        put_section("readme", readme, "\n".join(L[L.index(begin):L.index(end) + 1]) + "\n")

if __name__ == "__main__":
    main()
