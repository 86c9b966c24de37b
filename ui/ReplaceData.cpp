#include "ui/ReplaceData.h"

#include <algorithm>

ReplaceData& ReplaceData::Instance() {
    static ReplaceData data;
    return data;
}

void ReplaceData::AddArgument(std::string_view text, size_t length) {
    if (ReplaceArg || text.empty() || length <= 1)
        return;
    std::string copy(text.substr(0, std::min(length, text.size())));
    copy.resize(std::min(copy.size(), copy.find('\0')));  // a terminator ends the text early
    for (std::optional<std::string>* field : {&FolderArg, &FilterArg, &FindArg, &ReplaceArg}) {
        if (!*field) {
            *field = std::move(copy);
            return;
        }
    }
}
