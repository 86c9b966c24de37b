#!/usr/bin/env bash
# Builds store_bench, runs it and puts its table in bench/RESULTS.md between the store_bench
# markers there. Extra arguments go to store_bench (e.g. --repeat 9, or value counts).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target store_bench

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
out=$(mktemp)
block=$(mktemp)
trap 'rm -f "$out" "$block"' EXIT
build/native/bin/store_bench --repeat 5 "$@" | tee "$out"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

{
    echo "<!-- store_bench:begin -->"
    echo "## The per-user store file with many values (store_bench)"
    echo
    echo "One key holding 40,000 and then 200,000 texts (\`bench/store_bench.cpp\`): the tree's"
    echo "parse and format of the file's text, and the key API in a session as scrivox uses it."
    echo "\"Session read\" is the session's first call reading the file, then every value enumerated"
    echo "and read by name; \"session write\" sets every value in an empty key and commits, which"
    echo "writes and syncs the file. The file is in /tmp ($(stat -f -c %T /tmp))."
    echo
    echo "- Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "- Source: $(git describe --always --dirty 2>/dev/null || echo unknown)"
    echo "- Build: native preset ($(grep -m1 '^CMAKE_BUILD_TYPE' build/native/CMakeCache.txt | cut -d= -f2)), $(c++ --version | head -1)"
    echo "- Command: \`bench/store.sh${*:+ $*}\`; load average ${load_before} before, ${load_after} after"
    echo
    cat "$out"
    echo
    echo "Before values were found by hash (\`bc49bb4\`, one run each), 40,000 values took 3.9 s to"
    echo "parse, 8.3 s to read in a session and 15.8 s to write; 200,000 took over 30 s to read."
    echo "<!-- store_bench:end -->"
} >"$block"

python3 bench/put_section.py store_bench bench/RESULTS.md "$block"
echo "updated bench/RESULTS.md"
