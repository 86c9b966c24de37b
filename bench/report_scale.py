"""The scale section of bench/RESULTS.md: Scrivox over a generated tree of many small files,
time per file against the benchmark tree's in the same compare.sh run, peak memory, and what
its journal keeps."""

# Each scale run and the run on the benchmark tree its time per file is held against.
BASES = {"none": ("none", "scrivox"), "preview": ("cs", "scrivox-preview"),
         "touch": ("touch", "scrivox")}


def scale_section(runs, w):
    m = runs.meta
    w("## 7. Scale")
    w("")
    if "scale_files" not in m:
        w(f"Not measured: {m.get('scale_note', 'skipped')}.")
        w("")
        return
    files, folders, listed = int(m["scale_files"]), int(m["scale_folders"]), int(m["scale_listed"])
    parents = int(m["scale_all_folders"]) - folders - 1
    w(f"A tree made on the fly by `bench/gen_scale_tree.c`: {files:,} files of about "
      f"{int(m['scale_all_bytes']) / files:.0f} bytes in {folders:,} folders ({parents} parent "
      f"folders above them) on {m['scale_fs']}, made in {m['scale_gen_seconds']} s and removed "
      f"in {m['scale_rm_seconds']} s afterwards. The filter `{m['filter']}` takes "
      f"{listed:,} of them ({int(m['scale_listed_bytes']) / 1e6:.0f} MB); "
      f"{int(m['scale_token_files']):,} of those hold `{m['token']}` once. "
      f"{m['scale_runs']} run{'s' if m['scale_runs'] != '1' else ''} of each, in turns, each under `/usr/bin/time -v` and with an "
      "empty state folder; the tree is not copied between runs. Load average "
      f"{m['load_scale_before']} before, {m['load_scale_after']} after.")
    w("")
    w("| Run | Runs | Median s | Min s | Max s | µs per file (median) | Benchmark tree's µs per "
      "file | × the tree's (medians) | × (minimums) | Peak memory | Command |")
    w("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    notes = []
    for tool, command, note in runs.tools["scale"]:
        med, lo, hi = runs.stats("scale", tool)
        s_med, s_min = runs.per_file("scale", tool)
        b_med, b_min = runs.per_file(*BASES[tool])
        cmd = command.replace("|", "\\|")
        w(f"| {tool} | {len(runs.times[('scale', tool)])} | {med:.3f} | {lo:.3f} | {hi:.3f} | "
          f"{s_med:.1f} | {b_med:.1f} ({'/'.join(BASES[tool])}) | {s_med / b_med:.2f} | "
          f"{s_min / b_min:.2f} | {runs.rss[tool] / 1024:.1f} MiB | `{cmd}` |")
        notes.append(f"{tool}: {note}")
    w("")
    w("Time per file is the run's time over the files the filter takes, here and on the "
      f"benchmark tree ({m['files']} files, same script run); targets ≤ 1.2× and a peak memory "
      "(maximum resident set size, the largest of every run) under 64 MiB. The benchmark tree's "
      "files are larger (tens of kB against a hundred bytes), so the scans' share of the time "
      "differs; what this measures is whether the cost of a file grows with the number of "
      "files. The tree is on the file system named above, the state folders beside the "
      "benchmark tree's.")
    w("")
    w("Checks after every run (`bench/tree_changes.c` walks the whole tree and compares each "
      "file's and folder's status-change time with a file made just before the run): the files, "
      "bytes and folders are as made, no file outside the filter and no folder changed; no match "
      "and preview changed no file, Touch changed every file of the filter to a time within the "
      "run. Scrivox reported the files of the filter (no match, Touch) and the files and "
      "replacements of the token (preview); the preview and the no-match run kept nothing in "
      "their state folders, and `scrivox --runs` listed the Touch with every file.")
    w("")
    journal = int(m["scale_journal_bytes"])
    w(f"A Touch's journal keeps each file's old time: the state folder after a Touch of this "
      f"tree held {journal / 1e6:.1f} MB, {journal / listed:.0f} bytes per file.")
    if "scale_retained_runs" in m:
        kept, kept_runs = int(m["scale_retained_bytes"]), int(m["scale_retained_runs"])
        over = kept > 1 << 30
        w(f"Retention, checked: with 20 more runs like it in the state folder (second names of "
          f"its files, so they take no room) a Touch of one file left {kept_runs} runs, "
          f"{kept / 1e6:.0f} MB by their files' lengths: what 20 Touch runs over this tree keep. "
          + ("That is **over** the 1 GiB the journal keeps at most of old content: the limit "
             "counts old content, which a Touch keeps none of, and not the journals' own lines, "
             "so only the count of runs bounds it." if over else
             "That is within the 1 GiB the journal keeps at most of old content."))
    w("")
    for note in notes:
        w(f"- {note}")
    w("")
