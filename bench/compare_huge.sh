# The peak-memory run of bench/compare.sh, sourced by it (its variables and functions): a Find
# over one 5 GiB sparse file with its matches in the last 4 KiB, under /usr/bin/time -v. The file
# is removed afterwards, and by compare.sh's cleanup if anything fails.
# shellcheck shell=bash disable=SC2154  # the variables are compare.sh's

echo "Scenario huge: scrivox on a 5 GiB sparse file"
hdir=$area/huge
big=$hdir/big.dat
size=$((5 * 1024 * 1024 * 1024))
mkdir -p "$hdir"
avail_kb=$(df -Pk "$hdir" | awk 'NR == 2 { print $4 }')
if [ "$avail_kb" -lt $((7 * 1024 * 1024)) ]; then
    put mem_note "skipped: under 7 GiB free beside the tree (the new content is written whole)"
elif ! truncate -s "$size" "$big" 2>/dev/null; then
    put mem_note "skipped: the file system cannot hold a 5 GiB file"
elif [ $(($(stat -c %b "$big") * 512)) -gt $((1024 * 1024)) ]; then
    put mem_note "skipped: the file system does not make sparse files"
else
    # 4 KiB of text at 5 GiB - 4 KiB, holding the token three times.
    python3 - "$big" "$token" "$size" <<'PY'
import sys
path, token, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
block = (f"tail {token} one\n" + "x" * 1000 + f"\n{token}(two); {token}.three\n").encode()
block += b"-" * (4096 - len(block) - 1) + b"\n"
with open(path, "r+b") as f:
    f.seek(size - 4096)
    f.write(block)
PY
    write_options yes no 1
    rm -rf "$state"
    mkdir -p "$state"
    t0=$EPOCHREALTIME
    (export XDG_CONFIG_HOME=$cfg XDG_STATE_HOME=$state; /usr/bin/time -v -o "$area/mem.txt" \
        "$scrivox" -r- "$hdir" big.dat "$token" "$repl") >"$area/out" 2>&1 ||
        { cat "$area/out" "$area/mem.txt" >&2; fail "scrivox failed on the 5 GiB file"; }
    t1=$EPOCHREALTIME
    check_report huge 1 3 || exit 1
    [ "$(stat -c %s "$big")" = "$size" ] || fail "the 5 GiB file changed length"
    [ "$(tail -c 4096 "$big" | grep -o "$repl" | wc -l)" = 3 ] ||
        fail "the 5 GiB file's tail lacks the replacements"
    put mem_rss_kb "$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$area/mem.txt")"
    put mem_seconds "$(python3 -c "print(f'{$t1 - $t0:.1f}')")"
    put mem_note "Find, case-sensitive, 3 matches in the last 4 KiB; the file is deleted afterwards"
fi
rm -rf "$hdir"
