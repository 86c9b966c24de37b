#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/FileIdentity.h"

// A set of file identities, for a walk that must hand each file over once however many names
// lead to it. A walk of a million files keeps a million of them, so each costs 12 bytes and no
// allocation of its own: the file numbers in one open-addressed table, the device beside each
// as a number into the few devices seen.
class IdentitySet {
public:
    // True when `identity` was not in the set and is now.
    bool Insert(const FileIdentity& identity) {
        const uint32_t device = DeviceNumber(identity.device);
        if (4 * (count_ + 1) > 3 * capacity_)
            Grow();
        size_t at = Slot(identity.index, device);
        while (device_[at] != 0) {
            if (device_[at] == device && index_[at] == identity.index)
                return false;
            at = (at + 1) & (capacity_ - 1);
        }
        device_[at] = device;
        index_[at] = identity.index;
        ++count_;
        return true;
    }

    bool Contains(const FileIdentity& identity) const {
        if (count_ == 0)
            return false;
        uint32_t device = 0;
        for (size_t i = 0; i < devices_.size(); ++i)
            if (devices_[i] == identity.device)
                device = static_cast<uint32_t>(i + 1);
        if (device == 0)
            return false;
        for (size_t at = Slot(identity.index, device); device_[at] != 0;
             at = (at + 1) & (capacity_ - 1)) {
            if (device_[at] == device && index_[at] == identity.index)
                return true;
        }
        return false;
    }

    size_t Size() const { return count_; }

    void Clear() {
        index_.clear();
        index_.shrink_to_fit();
        device_.clear();
        device_.shrink_to_fit();
        devices_.clear();
        capacity_ = count_ = 0;
    }

private:
    // 1 and up; 0 marks an empty slot.
    uint32_t DeviceNumber(uint64_t device) {
        // The device seen last is nearly always the one asked for.
        if (last_ < devices_.size() && devices_[last_] == device)
            return static_cast<uint32_t>(last_ + 1);
        for (size_t i = 0; i < devices_.size(); ++i) {
            if (devices_[i] == device) {
                last_ = i;
                return static_cast<uint32_t>(i + 1);
            }
        }
        devices_.push_back(device);
        last_ = devices_.size() - 1;
        return static_cast<uint32_t>(devices_.size());
    }

    size_t Slot(uint64_t index, uint32_t device) const {
        // A multiplicative mix: file numbers come in runs, which must not land in runs of slots.
        const uint64_t h = (index ^ (uint64_t{device} << 56)) * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(h >> 32) & (capacity_ - 1);
    }

    void Grow() {
        std::vector<uint64_t> oldIndex;
        std::vector<uint32_t> oldDevice;
        oldIndex.swap(index_);
        oldDevice.swap(device_);
        capacity_ = capacity_ == 0 ? 1024 : capacity_ * 2;
        index_.assign(capacity_, 0);
        device_.assign(capacity_, 0);
        for (size_t i = 0; i < oldDevice.size(); ++i) {
            if (oldDevice[i] == 0)
                continue;
            size_t at = Slot(oldIndex[i], oldDevice[i]);
            while (device_[at] != 0)
                at = (at + 1) & (capacity_ - 1);
            device_[at] = oldDevice[i];
            index_[at] = oldIndex[i];
        }
    }

    std::vector<uint64_t> index_;
    std::vector<uint32_t> device_;  // DeviceNumber of each slot's file
    std::vector<uint64_t> devices_;
    size_t last_ = 0;
    size_t capacity_ = 0;  // a power of two
    size_t count_ = 0;
};
