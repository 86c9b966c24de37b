#!/usr/bin/env bash
# Builds find_bench, makes the benchmark tree (once), runs the benchmark and puts its table in
# bench/RESULTS.md, between the find_bench markers there (bench/compare.sh writes the rest of
# that file). Extra arguments go to find_bench (e.g. --repeat 9); with another --token, also give
# --expect N, or --expect -1 to accept any non-zero count. With --section FILE first, the table
# goes to FILE alone and RESULTS.md is left as it is (bench/compare.sh does that).
# Delete build/bench-tree to regenerate the tree after changing gen_tree.py.
set -euo pipefail

section=""
if [ "${1:-}" = --section ]; then
    section=$(realpath -m "$2")
    shift 2
fi
cd "$(dirname "$0")/.."
tree=build/bench-tree

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target find_bench

if [ ! -f "$tree/manifest.json" ]; then
    python3 bench/gen_tree.py --out "$tree"
fi
# Every planted variant contains the token, so a case-insensitive run that is not limited to
# whole words replaces all of those inside the filter; the caseless whole-word run, those that
# stand between non-word bytes.
{ read -r expect; read -r expect_whole; read -r summary; } < <(python3 - "$tree/manifest.json" <<'PY'
import json, re, sys
m = json.load(open(sys.argv[1]))
planted = sum(m["planted"]["counted"].values())
whole = re.compile(r"(?<![A-Za-z0-9_])" + re.escape(m["token"]) + r"(?![A-Za-z0-9_])",
                   re.IGNORECASE | re.ASCII)
print(planted)
print(sum(n * len(whole.findall(" " + m["variants"][v] + " "))
          for v, n in m["planted"]["counted"].items()))
print(f"seed {m['seed']}, {m['files']} files in {m['folders']} folders, {m['bytes'] / 1e6:.1f} MB; "
      f"the token planted {planted} times in {m['token_files']} files of the filter")
PY
)

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
out=$(mktemp)
block=$(mktemp)
trap 'rm -f "$out" "$block"' EXIT
build/native/bin/find_bench "$tree" --expect "$expect" --expect-whole "$expect_whole" "$@" |
    tee "$out"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# The largest spread, (max - min) / median, over the scenarios.
spread=$(awk -F'|' '/^\| (walk|read|find|replace|preview|touch)/ { gsub(/[ %]/, "", $7); if ($7 + 0 > m) m = $7 + 0 } END { print m + 0 }' "$out")

{
    echo "<!-- find_bench:begin -->"
    echo "## Engine-level Find benchmark (find_bench)"
    echo
    echo "The engine called in-process (\`bench/find_bench.cpp\`), against a plain read in the"
    echo "scanner's block size."
    echo
    echo "- Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "- Kernel: $(uname -sr)"
    echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "- Source: $(git describe --always --dirty 2>/dev/null || echo unknown)"
    echo "- Build: native preset ($(grep -m1 '^CMAKE_BUILD_TYPE' build/native/CMakeCache.txt | cut -d= -f2)), $(c++ --version | head -1)"
    echo "- Tree: build/bench-tree from \`bench/gen_tree.py\` with its defaults: $summary"
    echo "- Command: \`bench/run.sh${*:+ $*}\`"
    echo
    cat "$out"
    echo
    echo "MB are 10^6 bytes of the files the walk hands over; \"Time vs read\" is the median time"
    echo "over the median of the plain read of the same files in the same block size. The read"
    echo "bound includes the walk (first row). The page cache is warm; the two replace runs each work"
    echo "on a fresh, synced copy of the tree, and they and Touch (on the second copy) keep a journal"
    echo "as the program does, in a state folder emptied before each run; the preview runs over the"
    echo "tree itself and must count what the first replace run changes."
    echo
    echo "Noise: the largest spread (max - min over median) was ${spread}%; load average"
    echo "${load_before} before and ${load_after} after the run. Other work on the machine shows up"
    echo "as spread and only ever adds time, so on a busy machine the minimum is the better guide to"
    echo "the engine's own cost; rerun on an idle machine for firm numbers."
    echo "<!-- find_bench:end -->"
} >"$block"

if [ -n "$section" ]; then
    cp "$block" "$section"
    exit 0
fi
# The table replaces the one between the markers, or is added at the end.
python3 bench/put_section.py find_bench bench/RESULTS.md "$block"
echo "updated bench/RESULTS.md"
