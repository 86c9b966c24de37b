#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/PairFinder.h"

struct ScanOptions {
    std::string find;     // never empty
    std::string replace;  // written byte for byte in place of each accepted match
    bool caseSensitive = true;
    bool wholeWords = false;
    // An input with a NUL byte among its first kBinaryProbe bytes (and no UTF-16 mark) is not
    // scanned: ScanStatus::Binary.
    bool skipBinary = false;
};

class ScanSource {
public:
    // Bytes read, 0 at the end, negative on an error.
    virtual long long Read(char* buffer, size_t size) = 0;

protected:
    ~ScanSource() = default;
};

class ScanSink {
public:
    // Called once, before the first Write, when the first match is accepted: the output begins
    // with the input's first `unchangedLength` bytes, which the sink takes from the input itself.
    // Until then nothing is written, so an input without a match costs no output at all.
    virtual bool Begin(uint64_t unchangedLength) = 0;
    virtual bool Write(const char* data, size_t size) = 0;

protected:
    ~ScanSink() = default;
};

enum class ScanStatus { Ok, ReadError, WriteError, Binary };

struct ScanResult {
    ScanStatus status = ScanStatus::Ok;
    uint64_t replacements = 0;
};

// Finds every non-overlapping occurrence of the find text, leftmost first, and writes the input
// with each accepted occurrence replaced. With whole words, an occurrence is accepted only with a
// non-word byte (or the start of the input) before it and a non-word byte (or the end) after it;
// an occurrence refused by that test, or an abandoned partial one, does not hide a later one that
// starts inside it: "ab" is found in "aab", "abc" in "ababc".
// Word bytes are the ASCII letters and digits and "_". Without case sensitivity only a-z and A-Z
// fold onto each other.
//
// An input that begins with a UTF-16 byte-order mark (FF FE little-endian, FE FF big-endian) is
// scanned in 16-bit code units: the find and replace texts, UTF-8, are converted to the input's
// form; code units match one to one, only ASCII letters fold, and the word characters are the
// same; the mark and every code unit outside a match, and a last odd byte, are kept. A find text
// that is not UTF-8 finds nothing there. Any other input is bytes (UTF-8 with its mark too).
//
// Reads in blocks of `blockSize` into one buffer kept for the scanner's life, so memory does not
// grow with the input; the first read takes at least kBinaryProbe bytes, so that it alone tells
// the input's kind.
class BlockScanner {
public:
    static constexpr size_t kDefaultBlockSize = 256 * 1024;
    static constexpr size_t kBinaryProbe = 64 * 1024;

    explicit BlockScanner(ScanOptions options, size_t blockSize = kDefaultBlockSize);

    ScanResult Scan(ScanSource& in, ScanSink& out);

    const ScanOptions& Options() const { return opt_; }
    void SkipBinary(bool skip) { opt_.skipBinary = skip; }

private:
    bool Equals(const char* p) const;
    void PrepareUtf16();
    // Scans on in code units, with `len` bytes of the input read into the buffer already.
    ScanResult ScanUtf16(ScanSource& in, ScanSink& out, size_t len, bool eof, bool bigEndian);

    ScanOptions opt_;
    PairFinder finder_;  // where an occurrence may start
    size_t blockSize_;
    // The find text's code units (ASCII letters folded when case does not matter), and the
    // replace text's bytes in either order; none when the texts are not UTF-8.
    std::u16string find16_;
    std::string replace16le_, replace16be_;
    bool utf16Usable_ = false;
    std::string folded_;  // the find text with a-z folded, when case does not matter
    std::vector<char> buffer_;
};

bool IsWordByte(unsigned char c);

// UTF-8 to UTF-16 code units; false for anything that is not UTF-8 (an overlong form, a
// surrogate, a code point past U+10FFFF, a cut sequence).
bool Utf8ToUtf16(std::string_view text, std::u16string& units);
