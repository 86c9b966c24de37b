#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "settings/TConfigFile.h"

inline constexpr size_t kMaxHistoryItems = 25;
// The longest text a history loads, NUL included: as long as the longest path Windows takes, so
// that a text the program ran with (a command-line text may be longer than the lists' 254
// characters) comes back whole rather than vanishing at the next start.
inline constexpr size_t kHistoryTextSize = 32768;
// A history's section is this prefix and the history's name, e.g. "History Lists\Folder".
inline constexpr const char* kHistorySectionPrefix = "History Lists\\";

// The recent entries of a remembering drop-down list, most recent first, and how they are kept
// in a store: entry "Count" (integer) and "Value0", "Value1", ... (texts). The list control only
// copies its items to and from Items().
class History {
public:
    // Whether two texts are the same entry; the control passes its own comparison. The default
    // ignores the letter case of ASCII letters.
    using SameText = std::function<bool(const std::string&, const std::string&)>;

    History(TConfigFile& store, std::string section, SameText sameText = nullptr);

    std::vector<std::string>& Items() { return items_; }
    const std::vector<std::string>& Items() const { return items_; }

    // Replaces the items with the stored ones: Value0 up to "Count", in order. Missing values,
    // empty ones and ones of 260 characters or more are skipped; no limit, no duplicate check.
    void Load();
    // Puts the text at the top, removing the first entry equal to it.
    void AddToTop(const std::string& text);
    // Stores "Count" (at most `maxItems`) and that many values. Empty items are counted but not
    // written; values above the new count are left as they are.
    void Save(size_t maxItems = kMaxHistoryItems);

private:
    TConfigFile& store_;
    std::string section_;
    SameText sameText_;
    std::vector<std::string> items_;
};
