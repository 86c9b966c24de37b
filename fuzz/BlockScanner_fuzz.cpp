// The block scanner against the byte-at-a-time reference: same output, same count, at any block
// size and any pattern of short reads, and the sink protocol kept (Begin once, before any
// Write, and only when something is replaced).
//
// Input: options byte (bit 0 caseless, bit 1 whole words), block size byte, read pattern byte,
// find length byte, replace length byte, then the find text, the replace text and the content.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/BlockScanner.h"
#include "tests/support/ReferenceScanner.h"

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "scanner fault: %s\n", what);
    std::abort();
}

// Hands out the content in pieces whose sizes cycle through three, taken from one byte;
// 0 hands out as much as is asked for.
class ChunkedSource final : public ScanSource {
public:
    ChunkedSource(const std::string& input, uint8_t pattern) : input_(input) {
        sizes_[0] = 1 + (pattern & 7);
        sizes_[1] = 1 + ((pattern >> 3) & 7) * 3;
        sizes_[2] = 1 + (pattern >> 6) * 17;
        unlimited_ = pattern == 0;
    }

    long long Read(char* buffer, size_t size) override {
        size_t n = std::min(size, input_.size() - pos_);
        if (!unlimited_)
            n = std::min(n, sizes_[reads_++ % 3]);
        input_.copy(buffer, n, pos_);
        pos_ += n;
        return static_cast<long long>(n);
    }

private:
    const std::string& input_;
    size_t pos_ = 0;
    size_t reads_ = 0;
    size_t sizes_[3];
    bool unlimited_;
};

class CheckingSink final : public ScanSink {
public:
    explicit CheckingSink(const std::string& input) : input_(input) {}

    bool Begin(uint64_t unchangedLength) override {
        if (begun)
            Fail("Begin called twice");
        if (unchangedLength > input_.size())
            Fail("Begin past the end of the input");
        begun = true;
        output = input_.substr(0, static_cast<size_t>(unchangedLength));
        return true;
    }
    bool Write(const char* data, size_t size) override {
        if (!begun)
            Fail("Write before Begin");
        output.append(data, size);
        return true;
    }

    bool begun = false;
    std::string output;

private:
    const std::string& input_;
};

void Check(BlockScanner& scanner,
           const std::string& input,
           uint8_t pattern,
           const ReferenceResult& expected) {
    ChunkedSource source(input, pattern);
    CheckingSink sink(input);
    ScanResult r = scanner.Scan(source, sink);
    if (r.status != ScanStatus::Ok)
        Fail("status not Ok");
    if (r.replacements != static_cast<uint64_t>(expected.replacements))
        Fail("replacement count differs from the reference");
    if (sink.begun != (expected.replacements > 0))
        Fail(sink.begun ? "Begin without a match" : "matches but no Begin");
    if ((sink.begun ? sink.output : input) != expected.output)
        Fail("output differs from the reference");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    const uint8_t options = data[0];
    const size_t blockSize = data[1] < 240 ? data[1] % 64 + 1 : 4096;
    const uint8_t pattern = data[2];
    const size_t findLength = 1 + data[3] % 16;
    const size_t replaceLength = data[4] % 16;
    data += 5;
    size -= 5;
    if (size < findLength + replaceLength)
        return 0;

    ScanOptions opt;
    opt.find.assign(reinterpret_cast<const char*>(data), findLength);
    opt.replace.assign(reinterpret_cast<const char*>(data) + findLength, replaceLength);
    opt.caseSensitive = !(options & 1);
    opt.wholeWords = (options & 2) != 0;
    const std::string input(reinterpret_cast<const char*>(data) + findLength + replaceLength,
                            size - findLength - replaceLength);

    const ReferenceResult expected =
        ReferenceReplace(input, opt.find, opt.replace, opt.caseSensitive, opt.wholeWords);
    BlockScanner scanner(opt, blockSize);
    Check(scanner, input, pattern, expected);
    // The buffer is kept between scans: a second file must not see anything of the first.
    Check(scanner, input, 0, expected);
    return 0;
}
