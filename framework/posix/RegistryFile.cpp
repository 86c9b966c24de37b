#include "framework/posix/RegistryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "framework/posix/FileHelpers.h"
#include "framework/posix/RegistryFolder.h"
#include "framework/posix/RegistryLock.h"
#include "framework/posix/UniqueFd.h"

namespace {

bool ReadText(const std::string& path, std::string& text) {
    text.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return errno == ENOENT;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
}

bool ReplaceFile(const std::string& folder, const std::string& file, const std::string& text) {
    // Only the lock holder writes it, so one fixed name suffices and a leftover is reused.
    const std::string temp = file + ".new";
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd)
        return false;
    bool ok = ::fchmod(fd.Get(), 0600) == 0 && WriteAllFd(fd.Get(), text.data(), text.size()) &&
              ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is made durable through the folder.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.Get());
    return true;
}

}  // namespace

bool ReadRegistryFile(const std::string& file, RegistryTree& tree) {
    std::string text;
    if (!ReadText(file, text))
        return false;
    tree = RegistryTree::Parse(text);
    return true;
}

bool UpdateRegistryFile(const std::string& folder,
                        const RegistryChange& change,
                        RegistryTree* result) {
    if (folder.empty() || !MakeRegistryFolder(folder))
        return false;
    const std::string file = RegistryFileIn(folder);
    RegistryLock lock;
    if (!lock.Acquire(file))
        return false;
    RegistryTree tree;
    if (!ReadRegistryFile(file, tree))
        return false;
    bool changed = false;
    if (!change(tree, changed))
        return false;
    if (changed && !ReplaceFile(folder, file, tree.Format()))
        return false;
    if (result)
        *result = std::move(tree);
    return true;
}
