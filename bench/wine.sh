#!/usr/bin/env bash
# Times the engine of the Windows builds under Wine beside the native one, on the same tree and
# in the same runs (find_bench: walk, read, no match, the case-sensitive and the caseless
# whole-word replace with their journal, preview, Touch with its journal); counts the system calls
# each step of a run makes per file on both sides (bench/file_calls.py: strace natively, Wine's
# relay trace of ntdll's Nt* calls for win64); and times what each Windows file call costs under
# Wine (win_calls). Writes the section between the wine markers of bench/RESULTS.md (or, with
# --section FILE first, to FILE alone; bench/compare.sh does that).
#
#   bench/wine.sh [--section FILE] [--repeat N]
#
# Installs what it lacks (scripts/install-deps), builds find_bench for the native, win32 and
# win64 presets and win_calls for win64, and uses the Wine prefix of the tests (build/wineprefix).
set -euo pipefail

section=""
if [ "${1:-}" = --section ]; then
    section=$(realpath -m "$2")
    shift 2
fi
repeat=5
if [ "${1:-}" = --repeat ]; then
    repeat=$2
    shift 2
fi
[ $# -eq 0 ] || { echo "usage: bench/wine.sh [--section FILE] [--repeat N]" >&2; exit 2; }
cd "$(dirname "$0")/.."
tree=build/bench-tree

scripts/install-deps
for preset in native win32 win64; do
    cmake --preset "$preset" >/dev/null
done
cmake --build build/native -j2 --target find_bench >/dev/null
cmake --build build/win32 -j2 --target find_bench >/dev/null
cmake --build build/win64 -j2 --target find_bench win_calls >/dev/null
[ -f "$tree/manifest.json" ] || python3 bench/gen_tree.py --out "$tree"
# What every build must replace: case-sensitive, and caseless whole words only.
read -r expect_cs expect_ww < <(python3 bench/expected_counts.py "$tree/manifest.json")

export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -p >/dev/null 2>&1 || true
wineboot </dev/null >/dev/null 2>&1 || true  # services started away from any output pipe
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

area=$(mktemp -d)
trap 'rm -rf "$area"; wineserver -k >/dev/null 2>&1 || true' EXIT
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
# Case-sensitive, so that the count is the planted one whatever the build. The runs that change
# files keep their journal in a state folder beside the copy, as the program would.
args=("$tree" --repeat "$repeat" --case --expect "$expect_cs" --expect-whole "$expect_ww"
      --scratch build/bench-tree.wine-work)
echo "native find_bench..."
build/native/bin/find_bench "${args[@]}" >"$area/native.md"
echo "win64 find_bench under Wine..."
wine build/win64/bin/find_bench.exe "${args[@]}" | tr -d '\r' >"$area/win64.md"
echo "win32 find_bench under Wine..."
wine build/win32/bin/find_bench.exe "${args[@]}" | tr -d '\r' >"$area/win32.md"
echo "system calls per file and step (strace, Wine's relay)..."
python3 bench/file_calls.py --native build/native/bin/find_bench \
    --windows build/win64/bin/find_bench.exe --area "$area/calls" >"$area/steps.md"
echo "win_calls under Wine..."
wine build/win64/bin/win_calls.exe "$tree" --repeat "$repeat" | tr -d '\r' >"$area/calls.md"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
wine_version=$(wine --version)

python3 - "$area" "$repeat" "$load_before" "$load_after" "$wine_version" >"$area/block.md" <<'PY'
import re, sys
area, repeat, load_before, load_after, wine = sys.argv[1:]

def table(name):
    rows = {}
    for line in open(f"{area}/{name}.md", encoding="utf-8", errors="replace"):
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) == 8 and re.match(r"^[\d.]+$", cells[2]):
            rows[cells[0]] = (float(cells[2]), float(cells[3]), cells[1])
    return rows

native, w64, w32 = table("native"), table("win64"), table("win32")
head = " ".join(open(f"{area}/native.md").read().split("\n\n")[0].split())
print("<!-- wine:begin -->")
print("## The Windows build under Wine")
print()
print(f"`bench/wine.sh`: the same engine benchmark (`find_bench`, {repeat} runs each) built natively")
print(f"and for Windows (win64, win32), the Windows builds run under {wine} on the same")
print(f"tree and page cache; the runs that change files keep their journal, as the program does.")
print(f"{head}")
print()
print("| Scenario | Native median s | win64 under Wine | win32 under Wine | win64 / native | win64 min / native min |")
print("|---|---:|---:|---:|---:|---:|")
for name, (med, lo, reps) in native.items():
    if name not in w64 or name not in w32:
        sys.exit(f"{name}: missing from a Windows build's table")
    m64, l64, r64 = w64[name]
    m32, _, r32 = w32[name]
    if not (reps == r64 == r32):
        sys.exit(f"{name}: replacements differ between builds ({reps}, {r64}, {r32})")
    ratio = f"{m64 / med:.1f}x" if med > 0 else "-"
    ratio_min = f"{l64 / lo:.1f}x" if lo > 0 else "-"
    print(f"| {name} | {med:.3f} | {m64:.3f} | {m32:.3f} | {ratio} | {ratio_min} |")
