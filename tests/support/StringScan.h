#pragma once

// A scan of a string: a source that hands it out in pieces, a sink that keeps the output and
// records any breach of the sink protocol.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/BlockScanner.h"

// Hands out `input` in pieces of at most `maxChunk` bytes; reports an error once `failAt` bytes
// have been handed out, when asked to.
class StringSource final : public ScanSource {
public:
    explicit StringSource(std::string input, size_t maxChunk = SIZE_MAX, long long failAt = -1)
        : input_(std::move(input)), maxChunk_(maxChunk), failAt_(failAt) {}

    long long Read(char* buffer, size_t size) override {
        if (failAt_ >= 0 && pos_ >= static_cast<size_t>(failAt_))
            return -1;
        size_t n = std::min({size, maxChunk_, input_.size() - pos_});
        if (failAt_ >= 0)
            n = std::min(n, static_cast<size_t>(failAt_) - pos_);
        input_.copy(buffer, n, pos_);
        pos_ += n;
        return static_cast<long long>(n);
    }

private:
    std::string input_;
    size_t pos_ = 0;
    size_t maxChunk_;
    long long failAt_;
};

// Keeps the output; Begin takes the unchanged start from the input, as a file sink re-reads it.
// Records any breach of the sink protocol instead of failing at once, so the case is named.
class StringSink final : public ScanSink {
public:
    explicit StringSink(const std::string& input, int failOnWrite = -1, bool failBegin = false)
        : input_(input), failOnWrite_(failOnWrite), failBegin_(failBegin) {}

    bool Begin(uint64_t unchangedLength) override {
        ++begins;
        if (unchangedLength > input_.size())
            protocolError = "Begin past the end of the input";
        output = input_.substr(0, static_cast<size_t>(unchangedLength));
        return !failBegin_;
    }
    bool Write(const char* data, size_t size) override {
        if (begins == 0)
            protocolError = "Write before Begin";
        if (writes++ == failOnWrite_)
            return false;
        output.append(data, size);
        return true;
    }

    std::string output;
    int begins = 0;
    int writes = 0;
    std::string protocolError;

private:
    const std::string& input_;
    int failOnWrite_;
    bool failBegin_;
};

struct Outcome {
    ScanStatus status;
    std::string output;  // the input itself when nothing was written
    uint64_t replacements;
};

inline Outcome RunScan(BlockScanner& scanner,
                       const std::string& input,
                       size_t maxChunk = SIZE_MAX) {
    StringSource source(input, maxChunk);
    StringSink sink(input);
    ScanResult r = scanner.Scan(source, sink);
    EXPECT_EQ(sink.protocolError, "");
    // Output begins exactly when the first replacement does.
    EXPECT_EQ(sink.begins, r.replacements > 0 ? 1 : 0);
    return {r.status, sink.begins ? sink.output : input, r.replacements};
}
