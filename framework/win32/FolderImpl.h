#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/FileIdentity.h"
#include "framework/TFolder.h"
#include "framework/win32/UniqueHandle.h"

// What a TFolder holds on Windows, shared by the files that implement it.

// Folders are opened to be listed and looked at: they stay open to anyone else meanwhile.
constexpr DWORD kListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;

// A folder itself, not a link to one nor a file.
bool IsPlainFolder(HANDLE h);

// Where the root of a verbatim path ends: "\\?\C:\" or "\\?\UNC\server\share\".
size_t RootLength(const std::wstring& path);

// The listing is filled by List, which is const: it reads what is there, once. So is the
// folder's identity, which the volume's serial number, costly to ask for, is part of.
struct TFolder::Impl {
    UniqueFile dir;
    bool listed = false;
    std::string names;                // every listed name, each ending with a NUL
    std::vector<uint32_t> offsets;    // where each name starts in `names`
    std::vector<DWORD> attributes;    // as listed
    std::vector<uint64_t> indexes;    // as listed; 0 where the file system gave none
    mutable bool identified = false;  // `identity` read
    mutable FileIdentity identity;

    bool Identify() const;
    void Add(const wchar_t* name, size_t length, DWORD attributes, uint64_t index);
    // Lists by the folder's path, without file numbers: each entry's is asked for when needed.
    bool SearchByName(const TFolder& folder);

    // Makes `folder` the open folder `dir`, found at the system path `path`.
    static void Adopt(TFolder& folder, UniqueFile dir, const std::wstring& path);
};
