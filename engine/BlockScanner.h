#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ScanOptions {
    std::string find;     // never empty
    std::string replace;  // written byte for byte in place of each accepted match
    bool caseSensitive = true;
    bool wholeWords = false;
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

enum class ScanStatus { Ok, ReadError, WriteError };

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
// Reads in blocks of `blockSize` into one buffer kept for the scanner's life, so memory does not
// grow with the input.
class BlockScanner {
public:
    static constexpr size_t kDefaultBlockSize = 256 * 1024;

    explicit BlockScanner(ScanOptions options, size_t blockSize = kDefaultBlockSize);

    ScanResult Scan(ScanSource& in, ScanSink& out);

    const ScanOptions& Options() const { return opt_; }

private:
    bool Equals(const char* p) const;

    ScanOptions opt_;
    std::string folded_;  // the find text with a-z folded, when case does not matter
    size_t anchor_ = 0;   // index of the find text's byte that candidates are searched by
    unsigned char anchorA_ = 0, anchorB_ = 0;  // that byte in both cases (equal if caseless)
    std::vector<char> buffer_;
};

bool IsWordByte(unsigned char c);
