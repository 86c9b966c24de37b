#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/NameIndex.h"
#include "framework/RegistryName.h"

// Items whose names are unique without regard to case, found through a hash of the name and
// listed by position: in the order they were added or, with kSorted, in name order. T gives its
// name through `NameOf(const T&)`, found by argument-dependent lookup, and never renames.
//
// Adding and finding take constant time, and so, spread over many, does removing: it leaves a
// gap that the next listing by position closes. A sorted list that is added to out of order sorts
// at that listing too, so reading a file in any order stays O(n log n). Listing is const but tidies
// the list, so even const use needs one thread at a time.
template <typename T, bool kSorted>
class NamedList {
public:
    size_t Size() const { return slots_.size() - removed_; }

    const T& At(size_t index) const {
        Tidy();
        return *slots_[index];
    }

    T* Find(std::string_view name) const {
        const uint32_t slot = index_.Find(RegistryNameHash(name), IsNamed(name));
        return slot == NameIndex::kNone ? nullptr : slots_[slot].get();
    }

    // The name must not be in the list yet.
    T& Add(std::unique_ptr<T> item) {
        const T* last = ordered_ > 0 ? slots_[ordered_ - 1].get() : nullptr;
        const bool inOrder = !kSorted || (ordered_ == slots_.size() &&
                                          (ordered_ == 0 || (last && Less(*last, *item))));
        index_.Insert(RegistryNameHash(NameOf(*item)), static_cast<uint32_t>(slots_.size()));
        slots_.push_back(std::move(item));
        if (inOrder)
            ordered_ = slots_.size();
        return *slots_.back();
    }

    bool Remove(std::string_view name) {
        const uint32_t slot = index_.Erase(RegistryNameHash(name), IsNamed(name));
        if (slot == NameIndex::kNone)
            return false;
        slots_[slot].reset();
        ++removed_;
        // Gaps may not outnumber the items, or a list emptied one by one would keep its size.
        if (removed_ > slots_.size() / 2)
            Tidy();
        return true;
    }

private:
    static bool Less(const T& a, const T& b) { return RegistryNameLess()(NameOf(a), NameOf(b)); }

    auto IsNamed(std::string_view name) const {
        return [this, name](uint32_t slot) {
            return RegistryNameEqual()(NameOf(*slots_[slot]), name);
        };
    }

    // Closes the gaps and puts the items in order; then positions are list positions.
    void Tidy() const {
        if (removed_ == 0 && ordered_ == slots_.size())
            return;
        size_t kept = 0;
        size_t keptInOrder = 0;
        for (size_t i = 0; i < slots_.size(); ++i) {
            if (!slots_[i])
                continue;
            if (i < ordered_)
                ++keptInOrder;
            if (kept != i)
                slots_[kept] = std::move(slots_[i]);
            ++kept;
        }
        slots_.resize(kept);
        if (kSorted) {
            auto less = [](const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) {
                return Less(*a, *b);
            };
            auto middle = slots_.begin() + static_cast<std::ptrdiff_t>(keptInOrder);
            std::sort(middle, slots_.end(), less);
            std::inplace_merge(slots_.begin(), middle, slots_.end(), less);
        }
        removed_ = 0;
        ordered_ = kept;
        index_.Clear();
        for (size_t i = 0; i < slots_.size(); ++i)
            index_.Insert(RegistryNameHash(NameOf(*slots_[i])), static_cast<uint32_t>(i));
    }

    // Null where an item was removed; the items in [0, ordered_) are in list order.
    mutable std::vector<std::unique_ptr<T>> slots_;
    mutable NameIndex index_;  // name to slot
    mutable size_t removed_ = 0;
    mutable size_t ordered_ = 0;
};
