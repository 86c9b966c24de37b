#pragma once

#include <cstddef>
#include <string>

#include "framework/FileIdentity.h"

struct stat;

// Descriptor-level helpers that the POSIX file services share.

// A new hidden file ".scrivox-XXXXXX.tmp" in `folder`, open for reading and writing and locked
// for as long as it is open, so that a cleaner can tell it from one a killed run left behind.
// Returns its descriptor and name, or -1.
int CreateHiddenTemp(const std::string& folder, std::string& name);

// The folder for temporary files: $TMPDIR, else /tmp.
std::string TemporaryFolder();

// The folder part of a path: "a/b" -> "a", "/b" -> "/", "b" -> ".".
std::string FolderOf(const std::string& path);

FileStamp StampOf(const struct stat& st);

// Writes everything, retrying short and interrupted writes.
bool WriteAllFd(int fd, const void* data, size_t size);

// Copies from `from`'s current offset to its end into `to`, retrying interrupted reads.
bool CopyFdContent(int from, int to);
