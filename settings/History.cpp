#include "settings/History.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Every index below "Count" costs a store read, so a damaged count of two billion would keep
// the program from starting; no saved history comes near this.
constexpr int32_t kMaxScannedValues = 1000;

bool SameAsciiText(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string ValueName(size_t index) {
    return "Value" + std::to_string(index);
}

}  // namespace

History::History(TConfigFile& store, std::string section, SameText sameText)
    : store_(store),
      section_(std::move(section)),
      sameText_(sameText ? std::move(sameText) : SameText(SameAsciiText)) {}

void History::Load() {
    items_.clear();
    const int32_t count = std::min(store_.ReadInteger(section_, "Count", 0), kMaxScannedValues);
    std::vector<char> text(kHistoryTextSize);
    for (int32_t i = 0; i < count; ++i) {
        if (store_.ReadString(section_, ValueName(static_cast<size_t>(i)), text.data(), text.size(),
                              "") > 0)
            items_.emplace_back(text.data());
    }
}

void History::AddToTop(const std::string& text) {
    auto same = std::find_if(items_.begin(), items_.end(),
                             [&](const std::string& item) { return sameText_(item, text); });
    if (same != items_.end())
        items_.erase(same);
    items_.insert(items_.begin(), text);
}

void History::Save(size_t maxItems) {
    const size_t count = std::min(items_.size(), maxItems);
    // The store ignores failures; a history that cannot be written is lost without a word.
    (void)store_.WriteInteger(section_, "Count", static_cast<int32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        if (!items_[i].empty())
            (void)store_.WriteString(section_, ValueName(i), items_[i].c_str());
    }
}
