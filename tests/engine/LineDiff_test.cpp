#include "engine/LineDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using Lines = std::vector<std::uint32_t>;

// The length of a longest common subsequence, the slow and obvious way.
std::size_t Lcs(const Lines& a, const Lines& b) {
    std::vector<std::size_t> row(b.size() + 1, 0), next(b.size() + 1, 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t j = 0; j < b.size(); ++j)
            next[j + 1] = a[i] == b[j] ? row[j] + 1 : std::max(row[j + 1], next[j]);
        std::swap(row, next);
    }
    return row[b.size()];
}

// An edit is correct when the lines it keeps on the two sides are the same sequence; returns
// how many lines it changes.
std::size_t CheckedLength(const Lines& a, const Lines& b, const LineChanges& changes) {
    EXPECT_EQ(changes.deleted.size(), a.size());
    EXPECT_EQ(changes.inserted.size(), b.size());
    Lines keptA, keptB;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!changes.deleted[i])
            keptA.push_back(a[i]);
    for (std::size_t j = 0; j < b.size(); ++j)
        if (!changes.inserted[j])
            keptB.push_back(b[j]);
    EXPECT_EQ(keptA, keptB);
    return a.size() - keptA.size() + b.size() - keptB.size();
}

// Random edits of random lines from small alphabets, against the slow model; with a low cost
// limit the edit may be longer, but stays correct.
TEST(LineDiff, ShortestEditOnRandomLines) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 3000; ++round) {
        const std::uint32_t alphabet = 1 + rng() % 6;
        Lines a(rng() % 40);
        for (auto& line : a)
            line = rng() % alphabet;
        Lines b = a;
        for (int edits = rng() % 5; edits > 0; --edits) {
            std::size_t at = rng() % (b.size() + 1);
            if (rng() % 2 && at < b.size())
                b.erase(b.begin() + at, b.begin() + std::min(b.size(), at + 1 + rng() % 4));
            else
                b.insert(b.begin() + at, 1 + rng() % 3, rng() % (alphabet + 1));
        }
        const std::size_t shortest = a.size() + b.size() - 2 * Lcs(a, b);
        ASSERT_EQ(CheckedLength(a, b, DiffLines(a, b)), shortest) << "round " << round;
        for (std::size_t limit : {1, 2, 5})
            ASSERT_GE(CheckedLength(a, b, DiffLines(a, b, limit)), shortest) << "round " << round;
    }
}

// A long file of repeated lines with few changes, as a run leaves it.
TEST(LineDiff, FewChangesInALongFile) {
    Lines a(200000);
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = std::uint32_t(i % 1000);
    Lines b = a;
    b.back() = 1002;
    b.insert(b.begin() + 150000, {1000, 1001});
    b.erase(b.begin() + 1000, b.begin() + 1003);
    // 3 deleted, 2 inserted, 1 replaced: no edit does with less.
    EXPECT_EQ(CheckedLength(a, b, DiffLines(a, b)), 7u);
}

// Past the cost limit the search splits where it has come furthest; the edit stays close to
// the shortest on lines that all have their like on the other side.
TEST(LineDiff, BeyondTheCostLimit) {
    std::mt19937 rng(5);
    Lines a(8000), b(8000);
    for (auto& line : a)
        line = rng() % 2;
    for (auto& line : b)
        line = rng() % 2;
    const std::size_t shortest = a.size() + b.size() - 2 * Lcs(a, b);
    const std::size_t length = CheckedLength(a, b, DiffLines(a, b));
    EXPECT_GE(length, shortest);
    EXPECT_LE(length, shortest + shortest / 10);
}

}  // namespace
