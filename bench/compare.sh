#!/usr/bin/env bash
# Times the scrivox program against common find-and-replace tools on the seeded benchmark tree
# and writes bench/RESULTS.md. One command, on a Debian machine with nothing set up:
#
#   bench/compare.sh [--runs N] [--no-huge] [--no-scale] [--scale-files N] [--no-find-bench]
#                    [--no-wine] [--tree DIR] [--results FILE]
#
# It installs what it lacks with apt-get, builds the native preset, makes build/bench-tree with
# bench/gen_tree.py's defaults when it is missing, and works in build/bench-compare, which it
# removes when it is done (a failed check leaves it for a look). Every timed run gets a fresh copy
# of the tree, made, synced and read once beforehand, so that only the tool is timed and the page
# cache is warm; every scrivox run also gets an empty state folder there (XDG_STATE_HOME), so that
# its journal never lands in the user's and each run pays the same for it. Tools take turns within
# each round, so that load from elsewhere hits all alike. Every tool's resulting tree must be
# byte-identical to Scrivox's (a bound's: to the tree as it was), or the script fails. The scale
# runs (bench/compare_scale.sh) work on one generated tree instead, checked after every run.
#
#   --runs N          timed runs per tool and scenario (default 5; the median needs at least 5)
#   --no-huge         skip the peak-memory run on a 5 GiB sparse file
#   --no-scale        skip the runs on a generated tree of a million small files
#   --scale-files N   files of that tree (default 1000000, a hundred to a folder)
#   --no-find-bench   skip the engine-level table of bench/run.sh
#   --no-wine         skip the Windows builds under Wine (bench/wine.sh)
#   --tree DIR        another tree made by bench/gen_tree.py (a small one, to try the script)
#   --results FILE    write the results there, and leave README.md alone (default
#                     bench/RESULTS.md, whose summary goes into README.md too)
set -euo pipefail
export LC_ALL=C  # byte semantics for sed, find and sort, and a '.' in $EPOCHREALTIME

cd "$(dirname "$0")/.."
root=$PWD

runs=5
huge=1
scale=1
scale_files=1000000
findbench=1
wine=1
tree=$root/build/bench-tree
results=$root/bench/RESULTS.md
usage="usage: bench/compare.sh [--runs N] [--no-huge] [--no-scale] [--scale-files N] [--no-find-bench] [--no-wine] [--tree DIR] [--results FILE]"
while [ $# -gt 0 ]; do
    [[ $1 != --runs && $1 != --scale-files && $1 != --tree && $1 != --results ]] || [ $# -ge 2 ] ||
        { echo "$1 needs a value" >&2; exit 2; }
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --no-huge) huge=0; shift ;;
        --no-scale) scale=0; shift ;;
        --scale-files) scale_files=$2; shift 2 ;;
        --no-find-bench) findbench=0; shift ;;
        --no-wine) wine=0; shift ;;
        --tree) tree=$(realpath "$2"); shift 2 ;;
        --results) results=$(realpath "$2"); shift 2 ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
for n in "$runs" "$scale_files"; do
    if ! [[ $n =~ ^[0-9]+$ ]] || [ "$n" -lt 1 ]; then
        echo "--runs and --scale-files need a positive number" >&2
        exit 2
    fi
done

