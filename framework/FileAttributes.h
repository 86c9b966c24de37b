#pragma once

#include <cstdint>

// Attribute bits of a directory entry; the values are those of the Windows file attributes.
enum FileAttribute : uint32_t {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrTemporary = 0x100,
    // The name is a link (a symbolic link, a junction): what it leads to is another entry's.
    kAttrLink = 0x400,
    // Neither a regular file nor a folder (a FIFO, a device, a dangling link): never processed.
    kAttrSpecial = 0x80000000u,
};
