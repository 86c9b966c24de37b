#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What the command line gave: up to four texts (folder, filter, find text, replace text) and
// the Subfolders switch. One per process, filled before any window exists, read-only after.
class ReplaceData {
public:
    static ReplaceData& Instance();

    // Stores one positional argument in the first free text. A fifth and later argument, an
    // empty text and a `length` of 1 or less are dropped; `length` counts a quoted argument's
    // closing quote, so "x" in quotes is kept while x alone is not.
    void AddArgument(std::string_view text, size_t length);

    // True when all four texts are there: the program then runs unattended.
    bool HasAllTexts() const { return ReplaceArg.has_value(); }

    std::optional<std::string> FolderArg;
    std::optional<std::string> FilterArg;
    std::optional<std::string> FindArg;
    std::optional<std::string> ReplaceArg;
    // Set by the switches r+ and r-; decides Subfolders for a run started from the command line
    // only when SubfoldersGiven.
    bool SubfoldersArg = true;
    bool SubfoldersGiven = false;

    // Back to the state of a process without arguments (for tests).
    void Clear() { *this = ReplaceData(); }
};
