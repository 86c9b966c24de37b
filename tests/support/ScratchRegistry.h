#pragma once

#include <memory>
#include <string>

#include "framework/RegistryKey.h"

// A store the test may fill at will, never the user's. On POSIX the per-user tree moves to a
// fresh folder (XDG_CONFIG_HOME) for the object's lifetime, so the program's own store name is
// used; on Windows the store gets a name of its own that is deleted at the end.
class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // For TRegConfigFile: "Harrowfen\Scrivox" or "Harrowfen\ScrivoxTest<pid>".
    const std::string& Name() const { return name_; }
    // The store's key path below the root: "Software\" and the name.
    std::string KeyPath(const std::string& section = "") const;
    // The store's key, or one of its sections, if it exists.
    RegistryKey Open(const std::string& section = "") const;
    // The folder XDG_CONFIG_HOME points to (POSIX; empty on Windows). It does not exist yet.
    const std::string& ConfigHome() const { return configHome_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string name_;
    std::string configHome_;
};

// The type and data of one value, for checking stored forms.
struct StoredValue {
    bool found = false;
    uint32_t type = 0;
    std::string data;
};
StoredValue QueryStored(const RegistryKey& key, const std::string& name);
