#include "framework/FileIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "framework/FileError.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"

#include "framework/posix/FileHelpers.h"

bool GetFileIdentity(const std::string& path, FileIdentity& identity) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    identity.device = static_cast<uint64_t>(st.st_dev);
    identity.index = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool GetFileStamp(const TFileName& file, FileStamp& stamp) {
    const TFolder* holder = file.Holder();
    if (!holder)
        return GetFileStamp(file.FullPath(), stamp);
    struct stat st;
    if (::fstatat(holder->Descriptor(), file.NameInHolder(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return SystemFailure();
    stamp = StampOf(st);
    return true;
}

TTime LastWriteOf(const FileStamp& stamp) {
    const int64_t ns = stamp.lastWrite;
    const int64_t below = (ns % 1000000000 + 1000000000) % 1000000000;
    return TimeFromUnix((ns - below) / 1000000000, below);
}

bool GetFileStamp(const std::string& path, FileStamp& stamp) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    stamp = StampOf(st);
    return true;
}
