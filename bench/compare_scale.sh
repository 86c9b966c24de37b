# The scale runs of bench/compare.sh, sourced by it (its variables and functions): a tree of
# $scale_files small files, a hundred to a folder, made by bench/gen_scale_tree.c on a tmpfs where
# it fits (else beside the bench tree) and removed at the end. Scrivox's no-match, preview and
# Touch runs over it take turns, up to 3 rounds, each under /usr/bin/time -v for its peak memory
# and with an empty state folder. The tree is too big to copy for every run: no-match and preview
# must leave it as it was and Touch may change times only, which bench/tree_changes.c checks by
# the status-change times of every file and folder.
# shellcheck shell=bash disable=SC2154  # the variables are compare.sh's

scale_folders=$(((scale_files + 99) / 100))
scale_runs=$((runs < 3 ? runs : 3))
# A tmpfs file takes at least a page; inodes are limited apart.
need_kb=$(((scale_files + scale_folders) * 4 + 1024 * 1024))
need_inodes=$((scale_files + scale_folders * 2 + 1000))
free_kb() { df -Pk "$1" 2>/dev/null | awk 'NR == 2 { print $4 }'; }
free_inodes() { df -Pi "$1" 2>/dev/null | awk 'NR == 2 { print $4 }'; }
base=""
for place in /dev/shm "$area"; do
    if [ -d "$place" ] && [ "$(free_kb "$place")" -ge "$need_kb" ] 2>/dev/null &&
        [ "$(free_inodes "$place")" -ge "$need_inodes" ] 2>/dev/null; then
        base=$place
        break
    fi
done

# KEY=VALUE words of a helper's line, as scale_KEY variables.
take_fields() {  # PREFIX LINE
    local kv
    for kv in $2; do
        [[ $kv =~ ^[a-z_]+=[0-9]+$ ]] || fail "unexpected \"$kv\" in \"$2\""
        printf -v "$1${kv%%=*}" '%s' "${kv#*=}"
    done
}

# What a run changed: every file and folder walked, and checked against what must hold for all.
scale_changes() {  # TOOL
    local line
    line=$("$area/tree_changes" "$scale_root/tree" "$filter" "$scale_root/since" "$scale_root/until") ||
        fail "tree_changes failed after $1 in \"scale\""
    take_fields c_ "$line"
    [ "$c_files" = "$scale_files" ] && [ "$c_bytes" = "$scale_all_bytes" ] &&
        [ "$c_listed" = "$scale_listed" ] && [ "$c_listed_bytes" = "$scale_listed_bytes" ] &&
        [ "$c_others_changed" = 0 ] && [ "$c_folders_changed" = 0 ] &&
        [ "$c_folders" = "$scale_all_folders" ] ||
        fail "$1 in \"scale\" left: $line; the tree holds $scale_files files, $scale_all_bytes bytes, $scale_all_folders folders, $scale_listed of the filter with $scale_listed_bytes bytes, and nothing but those files' times may change"
}

if [ -z "$base" ]; then
    put scale_note "skipped: neither /dev/shm nor the bench folder has room for $scale_files files ($((need_kb / 1024)) MiB, $need_inodes inodes)"
