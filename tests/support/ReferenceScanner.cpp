#include "tests/support/ReferenceScanner.h"

namespace {

bool IsWord(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

unsigned char Upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

}  // namespace

ReferenceResult ReferenceReplace(const std::string& input, const std::string& find,
                                 const std::string& replace, bool caseSensitive, bool wholeWords) {
    ReferenceResult r;
    const size_t n = input.size(), m = find.size();
    size_t i = 0;
    while (i < n) {
        bool match = m > 0 && i + m <= n;
        for (size_t j = 0; match && j < m; ++j) {
            auto a = static_cast<unsigned char>(input[i + j]);
            auto b = static_cast<unsigned char>(find[j]);
            match = caseSensitive ? a == b : Upper(a) == Upper(b);
        }
        if (match && wholeWords) {
            bool before = i > 0 && IsWord(static_cast<unsigned char>(input[i - 1]));
            bool after = i + m < n && IsWord(static_cast<unsigned char>(input[i + m]));
            match = !before && !after;
        }
        if (match) {
            r.output += replace;
            ++r.replacements;
            i += m;
        } else {
            r.output += input[i++];
        }
    }
    return r;
}
