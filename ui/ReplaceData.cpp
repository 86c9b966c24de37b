#include "ui/ReplaceData.h"

#include <algorithm>

ReplaceData& ReplaceData::Instance() {
    static ReplaceData data;
    return data;
}

void ReplaceData::AddArgument(std::string_view text, size_t length) {
    if (ReplaceArg || length <= 1)
        return;
    std::string copy(text.substr(0, std::min(length, text.size())));
    copy.resize(std::min(copy.size(), copy.find('\0')));  // a terminator ends the text early
    // Checked after the cut: a text that starts with a terminator is empty too.
    if (copy.empty())
        return;
    for (std::optional<std::string>* field : {&FolderArg, &FilterArg, &FindArg, &ReplaceArg}) {
        if (!*field) {
            *field = std::move(copy);
            return;
        }
    }
}
