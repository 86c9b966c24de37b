#include "framework/RegistryKey.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "framework/RegistryTree.h"
#include "framework/posix/RegistryAccess.h"

// HKEY_CURRENT_USER is one REGEDIT4 file (framework/posix/RegistryFolder.h says where); a key
// is the path of its name, looked up again at every call.

struct RegistryKey::Impl {
    std::string path;  // from the root's name: "HKEY_CURRENT_USER\Software\..."
};

namespace {

constexpr const char* kRootName = "HKEY_CURRENT_USER";

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
    bool ok = WithRegistryTree([&](RegistryTree& tree) { return tree.Find(full) != nullptr; });
    if (!ok) {
        auto create = [full](RegistryTree& tree, bool& created) {
            return tree.FindOrCreate(full, created) != nullptr;
        };
        ok = WriteRegistryTree(create, false);
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
    if (!WithRegistryTree([&](RegistryTree& tree) { return tree.Find(full) != nullptr; }))
        return false;
    impl_.reset(new Impl{std::move(full)});
    return true;
}

bool RegistryKey::QueryInfo(uint32_t& subkeyCount, uint32_t& valueCount) const {
    return impl_ && WithRegistryTree([&](RegistryTree& tree) {
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
    return impl_ && WithRegistryTree([&](RegistryTree& tree) {
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
    return WriteRegistryTree(
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
    return impl_ && WriteRegistryTree(
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
    return WriteRegistryTree(
        [full = Join(impl_->path, path)](RegistryTree& tree, bool& changed) {
            changed = tree.Remove(full);
            return true;
        },
        true);
}

bool RegistryKey::EnumKey(uint32_t index, std::string& name) const {
    return impl_ && WithRegistryTree([&](RegistryTree& tree) {
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
    return impl_ && WithRegistryTree([&](RegistryTree& tree) {
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
