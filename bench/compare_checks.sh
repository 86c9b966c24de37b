# The checks of bench/compare.sh, sourced by it: every tool's output is checked, so that a time
# is only kept for a run that did the work. They use compare.sh's variables ($area, $tree, $work,
# $state, $list, $nfiles, $scrivox) and its fail.
# shellcheck shell=bash disable=SC2154  # the variables are compare.sh's

# Scrivox's report must name every file of the list and the replacements the tree holds.
check_report() {  # SCENARIO FILES REPLACEMENTS (-1: not reported)
    python3 - "$area/out" "$2" "$3" "$1" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
def number(noun):
    m = re.search(r"^(No|\d+) " + noun, text, re.M)
    return None if not m else 0 if m.group(1) == "No" else int(m.group(1))
files, made = number("files? processed"), number("replacements? made")
want_files, want_made = int(sys.argv[2]), int(sys.argv[3])
if files != want_files or (want_made >= 0 and made != want_made):
    sys.exit(f"FAIL: scrivox in \"{sys.argv[4]}\" reported {files} files and {made} replacements; "
             f"the tree holds {want_files} files of the filter and {want_made} replacements.\n"
             f"Its output:\n{text}")
PY
}

# A preview's report: the files the run changed, and the replacements it made, in the conditional.
check_preview() {  # SCENARIO FILES REPLACEMENTS
    python3 - "$area/out" "$2" "$3" "$1" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
def number(words):
    m = re.search(r"^(No|\d+) " + words, text, re.M)
    return None if not m else 0 if m.group(1) == "No" else int(m.group(1))
files, made = number(r"files? would change\."), number(r"replacements? would be made\.")
want_files, want_made = int(sys.argv[2]), int(sys.argv[3])
if files != want_files or made != want_made:
    sys.exit(f"FAIL: scrivox -n in \"{sys.argv[4]}\" reported {files} files that would change and "
             f"{made} replacements; the run changes {want_files} files and makes {want_made}.\n"
             f"Its output:\n{text}")
PY
}

check_same() {  # SCENARIO TOOL EXPECTED-TREE [WHOSE]
    if ! diff -r -q "$work" "$3" >"$area/diff" 2>&1; then
        echo "First differences (work = $2's result, other = ${4:-Scrivox's}):" >&2
        head -20 "$area/diff" >&2
        fail "the tree $2 left in \"$1\" is not byte-identical to ${4:-Scrivox's}"
    fi
}

# What each variant leaves in its state folder: a journal where it changed files and keeps one,
# nothing where it keeps none.
check_state() {  # SCENARIO TOOL EXPECTED
    case $2 in
        scrivox-nojournal | scrivox-preview)
            [ -z "$(ls -A "$state")" ] || fail "$2 left something in its state folder in \"$1\"" ;;
        scrivox | scrivox-nosync)
            [ "$3" = 0 ] || [ -n "$(ls -A "$state/scrivox/runs" 2>/dev/null)" ] ||
                fail "$2 kept no journal in \"$1\"" ;;
    esac
}

# Files whose last-write time the run changed (cp -a kept the tree's), i.e. that it rewrote.
files_written() {
    python3 - "$tree" "$work" <<'PY'
import os, sys
tree, work = sys.argv[1:3]
n = 0
for folder, _, files in os.walk(work):
    for f in files:
        p = os.path.join(folder, f)
        if os.stat(p).st_mtime_ns != os.stat(os.path.join(tree, os.path.relpath(p, work))).st_mtime_ns:
            n += 1
print(n)
PY
}

# Exactly the listed files changed, each to a time within the run; nothing else moved.
check_touched() {  # TOOL
    python3 - "$tree" "$work" "$list" "$t0" "$t1" "$1" <<'PY'
import os, sys
tree, work, listed, t0, t1, tool = sys.argv[1:7]
want = {n.decode()[2:] for n in open(listed, "rb").read().split(b"\0") if n}
changed, late = set(), []
for folder, _, files in os.walk(work):
    for f in files:
        p = os.path.join(folder, f)
        rel = os.path.relpath(p, work)
        m = os.stat(p).st_mtime
        if m != os.stat(os.path.join(tree, rel)).st_mtime:
            changed.add(rel)
            if not float(t0) - 2 <= m <= float(t1) + 2:
                late.append(rel)
if changed != want or late:
    sys.exit(f"FAIL: {tool} in \"touch\" changed {len(changed)} files, {len(want)} are listed; "
             f"{len(changed - want)} not listed, {len(want - changed)} missed, "
             f"{len(late)} set outside the run")
PY
}

# The files a replace changes, worked out before the timed runs apart from every tool: those
# that hold TEXT ("cs"), or hold it as a whole word in any ASCII case ("ww"). NUL-separated.
changed_files() {  # KIND TEXT OUT
    python3 - "$tree" "$list" "$1" "$2" >"$3" <<'PY'
import os, re, sys
tree, listed, kind, text = sys.argv[1:5]
pattern = re.escape(text.encode())
if kind == "ww":
    pattern = re.compile(rb"(?<![A-Za-z0-9_])" + pattern + rb"(?![A-Za-z0-9_])", re.IGNORECASE)
else:
    pattern = re.compile(pattern)
for name in open(listed, "rb").read().split(b"\0"):
    if name and pattern.search(open(os.path.join(tree.encode(), name), "rb").read()):
        sys.stdout.buffer.write(name + b"\0")
PY
}

# Scrivox's reference changed exactly the files worked out beforehand, no more, no fewer.
check_changed() {  # SCENARIO CHANGED-LIST
    python3 - "$tree" "$ref" "$list" "$2" "$1" <<'PY'
import filecmp, os, sys
tree, ref, listed, changed, scenario = (os.fsencode(a) for a in sys.argv[1:6])
def names(path):
    return {n for n in open(path, "rb").read().split(b"\0") if n}
differ = {n for n in names(listed)
          if not filecmp.cmp(os.path.join(tree, n), os.path.join(ref, n), shallow=False)}
want = names(changed)
if differ != want:
    sys.exit(f"FAIL: in \"{scenario.decode()}\" Scrivox changed {len(differ)} files and "
             f"{len(want)} should change: {len(differ - want)} changed that should not, "
             f"{len(want - differ)} missed")
PY
}

# copy_bound read every listed file, rewrote exactly the files that change, and left the content
# as it was: its copies hold the old bytes (with mkstemp's mode 0600, which diff -r does not see).
check_copy() {  # SCENARIO CHANGED-COUNT
    grep -qx "$nfiles files read, $2 rewritten" "$area/out" ||
        fail "copy_bound in \"$1\" said \"$(cat "$area/out")\"; $nfiles files are listed, $2 change"
    check_same "$1" copy "$tree" "the tree as it was"
}

# read_loop read exactly the listed files and their bytes.
check_read_loop() {
    grep -qx "$nfiles files, $bytes bytes" "$area/out" ||
        fail "read_loop read \"$(cat "$area/out")\"; the list holds $nfiles files, $bytes bytes"
}
