#include "framework/RegistryKey.h"

#include <windows.h>

#include <utility>
#include <vector>

// The ANSI registry functions convert names and texts between the active code page and the
// registry's UTF-16, as everywhere else in the program.

struct RegistryKey::Impl {
    HKEY key = nullptr;
    bool owns = false;  // a predefined root is never closed

    ~Impl() {
        if (owns)
            ::RegCloseKey(key);
    }
};

RegistryKey::RegistryKey() = default;

RegistryKey::RegistryKey(RegistryRoot) : impl_(new Impl{HKEY_CURRENT_USER, false}) {}

RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::IsOpen() const {
    return impl_ != nullptr;
}

bool RegistryKey::OpenOrCreate(const RegistryKey& parent, const std::string& path) {
    HKEY key = nullptr;
    bool ok = parent.IsOpen() && ::RegCreateKeyExA(parent.impl_->key, path.c_str(), 0, nullptr,
                                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                                   &key, nullptr) == ERROR_SUCCESS;
    // Assigned only now: `parent` may be this key.
    impl_.reset(ok ? new Impl{key, true} : nullptr);
    return ok;
}

bool RegistryKey::OpenExisting(const RegistryKey& parent, const std::string& path) {
    HKEY key = nullptr;
    bool ok = parent.IsOpen() && ::RegOpenKeyExA(parent.impl_->key, path.c_str(), 0, KEY_ALL_ACCESS,
                                                 &key) == ERROR_SUCCESS;
    impl_.reset(ok ? new Impl{key, true} : nullptr);
    return ok;
}

bool RegistryKey::QueryInfo(uint32_t& subkeyCount, uint32_t& valueCount) const {
    DWORD subkeys = 0;
    DWORD values = 0;
    if (!impl_ ||
        ::RegQueryInfoKeyA(impl_->key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    subkeyCount = subkeys;
    valueCount = values;
    return true;
}

bool RegistryKey::QueryValue(const std::string& name,
                             uint32_t& type,
                             void* data,
                             uint32_t& size) const {
    DWORD t = 0;
    DWORD n = data ? size : 0;
    size = 0;
    if (!impl_)
        return false;
    LONG r =
        ::RegQueryValueExA(impl_->key, name.c_str(), nullptr, &t, static_cast<BYTE*>(data), &n);
    // Without a buffer the call succeeds and only tells the size.
    if (r == ERROR_MORE_DATA || (r == ERROR_SUCCESS && !data && n > 0)) {
        type = t;
        size = n;
        return false;
    }
    if (r != ERROR_SUCCESS)
        return false;
    type = t;
    size = n;
    return true;
}

bool RegistryKey::SetValue(const std::string& name,
                           uint32_t type,
                           const void* data,
                           uint32_t size) {
    return impl_ && (size == 0 || data) &&
           ::RegSetValueExA(impl_->key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                            size) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const std::string& name) {
    return impl_ && ::RegDeleteValueA(impl_->key, name.c_str()) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteKey(const std::string& path) {
    // An empty path would make RegDeleteTreeA empty this key instead of deleting one.
    return impl_ && !path.empty() && ::RegDeleteTreeA(impl_->key, path.c_str()) == ERROR_SUCCESS;
}

bool RegistryKey::EnumKey(uint32_t index, std::string& name) const {
    // 255 characters at most, each up to 3 bytes in a multi-byte code page.
    char buffer[1024];
    DWORD n = sizeof buffer;
    if (!impl_ || ::RegEnumKeyExA(impl_->key, index, buffer, &n, nullptr, nullptr, nullptr,
                                  nullptr) != ERROR_SUCCESS)
        return false;
    name.assign(buffer, n);
    return true;
}

bool RegistryKey::EnumValue(uint32_t index,
                            std::string& name,
                            uint32_t& type,
                            uint32_t& size) const {
    if (!impl_)
        return false;
    std::vector<char> buffer(16384 * 3 + 1);
    DWORD n = static_cast<DWORD>(buffer.size());
    DWORD t = 0;
    DWORD bytes = 0;
    if (::RegEnumValueA(impl_->key, index, buffer.data(), &n, nullptr, &t, nullptr, &bytes) !=
        ERROR_SUCCESS)
        return false;
    name.assign(buffer.data(), n);
    type = t;
    size = bytes;
    return true;
}

// Every call goes to the registry at once; there is nothing to batch.
RegistrySession::RegistrySession() = default;
RegistrySession::~RegistrySession() = default;

bool RegistrySession::Commit() {
    return true;
}

void RegistrySession::Abandon() {}

RegistryProblem RegistrySession::Problem() const {
    return RegistryProblem::None;
}

std::string RegistrySession::FilePath() const {
    return std::string();
}
