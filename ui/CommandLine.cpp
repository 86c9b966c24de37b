#include "ui/CommandLine.h"

#include <cstring>

#include "ui/ReplaceData.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool EndsToken(char c) {
    return IsBlank(c) || c == '=' || c == '/' || c == '"';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

void ApplySwitch(std::string_view text, ReplaceData& data) {
    if (EqualsIgnoringCase(text, "r+") || EqualsIgnoringCase(text, "r-")) {
        data.SubfoldersArg = text[1] == '+';
        data.SubfoldersGiven = true;
    }
}

}  // namespace

void ParseCommandLine(std::string_view line, ReplaceData& data) {
    size_t i = 0;
    const size_t n = line.size();
    auto readWord = [&] {
        size_t start = i;
        while (i < n && !EndsToken(line[i]))
            ++i;
        return line.substr(start, i - start);
    };
    for (;;) {
        while (i < n && IsBlank(line[i]))
            ++i;
        if (i >= n)
            break;
        const char c = line[i];
        if (c == '"') {
            size_t start = ++i;
            size_t close = line.find('"', start);
            if (close == std::string_view::npos) {
                data.AddArgument(line.substr(start), n - start);
                break;
            }
            // The closing quote counts in the length, so a quoted single character is kept.
            data.AddArgument(line.substr(start, close - start), close - start + 1);
            i = close + 1;
        } else if (c == '-' || c == '/' || c == '=') {
            ++i;
            while (i < n && IsBlank(line[i]))
                ++i;
            std::string_view text = readWord();
            if (c != '=')
                ApplySwitch(text, data);
        } else {
            std::string_view text = readWord();
            data.AddArgument(text, text.size());
        }
    }
}