else
    put load_scale_before "$(load)"
    scale_root=$(mktemp -d "$base/scrivox-scale.XXXXXX")
    echo "Scenario scale: $scale_files files in $scale_folders folders in $scale_root, $scale_runs runs"
    t0=$EPOCHREALTIME
    line=$("$area/gen_scale_tree" "$scale_root/tree" "$scale_files" "$scale_folders" "$token") ||
        fail "gen_scale_tree failed"
    t1=$EPOCHREALTIME
    take_fields scale_ "$line"
    put scale_gen_seconds "$(python3 -c "print(f'{$t1 - $t0:.1f}')")"
    sync  # on a disk, the new files' writeback must not land inside the timed runs
    sleep 0.05
    : >"$scale_root/since"
    : >"$scale_root/until"
    # The tree as made: the generator's counts must be what an independent walk finds.
    line=$("$area/tree_changes" "$scale_root/tree" "$filter" "$scale_root/since" "$scale_root/until")
    take_fields c_ "$line"
    [ "$c_files" = "$scale_files" ] && [ "$c_listed" = "$scale_listed" ] &&
        [ "$c_listed_bytes" = "$scale_listed_bytes" ] && [ "$c_folders" -gt "$scale_folders" ] ||
        fail "gen_scale_tree said \"files=$scale_files listed=$scale_listed listed_bytes=$scale_listed_bytes\"; the tree holds $line"
    scale_all_bytes=$c_bytes
    scale_all_folders=$c_folders
    for key in files folders listed listed_bytes token_files all_bytes all_folders runs; do
        v=scale_$key
        put "scale_$key" "${!v}"
    done
    put scale_fs "$(findmnt -no FSTYPE -T "$scale_root" 2>/dev/null | head -1) ($base)"

    state=$area/scale-state  # removed by cleanup whatever happens: a Touch's journal is large
    mem=$area/mem.txt
    wrap="/usr/bin/time -v -o $(q "$mem")"
    tool_names=()
    tool_cmds=()
    add_tool scale none "$(scrivox_cmd "$absent" . "$wrap")" \
        "Find of a text that occurs nowhere, CaseSensitive yes, WholeWords no; the tree must stay as it was"
    add_tool scale preview "$(scrivox_cmd "$token" . "$wrap" -n)" \
        "the preview (-n) of the Find of the token, which $scale_token_files files hold once; it must report them and leave the tree as it was"
    add_tool scale touch "$(scrivox_cmd unused . "$wrap")" \
        "Action 2 (Touch): exactly the files of the filter get a time within the run, nothing else changes; the journal must list the run with every file"
    : >"$area/scale_rss.tsv"
    for ((r = 1; r <= scale_runs; r++)); do
        for i in "${!tool_names[@]}"; do
            tool=${tool_names[$i]}
            write_options yes no "$([ "$tool" = touch ] && echo 2 || echo 1)"
            rm -rf "$state"
            mkdir -p "$state"
            sync
            sleep 0.05  # a tick of the file times' clock at least: the last run's changes are older
            : >"$scale_root/since"
            t0=$EPOCHREALTIME
            if ! (cd "$scale_root/tree" && eval "${tool_cmds[$i]}") >"$area/out" 2>&1; then
                cat "$area/out" "$mem" >&2
                fail "scrivox ($tool) exited with an error in \"scale\""
            fi
            t1=$EPOCHREALTIME
            : >"$scale_root/until"
            printf '%s\t%s\t%s\t%s\n' scale "$tool" "$t0" "$t1" >>"$times"
            rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$mem")
            [[ $rss =~ ^[0-9]+$ ]] || fail "no peak memory from /usr/bin/time for $tool in \"scale\""
            printf '%s\t%s\n' "$tool" "$rss" >>"$area/scale_rss.tsv"
            scale_changes "$tool"
            case $tool in
                none)
                    check_report scale "$scale_listed" 0 || exit 1
                    [ "$c_listed_changed" = 0 ] || fail "the no-match run changed $c_listed_changed files"
                    [ -z "$(ls -A "$state/scrivox/runs" 2>/dev/null)" ] ||
                        fail "the no-match run kept a run in its state folder" ;;
                preview)
                    check_preview scale "$scale_token_files" "$scale_token_files" || exit 1
                    [ "$c_listed_changed" = 0 ] || fail "the preview changed $c_listed_changed files"
                    [ -z "$(ls -A "$state")" ] || fail "the preview left something in its state folder" ;;
                touch)
                    check_report scale "$scale_listed" -1 || exit 1
                    [ "$c_listed_changed" = "$scale_listed" ] && [ "$c_listed_in_window" = "$scale_listed" ] ||
                        fail "Touch changed $c_listed_changed of $scale_listed files, $c_listed_in_window to a time within the run"
                    # Its journal: one run, every file in it (the undo's list), read by the program.
                    XDG_STATE_HOME=$state "$scrivox" --runs >"$area/out" 2>&1 ||
                        fail "scrivox --runs failed after Touch in \"scale\""
                    awk -v n="$scale_listed" 'NR == 2 && $4 == "touch" && $5 == n { ok = 1 } END { exit !(ok && NR == 2) }' \
                        "$area/out" || fail "after Touch in \"scale\" scrivox --runs lists: $(cat "$area/out")"
                    put scale_journal_bytes "$(du -sb "$state" | cut -f1)" ;;
            esac
        done
    done
    put load_scale_after "$(load)"

    # Retention: 20 more runs like the last Touch (second names of its files: no space taken) and
    # a Touch of one file, which drops the oldest so that 20 runs stay. What stays is what a user
    # who touches this tree 20 times keeps in the state folder.
    if [ "$tool" = touch ]; then
        runs_dir=$state/scrivox/runs
        id=$(ls "$runs_dir")
        for n in $(seq -w 1 20); do
            cp -al "$runs_dir/$id" "$runs_dir/20000101-0000$n"
        done
        mkdir -p "$scale_root/one"
        : >"$scale_root/one/one.c"
        XDG_CONFIG_HOME=$cfg XDG_STATE_HOME=$state "$scrivox" --touch -r+ "$scale_root/one" "$filter" \
            >"$area/out" 2>&1 || { cat "$area/out" >&2; fail "the Touch of one file failed"; }
        put scale_retained_runs "$(ls "$runs_dir" | wc -l)"
        put scale_retained_bytes "$(du -sbl "$runs_dir" | cut -f1)"
    fi
    rm -rf "$state"
    t0=$EPOCHREALTIME
    rm -rf "$scale_root"
    t1=$EPOCHREALTIME
    scale_root=""
    put scale_rm_seconds "$(python3 -c "print(f'{$t1 - $t0:.1f}')")"
    state=$area/state
fi
