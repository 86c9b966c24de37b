#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
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

// How a listing through the folder's handle went: read to its end, refused at its first
// request (a file system that lists no folder so, or a handle that may not list), or cut short.
enum class HandleListing { Done, Refused, Failed };
// Reads the folder's entries from its first on, handing each to `each`.
HandleListing ListByHandle(HANDLE dir,
                           const std::function<void(const FILE_ID_BOTH_DIR_INFO&)>& each);

// Milliseconds on a steady clock, for the age of a listing's stamps.
int64_t SteadyMilliseconds();

// The listing is filled by List, which is const: it reads what is there, once. So is the
// folder's identity, which the volume's serial number, costly to ask for, is part of.
struct TFolder::Impl {
    struct Stamp {
        uint64_t size;
        int64_t lastWrite;
        uint64_t index;
    };

    UniqueFile dir;
    bool listed = false;
    bool byHandle = false;            // listed through the handle, lengths and times included
    std::string names;                // every listed name, each ending with a NUL
    std::vector<uint32_t> offsets;    // where each name starts in `names`
    std::vector<DWORD> attributes;    // as listed
    std::vector<uint64_t> indexes;    // as listed; 0 where the file system gave none
    std::vector<Stamp> stamps;        // as listed through the handle
    mutable bool identified = false;  // `identity` read
    mutable FileIdentity identity;
    // The files' stamps by name, for ListedStamp: made from the listing when first asked for,
    // or read anew; when, and whether the walk has entered a subfolder since.
    std::unordered_map<std::string, Stamp> stampOf;
    bool stampsMapped = false;
    int64_t stampedAt = 0;  // milliseconds on a steady clock
    bool stampsStale = false;

    bool Identify() const;
    void Add(const wchar_t* name, size_t length, DWORD attributes, uint64_t index);
    // Reads the files' stamps anew through the handle; false when they cannot be.
    bool Restamp();
    // Lists by the folder's path, without file numbers: each entry's is asked for when needed.
    bool SearchByName(const TFolder& folder);

    // Makes `folder` the open folder `dir`, found at the system path `path`.
    static void Adopt(TFolder& folder, UniqueFile dir, const std::wstring& path);
};
