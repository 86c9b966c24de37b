// The code-unit scan of UTF-16 input: the same rules as the byte scan, on 16-bit units.
#include "engine/BlockScanner.h"

#include <algorithm>
#include <cstring>

namespace {

char16_t FoldUnit(char16_t u) {
    return (u >= u'a' && u <= u'z') ? static_cast<char16_t>(u - u'a' + u'A') : u;
}

bool IsWordUnit(char16_t u) {
    return u < 0x80 && IsWordByte(static_cast<unsigned char>(u));
}

std::string Encode(const std::u16string& units, bool bigEndian) {
    std::string bytes;
    for (char16_t u : units) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

}  // namespace

bool Utf8ToUtf16(std::string_view text, std::u16string& units) {
    units.clear();
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra;
        char32_t point, least;
        if (c < 0x80) {
            extra = 0, point = c, least = 0;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, point = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, point = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, point = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= text.size() && extra > 0)
            return false;  // cut short
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = point << 6 | (next & 0x3F);
        }
        if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        if (point >= 0x10000) {
            point -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (point >> 10));
            units += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        } else {
            units += static_cast<char16_t>(point);
        }
        i += extra + 1;
    }
    return true;
}

void BlockScanner::PrepareUtf16() {
    std::u16string replace;
    utf16Usable_ =
        Utf8ToUtf16(opt_.find, find16_) && Utf8ToUtf16(opt_.replace, replace) && !find16_.empty();
    if (!opt_.caseSensitive)
        for (char16_t& u : find16_)
            u = FoldUnit(u);
    replace16le_ = Encode(replace, false);
    replace16be_ = Encode(replace, true);
}

ScanResult BlockScanner::ScanUtf16(ScanSource& in,
                                   ScanSink& out,
                                   size_t len,
                                   bool eof,
                                   bool bigEndian) {
    ScanResult result;
    if (!utf16Usable_)
        return result;  // a text that has no UTF-16 form finds nothing
    char* const buf = buffer_.data();
    const size_t capacity = buffer_.size();
    const size_t m = find16_.size();
    const std::string& replacement = bigEndian ? replace16be_ : replace16le_;
    // The buffer holds whole blocks of units and the carried tail, as the byte scan's does.
    const size_t block = std::min(capacity, std::max<size_t>(blockSize_, 2) + 2 * m + 2);
    auto unit = [&](size_t u) {
        const auto a = static_cast<unsigned char>(buf[2 * u]);
        const auto b = static_cast<unsigned char>(buf[2 * u + 1]);
        return static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    };
    auto fail = [&](ScanStatus s) {
        result.status = s;
        return result;
    };
    const bool fold = !opt_.caseSensitive;
    auto same = [&](char16_t u, char16_t want) { return (fold ? FoldUnit(u) : u) == want; };

    // buf[0, len) holds input bytes from offset `base` on; units before `pos` (a byte offset)
    // are decided; bytes from `emit` on are not written yet (once output has begun).
    size_t pos = 0, emit = 0;
    uint64_t base = 0;
    bool wordBefore = false, begun = false, read = false;
    for (;;) {
        if (pos > 0) {
            if (begun && pos > emit && !out.Write(buf + emit, pos - emit))
                return fail(ScanStatus::WriteError);
            wordBefore = IsWordUnit(unit(pos / 2 - 1));
            std::memmove(buf, buf + pos, len - pos);
            len -= pos;
            base += pos;
            pos = emit = 0;
        }
        if (read) {
            long long n = in.Read(buf + len, std::max(block, len + 2) - len);
            if (n < 0)
                return fail(ScanStatus::ReadError);
            eof = n == 0;
            len += static_cast<size_t>(n);
        }
        read = true;
        const size_t units = len / 2;
        // A candidate at u is decided when the unit after it is here too, or the input ended.
        const size_t limit = eof ? (units >= m ? units - m + 1 : 0) : (units > m ? units - m : 0);
        for (size_t u = pos / 2; u < limit; ++u) {
            if (!same(unit(u), find16_[0]))
                continue;
            size_t k = 1;
            while (k < m && same(unit(u + k), find16_[k]))
                ++k;
            if (k < m)
                continue;
            if (opt_.wholeWords) {
                const bool before = u > 0 ? IsWordUnit(unit(u - 1)) : wordBefore;
                const bool after = u + m < units && IsWordUnit(unit(u + m));
                if (before || after)
                    continue;
            }
            if (!begun) {
                if (!out.Begin(base))
                    return fail(ScanStatus::WriteError);
                begun = true;
                emit = 0;
            }
            if ((2 * u > emit && !out.Write(buf + emit, 2 * u - emit)) ||
                !out.Write(replacement.data(), replacement.size()))
                return fail(ScanStatus::WriteError);
            ++result.replacements;
            emit = 2 * (u + m);
            u += m - 1;
        }
        pos = std::max(2 * limit, emit);
        if (eof)
            break;
    }
    if (begun && len > emit && !out.Write(buf + emit, len - emit))
        return fail(ScanStatus::WriteError);
    return result;
}
