#include "framework/posix/RegistryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "framework/posix/FileHelpers.h"
#include "framework/posix/RegistryFolder.h"
#include "framework/posix/RegistryLock.h"
#include "framework/posix/UniqueFd.h"

namespace {

bool IsStoreFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_size <= kMaxRegistryFileSize;
}

RegistryProblem ReadText(const std::string& path, std::string& text) {
    text.clear();
    // Looked at before it is opened: opening some devices does something (a watchdog starts
    // its timer, a tape rewinds), and a FIFO would wait for a writer.
    struct stat named;
    if (::stat(path.c_str(), &named) != 0)
        return errno == ENOENT ? RegistryProblem::None : RegistryProblem::Unreadable;
    if (!IsStoreFile(named))
        return RegistryProblem::NotRegularFile;
    // Non-blocking, and checked again through the descriptor, for whatever was put in its place
    // meanwhile.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        return errno == ENOENT ? RegistryProblem::None : RegistryProblem::Unreadable;
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0)
        return RegistryProblem::Unreadable;
    if (!IsStoreFile(st))
        return RegistryProblem::NotRegularFile;
    text.reserve(static_cast<size_t>(st.st_size));
    // One byte past the limit tells a file that grew beyond it since.
    const size_t limit = static_cast<size_t>(kMaxRegistryFileSize) + 1;
    char buffer[65536];
    while (text.size() < limit) {
        ssize_t n = ::read(fd.Get(), buffer, std::min(sizeof buffer, limit - text.size()));
        if (n == 0)
            return RegistryProblem::None;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return RegistryProblem::Unreadable;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    text.clear();
    return RegistryProblem::NotRegularFile;
}

bool ReplaceFile(const std::string& folder, const std::string& file, const std::string& text) {
    // Only the lock holder writes it, so one fixed name suffices. Whatever stands there goes
    // first (unlink takes a link itself, not what it points to, and a hard link's other names
    // keep their file) and the file is made afresh, so nothing planted there is written through.
    // Should something come back meanwhile, O_EXCL refuses it.
    const std::string temp = file + ".new";
    (void)::unlink(temp.c_str());
    UniqueFd fd(::open(temp.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
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

RegistryProblem ReadRegistryFile(const std::string& file, RegistryTree& tree) {
    std::string text;
    const RegistryProblem problem = ReadText(file, text);
    if (problem == RegistryProblem::None)
        tree = RegistryTree::Parse(text);
    return problem;
}

RegistryProblem UpdateRegistryFile(const std::string& folder,
                                   const RegistryChange& change,
                                   RegistryTree* result) {
    if (folder.empty() || !MakeRegistryFolder(folder))
        return RegistryProblem::Unwritable;
    const std::string file = RegistryFileIn(folder);
    RegistryLock lock;
    if (const RegistryProblem problem = lock.Acquire(file); problem != RegistryProblem::None)
        return problem;
    RegistryTree tree;
    if (const RegistryProblem problem = ReadRegistryFile(file, tree);
        problem != RegistryProblem::None)
        return problem;
    bool changed = false;
    if (!change(tree, changed))
        return RegistryProblem::None;
    if (changed && !ReplaceFile(folder, file, tree.Format()))
        return RegistryProblem::Unwritable;
    if (result)
        *result = std::move(tree);
    return RegistryProblem::None;
}
