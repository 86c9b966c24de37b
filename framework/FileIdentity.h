#pragma once

#include <cstdint>
#include <string>

// What makes a file or folder itself, whatever path reaches it: device and inode, or
// volume serial number and file index.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity& o) const { return device == o.device && index == o.index; }
};

[[nodiscard]] bool GetFileIdentity(const std::string& path, FileIdentity& identity);
