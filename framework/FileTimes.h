#pragma once

#include <string>

#include "framework/TTime.h"

class TFileName;

// A file's time stamps, to the file system's resolution.
struct FileTimes {
    TTime creation;  // where the platform reports one (Windows); otherwise zero
    TTime lastAccess;
    TTime lastWrite;
};

[[nodiscard]] bool GetFileTimes(const std::string& path, FileTimes& times);

// Sets the last-write time of an existing regular file and nothing else: content, length,
// attributes, creation and last-access times stay exactly as they were. False for a folder, a
// missing file, a time the file system cannot hold, and on Windows for a file that any other
// handle has open for reading, writing or deleting.
[[nodiscard]] bool SetLastWriteTime(const std::string& path, TTime time);
// The same for a name the walk may have handed over: set in the folder that holds it, its name
// not followed again, and the regular file the walk has just seen there taken as checked. On
// Windows a name given a stamp (TFileName::SetSeenStamp) is set only while the file still has
// that stamp's last-write time, checked through the handle that lets nobody else change it
// before the time is set: the time a journal kept as the old one is the file's right before.
[[nodiscard]] bool SetLastWriteTime(const TFileName& file, TTime time);
// The same, to the full resolution of a file stamp's last-write time (FileStamp::lastWrite),
// finer than a time value's on some systems: what gives a file back the very time it had.
[[nodiscard]] bool SetLastWriteStamp(const TFileName& file, int64_t lastWrite);