print()
print("### System calls per file, step by step")
print()
print("`bench/file_calls.py` runs each scenario once (`find_bench --only`) over two trees of 2.4 kB")
print("files, 20 a folder, one with twice the folders of the other, and divides the difference by")
print("the extra files: start-up and the making of the journal cancel out, and a folder's share is")
print("spread over its files. Natively `strace -f -c` counts every system call. The win64 build runs")
print("under Wine with `WINEDEBUG=+pid,+relay`, which logs each call into ntdll, and what is counted")
print("is its `Nt*` functions, the Windows system calls each Win32 file call comes down to")
print("(`CreateFileW` is `NtCreateFile`, `CloseHandle` `NtClose`, `GetFileInformationByHandleEx`")
print("`NtQueryInformationFile`...), whatever Wine then does on the Unix side. The relay does not see")
print("what a DLL asks the Wine server itself: reading a file's security (`GetSecurityInfo`, one or")
print("two `NtQuerySecurityObject` on Windows) counts nothing here.")
print()
for line in open(f"{area}/steps.md"):
    print(line.rstrip())
print()
print("What the Windows file calls cost per file under Wine (`bench/win_calls.cpp`, win64):")
print()
for line in open(f"{area}/calls.md"):
    print(line.rstrip())
print()
print(f"Load average {load_before} before and {load_after} after.")
print()
print("""Where the difference comes from:

- The engine is the same code on both sides: the same block scan, the same walk, the same
  journal. What differs is the cost of each system call. Natively an open and a close are two
  calls of about 2 µs each; under Wine `CreateFileW` converts the path, looks it up
  case-insensitively and registers the handle with the Wine server (another process), and the
  first `ReadFile` on a handle asks the server for its descriptor (first two rows of the cost
  table). With about 2,400 files that alone is most of the gap in the read bound, which pays it
  too.
- The walk lists each folder once, by handle (`FileIdBothDirectoryInfo`, last row of the cost
  table), and takes each file's type, index, length and time from that listing: no call per file,
  where POSIX reads each file's status (`fstatat`).
- Opening a file the walk handed over reads its stamp (index, length, last-write time,
  attributes): one `fstat` on POSIX; on Windows one `NtQueryInformationFile`
  (`FileStatInformation`) from Windows 10 1709 on, three (basic, standard, internal) where the
  system knows no such class, Wine 8 among them, whose counts these are. A file opened so that
  nobody can write it ends at that length without the last, empty read POSIX makes.
- Touch: Windows has no call that sets a time by name, so a touch is an open (for writing, no
  sharing, so that a file another program holds open is skipped), a set and a close, where
  `utimensat` is one call. The old time its journal keeps comes from the folder's listing, read
  again once the walk comes back from a subfolder or the listing is older than 10 ms, where
  POSIX reads each file's status. Walk and touch together, that is one call more per file than
  POSIX: the close of the handle Windows needs. A name that carries the journal's stamp is
  touched only while the file still has that time, looked at through the same handle (one call
  more), which makes the kept old time the file's right before the touch.
- A changed file that has nothing but its content for `ReplaceFile` to keep (no named streams,
  not compressed, encrypted or sparse) takes its new content by a rename through the temporary
  file's handle, relative to the folder, one call as `renameat` is; Wine's `ReplaceFile` is some
  twenty. What stays above POSIX: the stamps (three queries each under Wine), the check that the
  link to the old content is the open file (Wine links by the name the file was opened by), and
  a second handle to give the new file its owner when the file's group is not the process's
  primary group (every file under Wine).
- Removed before: `GetFileInformationByHandle` asks for the volume's serial number, which Wine
  looks up anew on every call (third row of the cost table); stamps read the file index instead.
  Removed now: the seek there and back of every read at an offset (four calls, one now), while a
  read where the handle already stands goes without an offset, which costs Wine a round trip to
  its server; the open and the three queries with which Touch read each file's old time; the
  reopen that put a replaced file's attributes back after `ReplaceFile`; a repeated query.
- On Windows itself none of these calls crosses a process boundary; the ratios above are Wine's
  and say nothing about Windows but that the Win32 path makes no call per file beyond those in
  the step table.""")
print("<!-- wine:end -->")
PY

if [ -n "$section" ]; then
    cp "$area/block.md" "$section"
    exit 0
fi
python3 bench/put_section.py wine bench/RESULTS.md "$area/block.md"
echo "updated bench/RESULTS.md"
