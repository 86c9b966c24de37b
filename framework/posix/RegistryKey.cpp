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
#include <utility>

#include "framework/RegistryTree.h"

// HKEY_CURRENT_USER is one REGEDIT4 file, ${XDG_CONFIG_HOME:-$HOME/.config}/scrivox/user.reg.
// Nothing is cached: every call reads the file anew. Readers take no lock and rely on rename
// being atomic. A writer holds an exclusive lock on user.reg.lock while it reads the file,
// changes the tree and renames a synced copy over it, so that writers in several processes lose
// none of each other's changes and nobody ever sees half a file.

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

bool Load(RegistryTree& tree) {
    std::string folder = ConfigFolder();
    std::string text;
    if (folder.empty() || !ReadFile(folder + "/user.reg", text))
        return false;
    tree = RegistryTree::Parse(text);
    return true;
}

// Runs change(tree, changed) on the current tree under the writers' lock and stores the tree
// when it says it changed it.
template <typename Change>
bool Update(Change change) {
    std::string folder = ConfigFolder();
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
    return !changed || ReplaceFile(folder, file, tree.Format());
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
    // Most keys exist already; only making one needs the writers' lock.
    RegistryTree tree;
    bool ok = Load(tree) && tree.Find(full);
    if (!ok) {
        ok = Update([&](RegistryTree& t, bool& changed) {
            return t.FindOrCreate(full, changed) != nullptr;
        });
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
    RegistryTree tree;
    if (!Load(tree) || !tree.Find(full))
        return false;
    impl_.reset(new Impl{std::move(full)});
    return true;
}

bool RegistryKey::QueryInfo(uint32_t& subkeyCount, uint32_t& valueCount) const {
    RegistryTree tree;
    RegistryTree::Key* key = impl_ && Load(tree) ? tree.Find(impl_->path) : nullptr;
    if (!key)
        return false;
    subkeyCount = static_cast<uint32_t>(key->subkeys.size());
    valueCount = static_cast<uint32_t>(key->values.size());
    return true;
}

bool RegistryKey::QueryValue(const std::string& name,
                             uint32_t& type,
                             void* data,
                             uint32_t& size) const {
    const uint32_t capacity = size;
    size = 0;
    RegistryTree tree;
    RegistryTree::Key* key = impl_ && Load(tree) ? tree.Find(impl_->path) : nullptr;
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
}

bool RegistryKey::SetValue(const std::string& name,
                           uint32_t type,
                           const void* data,
                           uint32_t size) {
    // A line break in a name would break the file's lines.
    if (!impl_ || name.find_first_of("\r\n") != std::string::npos || (size > 0 && !data))
        return false;
    const std::string bytes = size > 0 ? std::string(static_cast<const char*>(data), size) : "";
    return Update([&](RegistryTree& tree, bool& changed) {
        RegistryTree::Key* key = tree.Find(impl_->path);
        if (!key)
            return false;
        const RegistryTree::Value* old = key->FindValue(name);
        changed = !old || old->type != type || old->data != bytes;
        if (changed)
            key->SetValue(name, type, bytes);
        return true;
    });
}

bool RegistryKey::DeleteValue(const std::string& name) {
    return impl_ && Update([&](RegistryTree& tree, bool& changed) {
               RegistryTree::Key* key = tree.Find(impl_->path);
               changed = key && key->RemoveValue(name);
               return changed;
           });
}

bool RegistryKey::DeleteKey(const std::string& path) {
    if (!impl_ || path.empty())
        return false;
    const std::string full = Join(impl_->path, path);
    return Update([&](RegistryTree& tree, bool& changed) {
        changed = tree.Find(impl_->path) && tree.Remove(full);
        return changed;
    });
}

bool RegistryKey::EnumKey(uint32_t index, std::string& name) const {
    RegistryTree tree;
    RegistryTree::Key* key = impl_ && Load(tree) ? tree.Find(impl_->path) : nullptr;
    if (!key || index >= key->subkeys.size())
        return false;
    name = key->subkeys[index].name;
    return true;
}

bool RegistryKey::EnumValue(uint32_t index,
                            std::string& name,
                            uint32_t& type,
                            uint32_t& size) const {
    RegistryTree tree;
    RegistryTree::Key* key = impl_ && Load(tree) ? tree.Find(impl_->path) : nullptr;
    if (!key || index >= key->values.size())
        return false;
    const RegistryTree::Value& value = key->values[index];
    name = value.name;
    type = value.type;
    size = static_cast<uint32_t>(value.data.size());
    return true;
}
