#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Positions found by the hash of a name: an open-addressing table of (hash, position) pairs
// with linear probing, at most half full. The names stay with their owner, which says at each
// lookup whether the name at a position is the one sought. One flat array keeps a lookup to
// about one cache miss besides the owner's own, and growing never touches the names.
class NameIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    void Clear() {
        table_.assign(table_.size(), Entry{0, kNone});
        count_ = 0;
    }

    // `isName(position)` says whether that position holds the name sought.
    template <typename IsName>
    uint32_t Find(uint32_t hash, IsName isName) const {
        if (table_.empty())
            return kNone;
        for (size_t i = hash & Mask(); table_[i].position != kNone; i = (i + 1) & Mask()) {
            if (table_[i].hash == hash && isName(table_[i].position))
                return table_[i].position;
        }
        return kNone;
    }

    // The name must not be in the table yet.
    void Insert(uint32_t hash, uint32_t position) {
        if ((count_ + 1) * 2 > table_.size())
            Grow();
        Place(Entry{hash, position});
        ++count_;
    }

    // Removes the name and gives its position, or kNone.
    template <typename IsName>
    uint32_t Erase(uint32_t hash, IsName isName) {
        if (table_.empty())
            return kNone;
        size_t i = hash & Mask();
        while (table_[i].position != kNone &&
               !(table_[i].hash == hash && isName(table_[i].position)))
            i = (i + 1) & Mask();
        const uint32_t position = table_[i].position;
        if (position == kNone)
            return kNone;
        // Moves back each later entry of the run that the gap would cut off from its home.
        for (size_t j = (i + 1) & Mask(); table_[j].position != kNone; j = (j + 1) & Mask()) {
            const size_t home = table_[j].hash & Mask();
            const bool reachable = i <= j ? (i < home && home <= j) : (i < home || home <= j);
            if (!reachable) {
                table_[i] = table_[j];
                i = j;
            }
        }
        table_[i].position = kNone;
        --count_;
        return position;
    }

private:
    struct Entry {
        uint32_t hash;
        uint32_t position;
    };

    size_t Mask() const { return table_.size() - 1; }

    void Place(Entry e) {
        size_t i = e.hash & Mask();
        while (table_[i].position != kNone)
            i = (i + 1) & Mask();
        table_[i] = e;
    }

    void Grow() {
        std::vector<Entry> old(table_.empty() ? 16 : table_.size() * 2, Entry{0, kNone});
        old.swap(table_);
        for (const Entry& e : old)
            if (e.position != kNone)
                Place(e);
    }

    std::vector<Entry> table_;  // a power of two in size, or empty
    size_t count_ = 0;
};
