#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/TTime.h"

class TFileName;

// What makes a file or folder itself, whatever path reaches it: device and inode, or
// volume serial number and file index.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity& o) const { return device == o.device && index == o.index; }
};

struct FileIdentityHash {
    size_t operator()(const FileIdentity& id) const {
        // Inode numbers are dense; the multiplier spreads them over the table.
        return static_cast<size_t>((id.index ^ (id.device << 40) ^ (id.device >> 24)) *
                                   0x9E3779B97F4A7C15ull);
    }
};

[[nodiscard]] bool GetFileIdentity(const std::string& path, FileIdentity& identity);

// One version of a file: which file it is (on Windows its index alone, the volume left out), its
// length and its last-write time. Another program that saves the file, in place or by putting a
// new file in its place, changes it.
struct FileStamp {
    FileIdentity identity;
    uint64_t size = 0;
    int64_t lastWrite = 0;  // in the platform's own units
    bool operator==(const FileStamp& o) const {
        return identity == o.identity && size == o.size && lastWrite == o.lastWrite;
    }
};

// Of the file a link leads to.
[[nodiscard]] bool GetFileStamp(const std::string& path, FileStamp& stamp);
// Of a name the walk handed over, in the folder that holds it, the name not followed.
[[nodiscard]] bool GetFileStamp(const TFileName& file, FileStamp& stamp);

// A stamp's last-write time as a time value.
TTime LastWriteOf(const FileStamp& stamp);
