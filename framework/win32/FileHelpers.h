#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "framework/FileIdentity.h"

// Handle-level helpers that the Win32 file services share.

// Temporary files of replacements and copies are named "~scrivox-XXXXXXXXXXXX.tmp".
inline constexpr const wchar_t* kReplacementPattern = L"~scrivox-*.tmp";

// A name of that form in `folder` that no file has yet.
std::wstring UniqueReplacementName(const std::wstring& folder);

// A new hidden file of that form in `folder`, open without sharing: while it is open nobody can
// delete it, which tells a cleaner that a live run is writing it. INVALID_HANDLE_VALUE on failure.
HANDLE CreateHiddenTemp(const std::wstring& folder, std::wstring& name);

// The user's temporary folder, without a trailing separator.
std::wstring TemporaryFolder();

// The folder part of a path: "a\\b" -> "a", "b" -> ".".
std::wstring FolderOf(const std::wstring& path);

// The stamp of an open file: its index on the volume, length and last-write time. The volume's
// serial number is left 0: asking for it (as GetFileInformationByHandle does) costs more than
// opening the file under some systems, and a stamp is only compared with stamps of the same
// path or of files of the same run.
[[nodiscard]] bool ReadStamp(HANDLE file, FileStamp& stamp);

// Writes everything, in pieces the API takes.
bool WriteAllHandle(HANDLE h, const void* data, size_t size);
