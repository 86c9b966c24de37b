#pragma once

#include <string>
#include <string_view>

// What a run changes in one file, as `diff -u --label OLD --label NEW` prints it: the two
// header lines, then hunks of changed lines with three lines of context, hunks whose context
// would touch or overlap joined into one. "" when the texts are equal.
//
// Lines end at '\n'; a CR is part of its line, and a last line without '\n' is followed by
// "\ No newline at end of file" (so "x" and "x\n" differ). Hunk ranges count from 1, as diff's:
//   "a\nb\n"  -> "a\nB\n"     @@ -1,2 +1,2 @@
//   "a\n"     -> "b\n"        @@ -1 +1 @@          (a range of one line has no count)
//   ""        -> "a\nb\n"     @@ -0,0 +1,2 @@      (an empty range names the line before it)
//   "a\nb\n"  -> "a\n"        @@ -1,2 +1 @@
//
// With `color`, as a terminal shows `git diff --color`: headers bold, "@@" lines cyan, removed
// lines red, added lines green, each colour reset before its line feed.
std::string UnifiedDiff(std::string_view oldText,
                        std::string_view newText,
                        const std::string& oldLabel,
                        const std::string& newLabel,
                        bool color);
