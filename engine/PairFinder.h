#pragma once

#include <cstddef>
#include <string_view>

// Finds the places where a text may start, by two of its bytes at once: the two rarest in
// source code and prose, each at its own offset in the text. A place where both are found is a
// candidate, which the caller compares whole; with two bytes, candidates are seldom false, so
// the comparison rarely runs in vain. On x86 sixteen places are tested per step; elsewhere a
// byte search for one of the two takes its place.
class PairFinder {
public:
    // `text` is never empty. Without case, ASCII letters match in either case.
    PairFinder(std::string_view text, bool caseSensitive);

    // The first candidate at or after `from` and before `limit`; `limit` when there is none.
    // Reads `at[i + k]` for every place i tested and every k below the text's length: the
    // caller keeps the text's length minus one bytes readable past `limit`.
    size_t Next(const char* at, size_t from, size_t limit) const;

    // The offsets in the text of the two bytes candidates are found by (equal for a text of
    // one byte).
    size_t FirstOffset() const { return offset_[0]; }
    size_t SecondOffset() const { return offset_[1]; }

private:
    bool Matches(int k, unsigned char c) const {
        return (foldCase_[k] ? (c | 0x20) : c) == byte_[k];
    }
    size_t NextByBytes(const char* at, size_t from, size_t limit) const;

    size_t offset_[2] = {0, 0};
    unsigned char byte_[2] = {0, 0};  // lower case where the case is folded
    bool foldCase_[2] = {false, false};
};
