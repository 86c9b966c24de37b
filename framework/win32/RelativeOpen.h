#pragma once

#include <windows.h>

#include <string>

// Opens or makes a name in an open folder, as openat does on POSIX: the name is looked up in
// that very folder, whatever its path leads to by now, and nothing on the way is a path that
// someone could have changed since the folder was opened.

// One name, nothing more: not empty, not "." or "..", no separator, and no ':' (which would name
// a stream of the file rather than a file).
bool IsPlainName(const std::wstring& name);

// `disposition` is FILE_OPEN, FILE_CREATE or FILE_OPEN_IF and `options` the system's create
// options (FILE_DIRECTORY_FILE, FILE_OPEN_REPARSE_POINT, ...); the handle is synchronous, as
// CreateFileW's are. `security` is given to what is made. `created`, when given, tells whether
// the call made it. INVALID_HANDLE_VALUE, the system's error set, on failure.
HANDLE OpenRelative(HANDLE folder,
                    const std::wstring& name,
                    ACCESS_MASK access,
                    ULONG share,
                    ULONG disposition,
                    ULONG options,
                    PSECURITY_DESCRIPTOR security = nullptr,
                    bool* created = nullptr);

// Gives the open file `file` the further name `name` in the open folder `folder`: linked
// through the file's handle, never by a name that could lead to another file by now.
bool LinkRelative(HANDLE file, HANDLE folder, const std::wstring& name);
// Gives the open file `file` the name `name` in the open folder `folder` instead of its own, in
// one step, taking the place of what has that name: the name itself, never what it leads to.
bool RenameRelative(HANDLE file, HANDLE folder, const std::wstring& name);