# --- What the comparison needs -----------------------------------------------------------------
packages=()
need() { command -v "$1" >/dev/null 2>&1 || packages+=("$2"); }
need sd sd
need rpl rpl
need perl perl
need sed sed
need python3 python3
need cc gcc
need c++ g++
need cmake cmake
need make make
need eatmydata eatmydata  # for the diagnostic row that shows what the flushes cost
[ -x /usr/bin/time ] || packages+=(time)
# The native preset configures the tests too, and they need GoogleTest.
dpkg -s libgtest-dev libgmock-dev >/dev/null 2>&1 || packages+=(libgtest-dev libgmock-dev)
if [ ${#packages[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "Installing: ${packages[*]}"
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${packages[@]}" >/dev/null
fi

mkdir -p build
echo "Building the native preset (scrivox, find_bench, sha_bench)..."
{ cmake --preset native && cmake --build --preset native -j2 --target scrivox find_bench sha_bench; } \
    >build/compare-build.log 2>&1 || { cat build/compare-build.log; exit 1; }
scrivox=$root/build/native/bin/scrivox

if [ ! -f "$tree/manifest.json" ]; then
    [ "$tree" = "$root/build/bench-tree" ] || { echo "$tree holds no manifest.json" >&2; exit 2; }
    python3 bench/gen_tree.py --out "$tree"
fi

# --- Work area ---------------------------------------------------------------------------------
area=$root/build/bench-compare
rm -rf "$area"
mkdir -p "$area"
work=$area/work       # the fresh copy a timed run works on
ref=$area/ref         # Scrivox's result, which every other tool's must equal
cfg=$area/config      # XDG_CONFIG_HOME of the timed scrivox runs
state=$area/state     # XDG_STATE_HOME of every scrivox run: its journals, emptied before each
list=$area/files.list # the files Scrivox processes, NUL-separated, relative to the tree
times=$area/times.tsv
tools=$area/tools.tsv
extra=$area/extra.tsv
meta=$area/meta.tsv
: >"$times"
: >"$tools"
: >"$extra"
: >"$meta"
finished=0
scale_root=""
cleanup() {
    rm -rf "$area/huge"  # 5 GiB: never left behind
    # A million files and the journal of a Touch over them: never left behind either.
    [ -z "$scale_root" ] || rm -rf "$scale_root"
    rm -rf "$area/scale-state"
    if [ "$finished" = 1 ]; then
        rm -rf "$area"
    elif [ -d "$area" ]; then
        echo "left build/bench-compare for a look; delete it when done" >&2
    fi
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
put() { printf '%s\t%s\n' "$1" "$2" >>"$meta"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
q() { printf "'%s'" "${1//\'/\'\\\'\'}"; }  # one shell word, single-quoted

put load_start "$(load)"

# --- Texts and the file set --------------------------------------------------------------------
filter='*.c;*.h;*.cpp;*.txt'
token=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["token"])' \
    "$tree/manifest.json")
absent=scrivox_absent
repl=renamed_token
# Identifiers need no quoting in any tool's syntax, and begin and end with a word byte, which
# GNU sed's \< and \> need to mean "no word byte before or after".
for text in "$token" "$absent" "$repl"; do
    [[ $text =~ ^[A-Za-z0-9_]+$ ]] || fail "\"$text\" is not an identifier"
done

# What Scrivox must report, from what gen_tree.py planted: each variant stands between
# a line start (or the non-word end of the variant before it) and a non-word byte.
read -r expect_cs expect_ww < <(python3 bench/expected_counts.py "$tree/manifest.json")

# The files Scrivox processes: regular, not hidden, writable by their owner, the name matching
# one of the filter's patterns without regard to ASCII case.
IFS=';' read -ra patterns <<<"$filter"
names=()
for p in "${patterns[@]}"; do
    [ ${#names[@]} -eq 0 ] || names+=(-o)
    names+=(-iname "$p")
done
(cd "$tree" && find . -type f ! -name '.*' -perm -u=w \( "${names[@]}" \) -print0) >"$list"
nfiles=$(tr -cd '\0' <"$list" | wc -c)
bytes=$(cd "$tree" && xargs -0 stat -c %s <"$list" | awk '{ s += $1 } END { print s }')
put files "$nfiles"
put bytes "$bytes"
put filter "$filter"
put token "$token"
put absent "$absent"
put repl "$repl"
put runs "$runs"
put expect_cs "$expect_cs"
put expect_ww "$expect_ww"
put tree_path "${tree#"$root"/}"
put tree_summary "$(python3 - "$tree/manifest.json" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))
print(f"seed {m['seed']}, {m['files']} files in {m['folders']} folders, {m['bytes'] / 1e6:.1f} MB")
PY
)"

# The bare bounds and the checks' helpers, in C.
helpers=(touch_loop touch_walk read_loop copy_bound gen_scale_tree tree_changes)
for helper in "${helpers[@]}"; do
    cc -O2 -Wall -o "$area/$helper" "bench/$helper.c"
done

# --- Machine -----------------------------------------------------------------------------------
put cpus "$(nproc)"
put cpu_model "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
put kernel "$(uname -sr)"
fs=$(findmnt -no FSTYPE,SOURCE,OPTIONS -T "$area" 2>/dev/null || df -T "$area" | awk 'NR == 2 { print $2 }')
# Without a journal, ext4 fsyncs differently and avoids reusing inodes freed moments ago.
if [[ $fs == ext4* ]] && [ -d /proc/fs/jbd2 ]; then
    device=$(basename "$(echo "$fs" | awk '{ print $2 }')")
    ls /proc/fs/jbd2 | grep -q "^$device-" || fs="$fs (no journal)"
fi
put fs "$fs"
put date "$(date -u '+%Y-%m-%d %H:%M UTC')"
put source "$(git describe --always --dirty 2>/dev/null || echo unknown)"
put build "$(grep -m1 '^CMAKE_BUILD_TYPE' build/native/CMakeCache.txt | cut -d= -f2), $(c++ --version | head -1)"
put v_sd "$(sd --version | head -1)"
put v_rpl "$(rpl --version | head -1)"
put v_perl "perl $(perl -e 'printf "%vd", $^V')"
put v_sed "$(sed --version | head -1)"
put v_cc "$(cc --version | head -1)"

# --- One timed run -----------------------------------------------------------------------------
fresh_copy() {
    rm -rf "$work" "$state"
    mkdir -p "$state"  # no earlier run's journal to list or drop: every run pays the same for its own
    cp -a "$tree" "$work"
    sync  # the copy's writeback, and the last removal's, must not land inside the timed run
    find "$work" -type f -print0 | xargs -0 cat >/dev/null  # warm: every byte read once
}

# Binary files too: the other tools change them, and every tree must come out the same.
write_options() {  # CASE-SENSITIVE WHOLE-WORDS ACTION
    mkdir -p "$cfg/scrivox"
    printf '%s\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Harrowfen\Scrivox\Options]' \
        '"Subfolders"="yes"' "\"CaseSensitive\"=\"$1\"" "\"WholeWords\"=\"$2\"" \
        '"CreateBackups"="no"' "\"Action\"=dword:0000000$3" \
        '"Binary"="yes"' >"$cfg/scrivox/user.reg"
}

# run_timed SCENARIO TOOL COMMAND: COMMAND, a shell string, runs in a fresh copy; only it is timed.
# Its start and end go to $times; $t0 and $t1 keep them for the checks.
run_timed() {
    local scenario=$1 tool=$2 command=$3
    fresh_copy
    t0=$EPOCHREALTIME
    if ! (cd "$work" && eval "$command") >"$area/out" 2>&1; then
        cat "$area/out" >&2
        fail "$tool exited with an error in \"$scenario\": $command"
    fi
    t1=$EPOCHREALTIME
    printf '%s\t%s\t%s\t%s\n' "$scenario" "$tool" "$t0" "$t1" >>"$times"
}

source bench/compare_checks.sh

# --- Scenarios ---------------------------------------------------------------------------------
# Each scenario lists its tools (Scrivox first, so that its result is there to compare with);
# then every round runs each tool once.
# A tool named scrivox-... is a diagnostic variant of Scrivox's run: shown, never a peer.
tool_names=()
tool_cmds=()
add_tool() {  # SCENARIO TOOL COMMAND NOTE
    tool_names+=("$2")
    tool_cmds+=("$3")
    local shown=${3//"$(q "$list")"/LIST} helper
    for helper in "${helpers[@]}"; do
        shown=${shown//"$(q "$area/$helper")"/bench/$helper}
    done
    shown=${shown//"$(q "$area/changed_$1.list")"/CHANGED}
    shown=${shown//"$(q "$cfg")"/CONFIG}
    shown=${shown//"$(q "$state")"/STATE}
    shown=${shown//"$(q "$scrivox")"/build/native/bin/scrivox}
    shown=${shown//"$(q "$area/empty")"/EMPTY}
    shown=${shown//"$(q "$area/mem.txt")"/MEM}
    printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$shown" "$4" >>"$tools"
}

# run_replace SCENARIO CASE WHOLE FIND EXPECTED [CHANGED]: Scrivox's Find, then the other tools in
# tool_names. CHANGED lists the files the run must change, worked out beforehand.
run_replace() {
    local scenario=$1 case=$2 whole=$3 find=$4 expected=$5 changed=${6:-} r i tool
    put "load_${scenario}_before" "$(load)"
    echo "Scenario $scenario: ${#tool_names[@]} tools x $runs runs"
    for ((r = 1; r <= runs; r++)); do
        for i in "${!tool_names[@]}"; do
            tool=${tool_names[$i]}
            [[ $tool != scrivox* ]] || write_options "$case" "$whole" 1
            run_timed "$scenario" "$tool" "${tool_cmds[$i]}"
            if [ "$tool" = scrivox-preview ]; then
                # As many files as Scrivox's run of this round wrote (the first round's count).
                check_preview "$scenario" "$(awk -F'\t' -v s="$scenario" \
                    '$1 == s && $2 == "scrivox" { print $3 }' "$extra")" "$expected" || exit 1
            elif [[ $tool == scrivox* ]]; then
                check_report "$scenario" "$nfiles" "$expected" || exit 1
            fi
            [[ $tool != scrivox* ]] || check_state "$scenario" "$tool" "$expected"
            if [ "$r" = 1 ]; then
                printf '%s\t%s\t%s\n' "$scenario" "$tool" "$(files_written)" >>"$extra"
            fi
            if [ "$tool" = scrivox ] && [ "$expected" != 0 ] && [ ! -d "$ref" ]; then
                mv "$work" "$ref"
                [ -z "$changed" ] || check_changed "$scenario" "$changed" || exit 1
            elif [ "$tool" = copy ]; then
                check_copy "$scenario" "$(tr -cd '\0' <"$changed" | wc -c)"
            elif [ "$tool" = scrivox-preview ]; then
                check_same "$scenario" "$tool" "$tree" "the tree as it was"
            else
                check_same "$scenario" "$tool" "$([ "$expected" = 0 ] && echo "$tree" || echo "$ref")"
            fi
        done
    done
    rm -rf "$ref" "$work"
    put "load_${scenario}_after" "$(load)"
}

scrivox_cmd() {  # FIND [FOLDER [WRAPPER [OPTION]]]
    echo "XDG_CONFIG_HOME=$(q "$cfg") XDG_STATE_HOME=$(q "$state") ${3:+$3 }$(q "$scrivox") ${4:+$4 }-r+ ${2:-.} $(q "$filter") $(q "$1") $(q "$repl")"
}
# The same run with every fsync and sync made a no-op: what the engine costs without the flushes.
nosync_note="diagnostic, not a peer: the same run under eatmydata, which makes fsync a no-op"
# The bare bound of a replace that is safe against a crash; "copy" is never a peer.
copy_note="bench/copy_bound.c: the bound, not a peer: every listed file read once, a copy of each file that changes written beside it (the old content: no replacement made), one syncfs, one rename each; it must rewrite exactly the files Scrivox changes and leave the content as it was (diff -r; the copies' mode is mkstemp's 0600, which diff does not compare)"
# The same run keeping nothing to undo it with: what the journal costs.
nojournal_note="diagnostic, not a peer: the same run with --no-undo, which keeps no journal (no old content kept, no SHA-256 of the new, no journal file to write and flush)"
sed_literal() { printf '%s' "$1" | sed 's/[][\/.*^$]/\\&/g'; }  # a literal in a BRE
sed_replacement() { printf '%s' "$1" | sed 's/[\/&]/\\&/g'; }

# 1. The read bounds: the same files, read whole, nothing else.
tool_names=()
tool_cmds=()
add_tool read cat "xargs -0 cat <$(q "$list") >/dev/null" "the listed files, read once to /dev/null"
add_tool read loop "$(q "$area/read_loop") . $(q "$filter")" \
    "bench/read_loop.c: the bare bound of a run that finds nothing: its own walk (each folder listed once, the files Scrivox takes), each file read in 1 MiB blocks, nothing else; it must read exactly the listed files and bytes"
put load_read_before "$(load)"
echo "Scenario read: ${#tool_names[@]} tools x $runs runs"
for ((r = 1; r <= runs; r++)); do
    for i in "${!tool_names[@]}"; do
        run_timed read "${tool_names[$i]}" "${tool_cmds[$i]}"
        [ "${tool_names[$i]}" != loop ] || check_read_loop
    done
done
put load_read_after "$(load)"

# 2 and 3. Case-sensitive replace, and a text that occurs nowhere; the same tools for both.
for scenario in cs none; do
    find=$token
    expected=$expect_cs
    if [ $scenario = none ]; then
        find=$absent
        expected=0
    fi
    tool_names=()
    tool_cmds=()
    add_tool $scenario scrivox "$(scrivox_cmd "$find")" "CaseSensitive yes, WholeWords no"
    if [ $scenario = cs ]; then
        add_tool cs scrivox-nosync "$(scrivox_cmd "$find" . eatmydata)" "$nosync_note"
        add_tool cs scrivox-nojournal "$(scrivox_cmd "$find" . "" --no-undo)" "$nojournal_note"
        add_tool cs scrivox-preview "$(scrivox_cmd "$find" . "" -n)" \
            "diagnostic: the preview (-n), the same walk and scan writing nothing; it must report the files and replacements the run changes and makes, and leave the tree as it was"
        add_tool cs copy "$(q "$area/copy_bound") $(q "$list") $(q "$find")" "$copy_note"
    fi
    add_tool $scenario sd "xargs -0 sd -s $(q "$find") $(q "$repl") <$(q "$list")" \
        "string mode; runs a thread per core"
    add_tool $scenario sed "xargs -0 sed -i -e $(q "s/$(sed_literal "$find")/$(sed_replacement "$repl")/g") <$(q "$list")" \
        "LC_ALL=C"
    add_tool $scenario perl "xargs -0 perl -pi -e $(q "s/\\Q$find\\E/$repl/g") <$(q "$list")" ""
    add_tool $scenario rpl "xargs -0 rpl -q -F --encoding latin-1 $(q "$find") $(q "$repl") <$(q "$list")" \
        "-F literal, case-sensitive by default; latin-1 passes every byte through unchanged"
    if [ $scenario = cs ]; then
        changed_files cs "$find" "$area/changed_cs.list"
        run_replace cs yes no "$find" "$expected" "$area/changed_cs.list"
    else
        run_replace none yes no "$find" "$expected"
    fi
done

# 4. Case-insensitive whole-word replace; ASCII word bytes and ASCII case folding only.
ww_before='(?<![A-Za-z0-9_])'
ww_after='(?![A-Za-z0-9_])'
tool_names=()
tool_cmds=()
add_tool ww scrivox "$(scrivox_cmd "$token")" "CaseSensitive no, WholeWords yes"
add_tool ww scrivox-nosync "$(scrivox_cmd "$token" . eatmydata)" "$nosync_note"
add_tool ww scrivox-nojournal "$(scrivox_cmd "$token" . "" --no-undo)" "$nojournal_note"
changed_files ww "$token" "$area/changed_ww.list"
add_tool ww copy "$(q "$area/copy_bound") --changed $(q "$area/changed_ww.list") $(q "$list")" \
    "$copy_note; here the files that change are CHANGED, worked out before the timed runs (a whole word in any ASCII case), so the bound does no search at all"
add_tool ww sd "xargs -0 sd $(q "(?i-u)\\b$token\\b") $(q "$repl") <$(q "$list")" \
    "regex mode; (?-u) makes \\b and case folding ASCII-only"
add_tool ww sed "xargs -0 sed -i -E -e $(q "s/\\<$(sed_literal "$token")\\>/$(sed_replacement "$repl")/gI") <$(q "$list")" \
    "GNU \\< \\> and I; exact here because the token begins and ends with a word byte and LC_ALL=C"
add_tool ww perl "xargs -0 perl -pi -e $(q "s/$ww_before\\Q$token\\E$ww_after/$repl/aaig") <$(q "$list")" \
    "/aa keeps case folding ASCII-only"
# rpl takes 90 to 110 s a run here, a third of the whole script: see its note.
add_tool ww rpl "xargs -0 rpl -q -i --encoding latin-1 $(q "$ww_before$token$ww_after") $(q "$repl") <$(q "$list")" \
    "Python re with latin-1, where no non-ASCII byte folds to an ASCII letter. Slow because it rescans the text it carries over from one 8 KiB block to the next until the next match, and a case-insensitive pattern gets no fast literal search"
run_replace ww no yes "$token" "$expect_ww" "$area/changed_ww.list"

# 5. Touch: Scrivox's walk and stat and utimensat against utimensat alone over the same list.
tool_names=()
tool_cmds=()
add_tool touch scrivox "$(scrivox_cmd unused)" "Action 2 (Touch): every matching file's last-write time set to now"
add_tool touch loop "$(q "$area/touch_loop") $(q "$list")" \
    "bench/touch_loop.c: one utimensat per listed file, no walk, no stat"
find_names=""
for p in "${patterns[@]}"; do
    find_names+="${find_names:+ -o }-iname $(q "$p")"
done
add_tool touch find-touch "find . -type f ! -name '.*' -perm -u=w \\( $find_names \\) -exec touch -m -d now {} +" \
    "find with the filter's rules (the command that makes LIST), handing the files to touch in batches"
add_tool touch walk "$(q "$area/touch_walk") . $(q "$filter")" \
    "bench/touch_walk.c: diagnostic, the same walk in bare C (each folder read once), one status read and one utimensat per file"
add_tool touch scrivox-nosync "$(scrivox_cmd unused . eatmydata)" "$nosync_note"
mkdir -p "$area/empty"
add_tool touch scrivox-empty "$(scrivox_cmd unused "$(q "$area/empty")")" \
    "diagnostic: Touch over an empty folder, i.e. start-up and the store's reads and writes alone"
put load_touch_before "$(load)"
echo "Scenario touch: ${#tool_names[@]} tools x $runs runs"
for ((r = 1; r <= runs; r++)); do
    for i in "${!tool_names[@]}"; do
        tool=${tool_names[$i]}
        [[ $tool != scrivox* ]] || write_options yes no 2
        run_timed touch "$tool" "${tool_cmds[$i]}"
        if [ "$tool" = scrivox-empty ]; then
            check_report touch 0 -1 || exit 1
            [ "$r" != 1 ] || printf '%s\t%s\t%s\n' touch "$tool" 0 >>"$extra"
            continue
        fi
        [[ $tool != scrivox* ]] || check_report touch "$nfiles" -1 || exit 1
        [ "$tool" != walk ] || grep -qx "$nfiles files touched" "$area/out" ||
            fail "touch_walk touched $(cat "$area/out"), $nfiles are listed"
        check_touched "$tool" || exit 1
        [ "$r" != 1 ] || printf '%s\t%s\t%s\n' touch "$tool" "$nfiles" >>"$extra"
    done
done
rm -rf "$work"
put load_touch_after "$(load)"

# 6. Peak memory of a Find over one 5 GiB sparse file with its matches near the end.
if [ "$huge" = 1 ]; then
    source bench/compare_huge.sh
else
    put mem_note "skipped (--no-huge)"
fi

# 7. A tree of a million small files: time per file and peak memory as the tree grows.
if [ "$scale" = 1 ]; then
    source bench/compare_scale.sh
else
    put scale_note "skipped (--no-scale)"
fi

# SHA-256 on each compression this processor has: what the journal pays per byte it hashes.
echo "SHA-256 (sha_bench)"
{
    echo "<!-- sha_bench:begin -->"
    echo "## SHA-256 of a changed file's new content (sha_bench)"
    echo
    echo "A run that keeps a journal hashes every byte it writes. \`build/native/bin/sha_bench\` on"
    echo "this machine, $(date -u '+%Y-%m-%d'), \`$(git describe --always --dirty 2>/dev/null || echo unknown)\`:"
    echo
    build/native/bin/sha_bench --repeat "$((runs > 3 ? runs : 3))"
    echo
    echo "The x86 path is taken where the processor has the SHA extensions (cpuid), the portable"
    echo "one elsewhere; \`engine_tests\` checks that both give the same digests."
    echo "<!-- sha_bench:end -->"
} >"$area/sha_bench.md" || fail "sha_bench failed"

# The engine-level table, from bench/run.sh.
if [ "$findbench" = 1 ]; then
    echo "Engine-level benchmark (bench/run.sh)"
    bench/run.sh --section "$area/find_bench.md" --repeat "$runs" >"$area/find_bench.log" 2>&1 ||
        { cat "$area/find_bench.log" >&2; fail "bench/run.sh failed"; }
fi

# The Windows builds under Wine beside the native engine, from bench/wine.sh.
if [ "$wine" = 1 ]; then
    echo "Windows builds under Wine (bench/wine.sh)"
    bench/wine.sh --section "$area/wine.md" --repeat "$runs" >"$area/wine.log" 2>&1 ||
        { cat "$area/wine.log" >&2; fail "bench/wine.sh failed"; }
fi

put load_end "$(load)"
if [ "$results" = "$root/bench/RESULTS.md" ]; then
    python3 bench/compare_report.py "$area" "$results" README.md
else
    python3 bench/compare_report.py "$area" "$results"
fi
finished=1
echo "wrote ${results#"$root"/}"
