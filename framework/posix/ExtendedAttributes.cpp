#include "framework/posix/ExtendedAttributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Reads a list or a value whose size may change between asking and reading.
template <typename Get>
bool ReadSized(std::vector<char>& buffer, Get get) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        buffer.resize(static_cast<size_t>(size));
        if (size == 0)
            return true;
        ssize_t got = get(buffer.data(), buffer.size());
        if (got >= 0) {
            buffer.resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

bool IsAcl(const char* name) {
    return std::strncmp(name, "system.posix_acl_", 17) == 0;
}

}  // namespace

bool CopyExtendedAttributes(int from, int to, AclCopy acls) {
    std::vector<char> names;
    if (!ReadSized(names, [&](char* b, size_t n) { return ::flistxattr(from, b, n); }))
        return errno == ENOTSUP;
    bool all = true;
    std::vector<char> value, present;
    for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        if (acls == AclCopy::Leave && IsAcl(name))
            continue;
        if (!ReadSized(value, [&](char* b, size_t n) { return ::fgetxattr(from, name, b, n); })) {
            all = all && errno == ENODATA;  // removed meanwhile
            continue;
        }
        if (::fsetxattr(to, name, value.data(), value.size(), 0) == 0)
            continue;
        // A label the new file was given anyway (a security module's) is as good as copied.
        all = all &&
              ReadSized(present, [&](char* b, size_t n) { return ::fgetxattr(to, name, b, n); }) &&
              present == value;
    }
    return all;
}
