#include "tests/support/ScratchRegistry.h"

#include <cstdlib>
#include <vector>

#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <process.h>

struct ScratchRegistry::Impl {};

namespace {

void DeleteStore(const std::string& name) {
    RegistryKey parent;
    if (parent.OpenExisting(RegistryKey(RegistryRoot::CurrentUser), "Software\\Harrowfen"))
        (void)parent.DeleteKey(name);
    // The company key stays: test programs run side by side, and deleting it under another's
    // store made that one's writes fail.
}

}  // namespace

ScratchRegistry::ScratchRegistry() : name_("Harrowfen\\ScrivoxTest" + std::to_string(_getpid())) {
    DeleteStore(name_.substr(10));
}

ScratchRegistry::~ScratchRegistry() {
    DeleteStore(name_.substr(10));
}

#else

struct ScratchRegistry::Impl {
    TempDir dir;
    bool hadOld = false;
    std::string old;
};

ScratchRegistry::ScratchRegistry() : impl_(new Impl), name_("Harrowfen\\Scrivox") {
    configHome_ = impl_->dir.Join("config");
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        impl_->hadOld = true;
        impl_->old = old;
    }
    ::setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
}

ScratchRegistry::~ScratchRegistry() {
    if (impl_->hadOld)
        ::setenv("XDG_CONFIG_HOME", impl_->old.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

#endif

std::string ScratchRegistry::KeyPath(const std::string& section) const {
    return "Software\\" + name_ + (section.empty() ? "" : "\\" + section);
}

RegistryKey ScratchRegistry::Open(const std::string& section) const {
    RegistryKey key;
    (void)key.OpenExisting(RegistryKey(RegistryRoot::CurrentUser), KeyPath(section));
    return key;
}

StoredValue QueryStored(const RegistryKey& key, const std::string& name) {
    StoredValue v;
    uint32_t size = 0;
    (void)key.QueryValue(name, v.type, nullptr, size);
    std::vector<char> data(size + 1);
    v.found = key.QueryValue(name, v.type, data.data(), size);
    if (v.found)
        v.data.assign(data.data(), size);
    return v;
}
