#include "engine/LineDiff.h"

#include <algorithm>
#include <limits>

namespace {

using Index = std::ptrdiff_t;
using Lines = std::vector<std::uint32_t>;

// Myers' search for a shortest edit from a to b, splitting each problem at the middle of an
// edit (the point where a forward and a backward search meet), so that it needs two arrays
// indexed by diagonal (k = x - y) and no path history.
class Search {
public:
    Search(const Lines& a, const Lines& b, Index costLimit)
        : a_(a),
          b_(b),
          costLimit_(std::max<Index>(costLimit, 1)),
          offset_(Index(b.size()) + 1),
          forward_(a.size() + b.size() + 3),
          backward_(a.size() + b.size() + 3) {}

    // Marks in aChanged and bChanged the lines that the edit deletes and inserts.
    void Run(std::vector<bool>& aChanged, std::vector<bool>& bChanged);

private:
    struct Box {
        Index xl, xh, yl, yh;  // a[xl, xh) against b[yl, yh)
    };
    struct Point {
        Index x, y;
    };

    Point Split(const Box& box);
    Point FurthestPoint(const Box& box, Index fmin, Index fmax, Index bmin, Index bmax);
    Index& F(Index k) { return forward_[std::size_t(k + offset_)]; }
    Index& B(Index k) { return backward_[std::size_t(k + offset_)]; }

    const Lines& a_;
    const Lines& b_;
    const Index costLimit_;
    const Index offset_;           // diagonals run from -|b| - 1 to |a| + 1
    std::vector<Index> forward_;   // furthest x reached on each diagonal from the top left
    std::vector<Index> backward_;  // least x reached on each diagonal from the bottom right
};

void Search::Run(std::vector<bool>& aChanged, std::vector<bool>& bChanged) {
    // A stack of problems rather than recursion: past the cost limit a split may take off
    // little, and the depth would follow.
    std::vector<Box> todo{{0, Index(a_.size()), 0, Index(b_.size())}};
    while (!todo.empty()) {
        Box box = todo.back();
        todo.pop_back();
        while (box.xl < box.xh && box.yl < box.yh && a_[box.xl] == b_[box.yl]) {
            ++box.xl;
            ++box.yl;
        }
        while (box.xl < box.xh && box.yl < box.yh && a_[box.xh - 1] == b_[box.yh - 1]) {
            --box.xh;
            --box.yh;
        }
        if (box.xl == box.xh || box.yl == box.yh) {
            for (Index x = box.xl; x < box.xh; ++x)
                aChanged[x] = true;
            for (Index y = box.yl; y < box.yh; ++y)
                bChanged[y] = true;
            continue;
        }
        Point mid = Split(box);
        todo.push_back({mid.x, box.xh, mid.y, box.yh});
        todo.push_back({box.xl, mid.x, box.yl, mid.y});
    }
}

// The box is not empty on either side and its first lines differ, as do its last ones, so the
// edit has at least two steps and the point returned is neither corner.
Search::Point Search::Split(const Box& box) {
    const Index dmin = box.xl - box.yh, dmax = box.xh - box.yl;
    const Index fmid = box.xl - box.yl, bmid = box.xh - box.yh;
    // With an odd difference the paths can first meet on a forward step, else on a backward one.
    const bool odd = (fmid - bmid) % 2 != 0;
    Index fmin = fmid, fmax = fmid, bmin = bmid, bmax = bmid;
    F(fmid) = box.xl;
    B(bmid) = box.xh;
    for (Index cost = 1;; ++cost) {
        // Each step reaches one diagonal further each way, until the box's corners stop it;
        // a diagonal just outside the range holds a value that the step never prefers.
        if (fmin > dmin)
            F(--fmin - 1) = -1;
        else
            ++fmin;
        if (fmax < dmax)
            F(++fmax + 1) = -1;
        else
            --fmax;
        for (Index k = fmax; k >= fmin; k -= 2) {
            Index x = F(k - 1) >= F(k + 1) ? F(k - 1) + 1 : F(k + 1);
            Index y = x - k;
            while (x < box.xh && y < box.yh && a_[x] == b_[y]) {
                ++x;
                ++y;
            }
            F(k) = x;
            if (odd && bmin <= k && k <= bmax && B(k) <= x)
                return {x, y};
        }

        if (bmin > dmin)
            B(--bmin - 1) = std::numeric_limits<Index>::max();
        else
            ++bmin;
        if (bmax < dmax)
            B(++bmax + 1) = std::numeric_limits<Index>::max();
        else
            --bmax;
        for (Index k = bmax; k >= bmin; k -= 2) {
            Index x = B(k - 1) < B(k + 1) ? B(k - 1) : B(k + 1) - 1;
            Index y = x - k;
            while (x > box.xl && y > box.yl && a_[x - 1] == b_[y - 1]) {
                --x;
                --y;
            }
            B(k) = x;
            if (!odd && fmin <= k && k <= fmax && x <= F(k))
                return {x, y};
        }

        if (cost >= costLimit_)
            return FurthestPoint(box, fmin, fmax, bmin, bmax);
    }
}

// The search has cost too much: split where one of the two searches has come furthest (the
// point clamped into the box), which leaves the larger part of the work to a cheaper problem.
Search::Point Search::FurthestPoint(const Box& box,
                                    Index fmin,
                                    Index fmax,
                                    Index bmin,
                                    Index bmax) {
    auto isCorner = [&box](Index x, Index y) {
        return (x == box.xl && y == box.yl) || (x == box.xh && y == box.yh);
    };
    Point best{-1, -1};
    Index bestGain = 0;
    for (Index k = fmin; k <= fmax; k += 2) {
        Index x = std::min(F(k), box.xh);
        Index y = x - k;
        if (y > box.yh) {
            y = box.yh;
            x = y + k;
        }
        Index gain = (x - box.xl) + (y - box.yl);
        if (gain > bestGain && !isCorner(x, y)) {
            best = {x, y};
            bestGain = gain;
        }
    }
    for (Index k = bmin; k <= bmax; k += 2) {
        Index x = std::max(B(k), box.xl);
        Index y = x - k;
        if (y < box.yl) {
            y = box.yl;
            x = y + k;
        }
        Index gain = (box.xh - x) + (box.yh - y);
        if (gain > bestGain && !isCorner(x, y)) {
            best = {x, y};
            bestGain = gain;
        }
    }
    if (bestGain > 0)
        return best;
    // Any inner point gives a correct edit; this one leaves a line on each side of it.
    return {box.xl + (box.xh - box.xl + 1) / 2, box.yl + (box.yh - box.yl) / 2};
}

// Slides each run of changed lines of `lines` up and down among equal lines, as diff does,
// following in `other` which unchanged line of the other side each unchanged line of this one
// pairs with: runs join when they can, and a run comes to rest as low as it can go or, below
// that, at the lowest place where it faces a change of the other side.
void SlideRuns(const Lines& lines, std::vector<bool>& changed, const std::vector<bool>& other) {
    const Index n = Index(lines.size()), m = Index(other.size());
    auto isChanged = [&](Index i) { return i < n && changed[i]; };
    auto otherChanged = [&](Index j) { return j < m && other[j]; };
    Index i = 0;
    Index j = 0;  // the other side's line paired with line i, or m past the end
    for (;;) {
        while (i < n && !changed[i]) {
            while (otherChanged(j))
                ++j;
            ++i;
            ++j;
        }
        if (i == n)
            return;
        Index start = i;
        while (isChanged(i))
            ++i;
        while (otherChanged(j))
            ++j;
        // Now lines [start, i) are a run, line i is unchanged (or the end), paired with j.
        Index facing;  // the run's end where it faces a change of the other side, or n
        Index length;
        do {
            length = i - start;
            while (start > 0 && lines[start - 1] == lines[i - 1]) {
                changed[--start] = true;
                changed[--i] = false;
                while (start > 0 && changed[start - 1])
                    --start;
                // Line i takes over the pairing of the line above the run, before its gap.
                do
                    --j;
                while (other[j]);
            }
            facing = j > 0 && other[j - 1] ? i : n;
            while (i < n && lines[start] == lines[i]) {
                changed[start++] = false;
                changed[i++] = true;
                while (isChanged(i))
                    ++i;
                ++j;
                while (otherChanged(j)) {
                    ++j;
                    facing = i;
                }
            }
        } while (length != i - start);
        while (facing < i) {
            changed[--start] = true;
            changed[--i] = false;
            do
                --j;
            while (other[j]);
        }
    }
}

}  // namespace

