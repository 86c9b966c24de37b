#pragma once

#include <cstdint>
#include <string>

#include "settings/TConfigFile.h"

// One section of a store, so that callers name only the entry. It refers to the store, which
// the caller keeps alive for the view's lifetime.
class TConfigFileSection {
public:
    TConfigFileSection(TConfigFile& store, std::string section)
        : section_(std::move(section)), store_(store) {}

    const std::string& Section() const { return section_; }
    TConfigFile& Store() const { return store_; }

    bool ReadBool(const std::string& entry, bool defaultValue) const {
        return store_.ReadBool(section_, entry, defaultValue);
    }
    bool WriteBool(const std::string& entry, bool value) const {
        return store_.WriteBool(section_, entry, value);
    }
    int32_t ReadInteger(const std::string& entry, int32_t defaultValue) const {
        return store_.ReadInteger(section_, entry, defaultValue);
    }
    bool WriteInteger(const std::string& entry, int32_t value) const {
        return store_.WriteInteger(section_, entry, value);
    }

private:
    std::string section_;
    TConfigFile& store_;
};
