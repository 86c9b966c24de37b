#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/FileIdentity.h"

class TFolder;

// Handle-level helpers that the Win32 file services share.

// Access and sharing for looking at a file or folder without reading or changing it: it
// neither waits for nor blocks anyone.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The system path of `name` in an open folder, built from the folder's verbatim path so that
// the name is taken literally.
std::wstring PathIn(const TFolder& folder, const std::string& name);
std::wstring PathIn(const std::wstring& folder, const std::wstring& name);

// A new hidden file "~scrivox-XXXXXXXXXXXX.tmp" in `folder`, open for reading, writing, deleting
// and giving it security, without sharing: while it is open nobody can open or delete it, which
// tells a cleaner that a live run is writing it. `flags` are added to the hidden attribute.
// INVALID_HANDLE_VALUE on failure.
HANDLE CreateHiddenTemp(const std::wstring& folder, std::wstring& name, DWORD flags = 0);

// The user's temporary folder, without a trailing separator.
std::wstring TemporaryFolder();

// The path an open handle leads to now, links resolved ("\\?\C:\dir\name"); empty when the
// system cannot tell.
std::wstring FinalPath(HANDLE h);

// The stamp of an open file: its index on the volume, length and last-write time. The volume's
// serial number is left 0: asking for it (as GetFileInformationByHandle does) costs more than
// opening the file under some systems, and a stamp is only compared with stamps of the same
// path or of files of the same run. `attributes`, when given, receives the file's attributes.
[[nodiscard]] bool ReadStamp(HANDLE file, FileStamp& stamp, DWORD* attributes = nullptr);

// What one look at an open file tells: its stamp and what a replacement keeps of it.
struct FileFacts {
    FileStamp stamp;
    int64_t creation = 0;
    DWORD attributes = 0;
    DWORD links = 1;
};
// One call where the system has a class that tells it all (FileStatInformation), else three
// (two without `withIndex`, which leaves the index 0).
[[nodiscard]] bool ReadFacts(HANDLE file, FileFacts& facts, bool withIndex = true);
// The file's index on its volume alone.
[[nodiscard]] bool ReadIndex(HANDLE file, uint64_t& index);

// Reads at `offset`, in one call. On a synchronous handle this moves the handle's own position
// (TFile keeps track of it). Bytes read, 0 at the end, -1 on an error.
long long ReadAtOffset(HANDLE file, uint64_t offset, void* buffer, size_t size);

// Writes everything, in pieces the API takes.
bool WriteAllHandle(HANDLE h, const void* data, size_t size);

// Copies all of `from`, from its start, to `to`'s position on.
bool CopyHandleContent(HANDLE from, HANDLE to);

// Removes an open file through its handle, which was opened with DELETE access: whatever its
// security says now, and whatever its name leads to.
bool DeleteThroughHandle(HANDLE h);
