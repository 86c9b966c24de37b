#include "framework/RegistryKey.h"

#include "framework/posix/FileHelpers.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/RegistryTree.h"

// HKEY_CURRENT_USER is one REGEDIT4 file, ${XDG_CONFIG_HOME:-$HOME/.config}/scrivox/user.reg.
// Outside a session every call reads the file anew. Readers take no lock and rely on rename
// being atomic. A writer holds an exclusive lock on user.reg.lock while it reads the file,
// changes the tree and renames a synced copy over it, so that writers in several processes lose
// none of each other's changes and nobody ever sees half a file. A session keeps the tree it
// read and its writes as the changes that made them, and makes them again at Commit in the same
// way a single writer does.

struct RegistryKey::Impl {
    std::string path;  // from the root's name: "HKEY_CURRENT_USER\Software\..."
};

namespace {

constexpr const char* kRootName = "HKEY_CURRENT_USER";

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    // Close reports what a full disk may only report there.
    bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

std::string ConfigFolder() {
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/scrivox";
    std::string home;
    if (const char* env = std::getenv("HOME"))
        home = env;
    if (home.empty()) {
        const passwd* pw = ::getpwuid(::getuid());
        if (pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.config/scrivox";
}

// Makes the folder and its missing parents, private to the user.
bool MakeFolders(const std::string& folder) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A missing file is an empty tree; any other failure is a failure, so that a file that could
// not be read is never replaced by one that lacks its content.
bool ReadFile(const std::string& path, std::string& text) {
    text.clear();
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
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

bool WriteAll(int fd, const std::string& text) {
    return WriteAllFd(fd, text.data(), text.size());
}

bool ReplaceFile(const std::string& folder, const std::string& file, const std::string& text) {
    // Only the lock holder writes it, so one fixed name suffices and a leftover is reused.
    const std::string temp = file + ".new";
    Descriptor fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Get() < 0)
        return false;
    bool ok = ::fchmod(fd.Get(), 0600) == 0 && WriteAll(fd.Get(), text) && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is made durable through the folder.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
    return true;
}

// Reads the tree from the folder the environment names now, and says which that was.
bool Load(std::string& folder, RegistryTree& tree) {
    folder = ConfigFolder();
    std::string text;
    if (folder.empty() || !ReadFile(folder + "/user.reg", text))
        return false;
    tree = RegistryTree::Parse(text);
    return true;
}

// One write's change to a tree: false when it cannot be made (its key is missing); `changed`
// tells whether it changed anything. Closures own what they use, as a session keeps them.
using Change = std::function<bool(RegistryTree& tree, bool& changed)>;

// Runs change(tree, changed) on the current tree under the writers' lock and stores the tree
// when it says it changed it. `result`, when given, gets the tree as changed.
bool Update(const std::string& folder, const Change& change, RegistryTree* result = nullptr) {
    if (folder.empty() || !MakeFolders(folder))
        return false;
    const std::string file = folder + "/user.reg";
    Descriptor lock(::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.Get() < 0)
        return false;
    while (::flock(lock.Get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    std::string text;
    if (!ReadFile(file, text))
        return false;
    RegistryTree tree = RegistryTree::Parse(text);
    bool changed = false;
    if (!change(tree, changed))
        return false;
    if (changed && !ReplaceFile(folder, file, tree.Format()))
        return false;
    if (result)
        *result = std::move(tree);
    return true;
}

// The process's session, when one is open (depth > 0). The mutex guards every member.
struct Session {
    std::mutex mutex;
    int depth = 0;
    bool loaded = false;
    std::string folder;           // the tree's, fixed at the first use
    RegistryTree tree;            // the file's content as read, with `changes` made
    std::vector<Change> changes;  // since the last Commit, in the order they were made
    bool changedTree = false;     // some of `changes` changed the tree

    bool EnsureLoaded() {
        if (!loaded)
            loaded = Load(folder, tree);
        return loaded;
    }

    bool Commit() {
        std::vector<Change> made = std::move(changes);
        changes.clear();
        // Writes that changed nothing need not reach the file, nor wait for its lock.
        if (!std::exchange(changedTree, false))
            return true;
        bool allMade = true;
        RegistryTree fresh;
        const bool stored = Update(
            folder,
            [&](RegistryTree& t, bool& changed) {
                for (const Change& change : made) {
                    bool one = false;
                    if (change(t, one))
                        changed = changed || one;
                    else
                        allMade = false;
                }
                return true;
            },
            &fresh);
        // Now the file's content, or, when it could not be stored, read again at the next use,
        // so that nothing shows writes the file lacks.
        if (stored)
            tree = std::move(fresh);
        else
            loaded = false;
        return stored && allMade;
    }

    void End() {
        loaded = false;
        folder.clear();
        tree = RegistryTree();
        changes.clear();
        changedTree = false;
    }
};

Session& TheSession() {
    static Session session;
    return session;
}

// Runs use(tree) on the tree as this process sees it: the session's, else the file's now.
template <typename Use>
bool WithTree(Use use) {
    Session& s = TheSession();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.depth > 0)
        return s.EnsureLoaded() && use(s.tree);
    lock.unlock();
    std::string folder;
    RegistryTree tree;
    return Load(folder, tree) && use(tree);
}

// Makes a write's change: in the session's tree, recorded for Commit, or in the file at once.
// A deletion (`mustChange`) fails when it finds nothing to delete.
bool Write(Change change, bool mustChange) {
    Session& s = TheSession();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.depth == 0) {
        lock.unlock();
        return Update(ConfigFolder(), [&](RegistryTree& tree, bool& changed) {
            return change(tree, changed) && (changed || !mustChange);
        });
    }
    bool changed = false;
    if (!s.EnsureLoaded() || !change(s.tree, changed) || (mustChange && !changed))
        return false;
    // Kept even when it changed nothing here: made again at Commit, it wins over what another
    // process wrote meanwhile, as it would have had it gone to the file at once.
    s.changes.push_back(std::move(change));
    s.changedTree = s.changedTree || changed;
    return true;
}

std::string Join(const std::string& parent, const std::string& path) {
    return path.empty() ? parent : parent + '\\' + path;
}

bool ValidPath(const std::string& path) {
    std::vector<std::string> names;
    return RegistryTree::SplitPath(path, names);
}

}  // namespace

RegistryKey::RegistryKey() = default;

RegistryKey::RegistryKey(RegistryRoot) : impl_(new Impl{kRootName}) {}

RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::IsOpen() const {
    return impl_ != nullptr;
}

bool RegistryKey::OpenOrCreate(const RegistryKey& parent, const std::string& path) {
    if (!parent.IsOpen()) {
        impl_.reset();
        return false;
    }
    std::string full = Join(parent.impl_->path, path);
    impl_.reset();
    if (!ValidPath(full))
        return false;
    // Most keys exist already; only making one is a write.
    bool ok = WithTree([&](RegistryTree& tree) { return tree.Find(full) != nullptr; });
    if (!ok) {
        auto create = [full](RegistryTree& tree, bool& created) {
            return tree.FindOrCreate(full, created) != nullptr;
        };
        ok = Write(create, false);
    }
    if (ok)
        impl_.reset(new Impl{std::move(full)});
    return ok;
}

bool RegistryKey::OpenExisting(const RegistryKey& parent, const std::string& path) {
    if (!parent.IsOpen()) {
        impl_.reset();
        return false;
    }
    std::string full = Join(parent.impl_->path, path);
    impl_.reset();
    if (!WithTree([&](RegistryTree& tree) { return tree.Find(full) != nullptr; }))
        return false;
    impl_.reset(new Impl{std::move(full)});
    return true;
}

bool RegistryKey::QueryInfo(uint32_t& subkeyCount, uint32_t& valueCount) const {
    return impl_ && WithTree([&](RegistryTree& tree) {
               const RegistryTree::Key* key = tree.Find(impl_->path);
               if (!key)
                   return false;
               subkeyCount = static_cast<uint32_t>(key->SubkeyCount());
               valueCount = static_cast<uint32_t>(key->ValueCount());
               return true;
           });
}

bool RegistryKey::QueryValue(const std::string& name,
                             uint32_t& type,
                             void* data,
                             uint32_t& size) const {
    const uint32_t capacity = size;
    size = 0;
    return impl_ && WithTree([&](RegistryTree& tree) {
               RegistryTree::Key* key = tree.Find(impl_->path);
               const RegistryTree::Value* value = key ? key->FindValue(name) : nullptr;
               if (!value)
                   return false;
               type = value->type;
               size = static_cast<uint32_t>(value->data.size());
               if (size > capacity || (size > 0 && !data))
                   return false;
               if (size > 0)
                   std::memcpy(data, value->data.data(), size);
               return true;
           });
}

bool RegistryKey::SetValue(const std::string& name,
                           uint32_t type,
                           const void* data,
                           uint32_t size) {
    // A line break in a name would break the file's lines.
    if (!impl_ || name.find_first_of("\r\n") != std::string::npos || (size > 0 && !data))
        return false;
    std::string bytes = size > 0 ? std::string(static_cast<const char*>(data), size) : "";
    return Write(
        [path = impl_->path, name, type, bytes = std::move(bytes)](RegistryTree& tree,
                                                                   bool& changed) {
            RegistryTree::Key* key = tree.Find(path);
            if (!key)
                return false;
            changed = key->SetValue(name, type, bytes);
            return true;
        },
        false);
}

bool RegistryKey::DeleteValue(const std::string& name) {
    // Made again at Commit on a tree that already lacks the value, it still did its part.
    return impl_ && Write(
                        [path = impl_->path, name](RegistryTree& tree, bool& changed) {
                            RegistryTree::Key* key = tree.Find(path);
                            changed = key && key->RemoveValue(name);
                            return true;
                        },
                        true);
}

bool RegistryKey::DeleteKey(const std::string& path) {
    if (!impl_ || path.empty())
        return false;
    return Write(
        [full = Join(impl_->path, path)](RegistryTree& tree, bool& changed) {
            changed = tree.Remove(full);
            return true;
        },
        true);
}

bool RegistryKey::EnumKey(uint32_t index, std::string& name) const {
    return impl_ && WithTree([&](RegistryTree& tree) {
               const RegistryTree::Key* key = tree.Find(impl_->path);
               if (!key || index >= key->SubkeyCount())
                   return false;
               name = key->SubkeyAt(index).Name();
               return true;
           });
}

bool RegistryKey::EnumValue(uint32_t index,
                            std::string& name,
                            uint32_t& type,
                            uint32_t& size) const {
    return impl_ && WithTree([&](RegistryTree& tree) {
               const RegistryTree::Key* key = tree.Find(impl_->path);
               if (!key || index >= key->ValueCount())
                   return false;
               const RegistryTree::Value& value = key->ValueAt(index);
               name = value.name;
               type = value.type;
               size = static_cast<uint32_t>(value.data.size());
               return true;
           });
}

RegistrySession::RegistrySession() {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.depth;
}

RegistrySession::~RegistrySession() {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    try {
        (void)s.Commit();
    } catch (...) {
        // Out of memory while formatting: the writes are lost, as a failed write's would be.
    }
    if (--s.depth == 0)
        s.End();
}

bool RegistrySession::Commit() {
    Session& s = TheSession();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.Commit();
}
