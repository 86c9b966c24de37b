#include "tests/support/ReferenceScanner.h"

#include <cstdint>
#include <vector>

namespace {

bool IsWord(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

unsigned char Upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

// UTF-8 to code points, the long way; nothing when the text is not UTF-8.
bool CodePoints(const std::string& text, std::vector<uint32_t>& points) {
    points.clear();
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80                ? 1
                           : c >= 0xF0 && c < 0xF8 ? 4
                           : c >= 0xE0             ? 3
                           : c >= 0xC0             ? 2
                                                   : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t p = length == 1 ? c : c & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            p = p << 6 | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (p < least[length] || p > 0x10FFFF || (p >= 0xD800 && p <= 0xDFFF))
            return false;
        points.push_back(p);
        i += static_cast<size_t>(length);
    }
    return true;
}

std::vector<uint32_t> Units(const std::vector<uint32_t>& points) {
    std::vector<uint32_t> units;
    for (uint32_t p : points) {
        if (p < 0x10000) {
            units.push_back(p);
        } else {
            units.push_back(0xD800 + ((p - 0x10000) >> 10));
            units.push_back(0xDC00 + ((p - 0x10000) & 0x3FF));
        }
    }
    return units;
}

// The same rules on 16-bit units, for input with a UTF-16 mark.
ReferenceResult ReferenceUtf16(const std::string& input,
                               const std::string& find,
                               const std::string& replace,
                               bool caseSensitive,
                               bool wholeWords) {
    ReferenceResult r;
    const bool big = static_cast<unsigned char>(input[0]) == 0xFE;
    std::vector<uint32_t> findPoints, replacePoints;
    if (!CodePoints(find, findPoints) || !CodePoints(replace, replacePoints) || find.empty()) {
        r.output = input;
        return r;
    }
    const std::vector<uint32_t> f = Units(findPoints), rep = Units(replacePoints);
    std::vector<uint32_t> in;
    for (size_t i = 0; i + 1 < input.size(); i += 2) {
        const uint32_t a = static_cast<unsigned char>(input[i]);
        const uint32_t b = static_cast<unsigned char>(input[i + 1]);
        in.push_back(big ? a << 8 | b : b << 8 | a);
    }
    auto put = [&](uint32_t u) {
        r.output += static_cast<char>(big ? u >> 8 : u & 0xFF);
        r.output += static_cast<char>(big ? u & 0xFF : u >> 8);
    };
    auto upper = [](uint32_t u) { return u >= 'a' && u <= 'z' ? u - 32 : u; };
    auto word = [](uint32_t u) { return u < 0x80 && IsWord(static_cast<unsigned char>(u)); };
    const size_t n = in.size(), m = f.size();
    for (size_t i = 0; i < n;) {
        bool match = i + m <= n;
        for (size_t j = 0; match && j < m; ++j)
            match = caseSensitive ? in[i + j] == f[j] : upper(in[i + j]) == upper(f[j]);
        if (match && wholeWords)
            match = !(i > 0 && word(in[i - 1])) && !(i + m < n && word(in[i + m]));
        if (match) {
            for (uint32_t u : rep)
                put(u);
            ++r.replacements;
            i += m;
        } else {
            put(in[i++]);
        }
    }
    if (input.size() % 2)
        r.output += input.back();
    return r;
}

}  // namespace

ReferenceResult ReferenceReplace(const std::string& input,
                                 const std::string& find,
                                 const std::string& replace,
                                 bool caseSensitive,
                                 bool wholeWords) {
    if (input.size() >= 2 && ((static_cast<unsigned char>(input[0]) == 0xFF &&
                               static_cast<unsigned char>(input[1]) == 0xFE) ||
                              (static_cast<unsigned char>(input[0]) == 0xFE &&
                               static_cast<unsigned char>(input[1]) == 0xFF)))
        return ReferenceUtf16(input, find, replace, caseSensitive, wholeWords);
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