LineChanges DiffLines(const Lines& oldLines, const Lines& newLines, std::size_t costLimit) {
    LineChanges changes;
    changes.deleted.assign(oldLines.size(), false);
    changes.inserted.assign(newLines.size(), false);

    // A line found nowhere on the other side is changed in every edit; leaving such lines out
    // of the search costs nothing in length and makes a file that a run changed on many lines
    // cheap to compare.
    std::uint32_t classes = 0;
    for (const Lines* side : {&oldLines, &newLines})
        for (std::uint32_t c : *side)
            classes = std::max(classes, c + 1);
    std::vector<unsigned char> sides(classes, 0);  // bit 0: on the old side, bit 1: on the new
    for (std::uint32_t c : oldLines)
        sides[c] |= 1;
    for (std::uint32_t c : newLines)
        sides[c] |= 2;
    Lines a, b;
    std::vector<std::size_t> aAt, bAt;  // where each kept line is
    for (std::size_t i = 0; i < oldLines.size(); ++i) {
        if (sides[oldLines[i]] == 3) {
            a.push_back(oldLines[i]);
            aAt.push_back(i);
        } else {
            changes.deleted[i] = true;
        }
    }
    for (std::size_t i = 0; i < newLines.size(); ++i) {
        if (sides[newLines[i]] == 3) {
            b.push_back(newLines[i]);
            bAt.push_back(i);
        } else {
            changes.inserted[i] = true;
        }
    }

    std::vector<bool> aChanged(a.size(), false), bChanged(b.size(), false);
    Search(a, b, Index(std::min<std::size_t>(costLimit, std::numeric_limits<Index>::max())))
        .Run(aChanged, bChanged);
    for (std::size_t i = 0; i < a.size(); ++i)
        if (aChanged[i])
            changes.deleted[aAt[i]] = true;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (bChanged[i])
            changes.inserted[bAt[i]] = true;

    SlideRuns(oldLines, changes.deleted, changes.inserted);
    SlideRuns(newLines, changes.inserted, changes.deleted);
    return changes;
}
