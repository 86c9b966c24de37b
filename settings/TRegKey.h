#pragma once

#include <cstdint>
#include <string>

#include "framework/RegistryKey.h"
#include "settings/TRegValue.h"

// A registry key opened by path for full access for the span of one store operation, with the
// numbers of its subkeys and values taken when it was opened. Failing to open leaves it closed:
// every call on it then fails, so callers need no check of their own.
class TRegKey {
public:
    enum Mode { OpenOrCreate, OpenExisting };

    TRegKey(RegistryRoot root, const std::string& path, Mode mode);
    TRegKey(const TRegKey& parent, const std::string& path, Mode mode);
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;

    bool IsOpen() const { return handle_.IsOpen(); }
    RegistryKey& Handle() { return handle_; }
    const RegistryKey& Handle() const { return handle_; }
    const std::string& KeyName() const { return keyName_; }
    uint32_t SubkeyCount() const { return subkeyCount_; }
    uint32_t ValueCount() const { return valueCount_; }

    // Visit by index, from 0 below the counts; false past the current end.
    bool GetSubkeyName(uint32_t index, std::string& name) const;
    bool GetValue(uint32_t index, TRegValue& value) const;

private:
    void Open(const RegistryKey& parent, Mode mode);

    RegistryKey handle_;
    std::string keyName_;
    uint32_t subkeyCount_ = 0;
    uint32_t valueCount_ = 0;
};
