#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Which lines an edit from one sequence of lines to another deletes and inserts. Lines are
// given as class numbers: equal lines have equal numbers, and the numbers are small (a table
// as long as the largest number is made).
//
// The edit is a shortest one (Myers' O((N+M)·D) search in linear space) whenever it needs fewer
// than about 2·costLimit changes besides lines found nowhere in the other sequence; past that a
// search that has run costLimit steps splits the problem at its furthest point, which keeps the
// work near O((N+M)·costLimit) per level and the memory linear, at the price of a longer edit.
//
// Runs of changes are then slid among equal lines, as diff slides them: they join where they
// can, face a change of the other sequence where they can, and otherwise sit as low as they go:
//   a b c    -> a b b c     the second b of the new text is the inserted one
//   a x b x  -> a x b x x   the last x is
//   a a a    -> a z a       the middle a is deleted, facing the inserted z
struct LineChanges {
    std::vector<bool> deleted;   // one a line of the old sequence
    std::vector<bool> inserted;  // one a line of the new sequence
};

inline constexpr std::size_t kDefaultDiffCost = 1024;

LineChanges DiffLines(const std::vector<std::uint32_t>& oldLines,
                      const std::vector<std::uint32_t>& newLines,
                      std::size_t costLimit = kDefaultDiffCost);
