#include "framework/FileIdentity.h"

#include <sys/stat.h>

#include "framework/posix/FileHelpers.h"

bool GetFileIdentity(const std::string& path, FileIdentity& identity) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    identity.device = static_cast<uint64_t>(st.st_dev);
    identity.index = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool GetFileStamp(const std::string& path, FileStamp& stamp) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    stamp = StampOf(st);
    return true;
}
