#pragma once

#include <cstddef>
#include <string>

#include "framework/FileIdentity.h"
#include "framework/TFolder.h"
#include "framework/posix/UniqueFd.h"

struct stat;

// Descriptor-level helpers that the POSIX file services share.

// A new hidden file ".scrivox-XXXXXX.tmp" in the open folder `folder`, private to its owner,
// open for reading and writing and locked for as long as it is open, so that a cleaner can tell
// it from one a killed run left behind. Made exclusively: a name that exists, a link included,
// is never opened. Returns its descriptor (none on failure) and its name in the folder.
UniqueFd CreateHiddenTempAt(int folder, std::string& name);
// The same in the folder named by a path; `name` is then the whole path.
UniqueFd CreateHiddenTemp(const std::string& folder, std::string& name);

// The folder for temporary files: $TMPDIR, else /tmp.
std::string TemporaryFolder();

// The folder part of a path: "a/b" -> "a", "/b" -> "/", "b" -> ".".
std::string FolderOf(const std::string& path);

FileStamp StampOf(const struct stat& st);
// What the walk needs to know of the name `name` with the status `st`.
EntryStatus EntryStatusFrom(const char* name, const struct stat& st);

// Writes everything, retrying short and interrupted writes.
bool WriteAllFd(int fd, const void* data, size_t size);

// Copies all of `from`, from its start whatever its position, to `to`'s position on.
bool CopyFdContent(int from, int to);
