#!/usr/bin/env bash
# What a change costs: the scrivox program built from two revisions, timed in turns on the
# benchmark tree, for the three runs whose time matters (no match, replace, Touch).
#
#   bench/ab.sh [--runs N] [--section FILE] OLD [NEW]
#
# OLD and NEW are git revisions (NEW defaults to the work tree as it is). Each is built in
# build/ab-<name>; every timed run gets a fresh copy of build/bench-tree, synced and read once
# beforehand, and the two programs take turns, so that load from elsewhere hits both alike. Both
# must leave byte-identical trees and print the same report. Prints a table of medians and
# minimums with NEW's time over OLD's; with --section FILE the table also goes into FILE between
# <!-- ab:begin --> and <!-- ab:end -->.
set -euo pipefail
export LC_ALL=C

cd "$(dirname "$0")/.."
root=$PWD
runs=7
section=""
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --section) section=$(realpath -m "$2"); shift 2 ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: bench/ab.sh [--runs N] [--section FILE] OLD [NEW]" >&2; exit 2; }
old=$1
new=${2:-}

# Builds scrivox from a revision (or the work tree) into build/ab-NAME; prints the program's path.
build() {  # REVISION NAME
    local src=$root/build/ab-$2/src out=$root/build/ab-$2/out
    # Afresh: archived sources carry their commit's times, older than any earlier build's.
    rm -rf "$src" "$out"
    mkdir -p "$src"
    if [ -n "$1" ]; then
        git archive "$1" | tar -x -C "$src"
    else
        git ls-files -z | xargs -0 cp --parents -t "$src"
    fi
    cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCRIVOX_TESTS=OFF >/dev/null
    cmake --build "$out" -j2 --target scrivox >/dev/null
    local bin
    bin=$(find "$out" -name scrivox -type f -perm -u=x | head -1)
    [ -n "$bin" ] || { echo "no scrivox built from ${1:-the work tree}" >&2; exit 1; }
    echo "$bin"
}
echo "building $old and ${new:-the work tree}..." >&2
bin_a=$(build "$old" old)
bin_b=$(build "$new" new)

tree=$root/build/bench-tree
[ -f "$tree/manifest.json" ] || python3 bench/gen_tree.py --out "$tree"
token=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["token"])' "$tree/manifest.json")
area=$root/build/ab-area
rm -rf "$area"
mkdir -p "$area"
trap 'rm -rf "$area"' EXIT
filter='*.c;*.h;*.cpp;*.txt'

# Binary files too, so that a revision that leaves them alone does the same work as one before.
options() {  # ACTION: 1 Find, 2 Touch
    mkdir -p "$area/config/scrivox"
    printf '%s\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Harrowfen\Scrivox\Options]' \
        '"Subfolders"="yes"' '"CaseSensitive"="yes"' '"WholeWords"="no"' '"CreateBackups"="no"' '"Binary"="yes"' \
        "\"Action\"=dword:0000000$1" >"$area/config/scrivox/user.reg"
}

# Prints the seconds one run takes; its tree stays in $area/work-WHO, its report in $area/out-WHO.
# Its journal goes to an empty state folder of its own, never to the user's, so that every run
# pays the same for it.
timed() {  # WHO PROGRAM FIND REPLACE
    local work=$area/work-$1 state=$area/state-$1
    rm -rf "$work" "$state"
    mkdir -p "$state"
    cp -a "$tree" "$work"
    sync
    find "$work" -type f -print0 | xargs -0 cat >/dev/null
    local t0=$EPOCHREALTIME
    XDG_CONFIG_HOME=$area/config XDG_STATE_HOME=$state "$2" "$work" "$filter" "$3" "$4" >"$area/out-$1"
    local t1=$EPOCHREALTIME
    python3 -c "print(f'{$t1 - $t0:.4f}')"
}

stats() {  # prints: median minimum, of the numbers on stdin
    sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f\n", m, v[1] }'
}

table=$area/table.md
{
    echo "<!-- ab:begin -->"
    echo "### The cost of a change ($(date -u '+%Y-%m-%d %H:%M UTC'), \`bench/ab.sh\`)"
    echo
    echo "\`scrivox\` built from $(git rev-parse --short "$old") (old) and ${new:-the work tree at $(git rev-parse --short HEAD)} (new), $runs runs each in turns, on the benchmark tree; load average $(cut -d' ' -f1-3 /proc/loadavg) at the start."
    echo
    echo "| Run | Old median | New median | New / old (medians) | Old min | New min | New / old (minimums) |"
    echo "|---|---:|---:|---:|---:|---:|---:|"
} >"$table"
for scenario in "no match" "replace" "Touch"; do
    case $scenario in
        "no match") options 1; find=scrivox_absent; repl=x ;;
        replace) options 1; find=$token; repl=renamed_token ;;
        Touch) options 2; find=x; repl=x ;;
    esac
    : >"$area/a"
    : >"$area/b"
    for ((i = 0; i < runs; i++)); do
        # Who goes first alternates, so that neither always follows the other's writes.
        if ((i % 2)); then
            timed b "$bin_b" "$find" "$repl" >>"$area/b"
            timed a "$bin_a" "$find" "$repl" >>"$area/a"
        else
            timed a "$bin_a" "$find" "$repl" >>"$area/a"
            timed b "$bin_b" "$find" "$repl" >>"$area/b"
        fi
        if ! cmp -s "$area/out-a" "$area/out-b"; then
            echo "the reports differ in \"$scenario\":" >&2
            diff "$area/out-a" "$area/out-b" >&2 || true
            exit 1
        fi
        [ "$scenario" = Touch ] || diff -r -q "$area/work-a" "$area/work-b" >&2 ||
            { echo "the trees differ in \"$scenario\"" >&2; exit 1; }
    done
    read -r ma mina < <(stats <"$area/a")
    read -r mb minb < <(stats <"$area/b")
    python3 - "$scenario" "$ma" "$mb" "$mina" "$minb" >>"$table" <<'PY'
import sys
s, ma, mb, mina, minb = sys.argv[1], *map(float, sys.argv[2:])
print(f"| {s} | {ma:.3f} s | {mb:.3f} s | {mb / ma:.2f} | {mina:.3f} s | {minb:.3f} s | {minb / mina:.2f} |")
PY
done
echo "<!-- ab:end -->" >>"$table"
cat "$table"
if [ -n "$section" ]; then
    python3 "$root/bench/put_section.py" ab "$section" "$table"
fi
