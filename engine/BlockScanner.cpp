#include "engine/BlockScanner.h"

#include <algorithm>
#include <cstring>

namespace {

struct ByteTables {
    bool word[256] = {};
    unsigned char fold[256] = {};
    constexpr ByteTables() {
        for (int c = 0; c < 256; ++c) {
            word[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      c == '_';
            fold[c] = static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
        }
    }
};

// Built by the compiler: the scan's inner loop reads them without an initialisation check.
constexpr ByteTables kTables;

constexpr const ByteTables& Tables() {
    return kTables;
}

}  // namespace

bool IsWordByte(unsigned char c) {
    return Tables().word[c];
}

BlockScanner::BlockScanner(ScanOptions options, size_t blockSize)
    : opt_(std::move(options)),
      finder_(opt_.find, opt_.caseSensitive),
      blockSize_(std::max<size_t>(blockSize, 1)) {
    const ByteTables& t = Tables();
    folded_ = opt_.find;
    if (!opt_.caseSensitive)
        for (char& c : folded_)
            c = static_cast<char>(t.fold[static_cast<unsigned char>(c)]);

    // Room for a block and for the tail carried over from the block before; the first read
    // takes what tells an input's kind.
    PrepareUtf16();
    buffer_.resize(std::max(
        {blockSize_ + opt_.find.size() + 1, kBinaryProbe, blockSize_ + 2 * find16_.size() + 4}));
}

bool BlockScanner::Equals(const char* p) const {
    const size_t m = folded_.size();
    if (opt_.caseSensitive)
        return std::memcmp(p, folded_.data(), m) == 0;
    const unsigned char* fold = Tables().fold;
    for (size_t j = 0; j < m; ++j)
        if (fold[static_cast<unsigned char>(p[j])] != static_cast<unsigned char>(folded_[j]))
            return false;
    return true;
}

ScanResult BlockScanner::Scan(ScanSource& in, ScanSink& out) {
    ScanResult result;
    const size_t m = opt_.find.size();
    if (m == 0)
        return result;
    char* const buf = buffer_.data();
    const size_t capacity = buffer_.size();
    const size_t block = blockSize_ + m + 1;  // what a read fills the buffer to
    bool first = true;

    // buf[0, len) holds input bytes from offset `base` on. Candidates before `pos` are decided;
    // bytes from `emit` on are not written yet (once output has begun).
    size_t len = 0, pos = 0, emit = 0;
    uint64_t base = 0;
    bool wordBefore = false;  // the byte before buf[0] is a word byte; none at the start
    bool eof = false, begun = false;

    auto fail = [&](ScanStatus s) {
        result.status = s;
        return result;
    };

    for (;;) {
        if (pos > 0) {
            if (begun && pos > emit && !out.Write(buf + emit, pos - emit))
                return fail(ScanStatus::WriteError);
            wordBefore = IsWordByte(static_cast<unsigned char>(buf[pos - 1]));
            std::memmove(buf, buf + pos, len - pos);
            len -= pos;
            base += pos;
            pos = emit = 0;
        }
        // The first block is read whole, however short the reads come, so that it alone tells
        // the input's kind.
        const size_t want = first ? capacity : std::min(capacity, block);
        do {
            long long n = in.Read(buf + len, want - len);
            if (n < 0)
                return fail(ScanStatus::ReadError);
            if (n == 0)
                eof = true;
            len += static_cast<size_t>(n);
        } while (first && !eof && len < kBinaryProbe);
        if (first) {
            first = false;
            const auto* u = reinterpret_cast<const unsigned char*>(buf);
            if (len >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF)))
                return ScanUtf16(in, out, len, eof, u[0] == 0xFE);
            if (opt_.skipBinary && std::memchr(buf, 0, std::min(len, kBinaryProbe)))
                return fail(ScanStatus::Binary);
        }

        // A candidate at i is decided when the byte after it is here too, or the input ended.
        size_t limit = eof ? (len >= m ? len - m + 1 : 0) : (len > m ? len - m : 0);

        while (pos < limit) {
            const size_t i = finder_.Next(buf, pos, limit);
            if (i >= limit) {
                pos = limit;
                break;
            }
            if (!Equals(buf + i)) {
                pos = i + 1;
                continue;
            }
            if (opt_.wholeWords) {
                bool before =
                    i > 0 ? IsWordByte(static_cast<unsigned char>(buf[i - 1])) : wordBefore;
                bool after = i + m < len && IsWordByte(static_cast<unsigned char>(buf[i + m]));
                if (before || after) {
                    pos = i + 1;
                    continue;
                }
            }
            if (!begun) {
                if (!out.Begin(base))
                    return fail(ScanStatus::WriteError);
                begun = true;
                emit = 0;
            }
            if ((i > emit && !out.Write(buf + emit, i - emit)) ||
                !out.Write(opt_.replace.data(), opt_.replace.size()))
                return fail(ScanStatus::WriteError);
            ++result.replacements;
            pos = emit = i + m;
        }
        if (eof)
            break;
        pos = std::max(pos, limit);
    }
    if (begun && len > emit && !out.Write(buf + emit, len - emit))
        return fail(ScanStatus::WriteError);
    return result;
}
