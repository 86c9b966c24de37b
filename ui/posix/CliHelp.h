#pragma once

// What scrivox --help prints.
inline constexpr const char kCliHelp[] =
    R"(usage: scrivox [OPTIONS] [-r+|-r-] FOLDER FILTER FIND REPLACE
       scrivox [OPTIONS] [-r+|-r-] --touch[=TIME] FOLDER FILTER
       scrivox --undo[=ID] [-n] [-l] [-q]  |  scrivox --runs
       scrivox --help | --version

Runs the stored action on every file in FOLDER (and, with Subfolders, every folder below it)
whose name matches FILTER, wildcard patterns separated by ";" such as "*.c;*.h" (quote it, so
that the shell does not expand it). An item that begins with "!" leaves names out ("!*.min.js"),
and folders when it ends with "/" ("!node_modules/"). Version-control folders (.git, .hg, .svn,
.bzr, _darcs) are never entered.
  Find   replaces every FIND with REPLACE; an empty REPLACE ('') deletes FIND.
  Touch  sets each file's last-write time to TIME, or to now.
Hidden files (names beginning with ".") and files you may not write are skipped; each file is
done once, however many names lead to it; links are followed only to files inside FOLDER.
Find leaves binary files (a NUL byte in their first 64 KiB) alone unless asked, and finds text in
UTF-16 files that begin with a byte-order mark.

Options (this run only, never stored):
  -i, --ignore-case     letters match in either case (ASCII letters only)
      --case-sensitive  letters must match in case
  -w, --whole-words     only where no letter, digit or _ adjoins
      --substrings      anywhere, inside words too
  -b, --backup          copy each changed file to "Backup of NAME" first
      --no-backup       make no backups
      --keep-dates      a changed file keeps its last-write time
      --new-dates       a changed file gets the time of the run
      --binary          change binary files too
      --no-binary       leave binary files alone
      --find            run Find, whatever the stored action
      --touch[=TIME]    run Touch; TIME is 'YYYY-MM-DD HH:MM[:SS]' in local time or
                        '@SECONDS' since 1970 UTC (default: now); FIND and REPLACE may be left out
  -n, --dry-run         write nothing: say what the run would change ("3 files would change.")
      --diff            print each change as a unified diff (diff -u), paths relative to FOLDER
  -l, --list            print each changed file, relative to FOLDER, and its replacements
  -q, --quiet           print no report
      --no-store        neither read nor write the stored options and histories
      --color=WHEN      colour the list and the errors: auto (default), always, never
  -r+, -r-              walk the folders below FOLDER, or not (stored for the next run)
      --no-undo         keep nothing to undo this run with
      --undo[=ID]       take back the latest run not yet undone, or run ID; with -n, only say
                        what it would restore; a file changed since the run is left as it is
      --runs            list the kept runs: id, time, action, files, size of what they keep
  -h, --help            print this help;  -V, --version  print the version
  --                    ends the options, so that a text may begin with "-"
Short options may go together: -iwb.

Every run that changes files keeps a journal in ${XDG_STATE_HOME:-~/.local/state}/scrivox/runs:
the old content of each changed file (by a second name, without copying, on the same file
system) or its old time, for the last 20 runs and at most 1 GiB.

Exit status: 0 the run finished and every file was done; 1 the run finished but some files
failed or, for --undo, were left because they changed since (each is named on standard error);
2 nothing was run (a wrong command line, a FOLDER that is not a folder, the stored options
locked by another program, no run to undo or a damaged journal).

The stored options live in ${XDG_CONFIG_HOME:-~/.config}/scrivox/user.reg, under
[HKEY_CURRENT_USER\Software\Harrowfen\Scrivox\Options]:
  "Action"=dword:00000001   1 Find, 2 Touch
  "Subfolders"="yes"        walk the folders below (default yes)
  "CaseSensitive"="yes"     letters must match in case (default yes)
  "WholeWords"="yes"        only where no letter, digit or _ adjoins (default yes)
  "CreateBackups"="no"      copy each changed file to "Backup of NAME" first (default no)
  "KeepDates"="no"          a changed file keeps its last-write time (default no)
  "Binary"="no"             change binary files too (default no)
The Windows program keeps the same options. See scrivox(1).
)";
