# bash completion for scrivox: its options, and folders for FOLDER.
_scrivox() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local options="-i --ignore-case --case-sensitive -w --whole-words --substrings -b --backup
        --no-backup --keep-dates --new-dates --binary --no-binary --find --touch --touch= -n
        --dry-run --diff --no-undo --undo --undo= --runs -l --list -q --quiet --no-store
        --color=auto
        --color=always --color=never -r+ -r- -h --help -V --version --"
    local word texts=0 ended=0
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        if [[ $ended == 0 && $word == -- ]]; then
            ended=1
        elif [[ $ended == 1 || $word != -?* ]]; then
            texts=$((texts + 1))
        fi
    done
    if [[ $ended == 0 && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace
    elif [[ $texts == 0 ]]; then
        COMPREPLY=($(compgen -d -- "$cur"))
        compopt -o filenames
    fi
}
complete -F _scrivox scrivox
