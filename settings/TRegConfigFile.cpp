#include "settings/TRegConfigFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "framework/RegistryTree.h"
#include "settings/TRegKey.h"

namespace {

constexpr size_t kMaxData = std::numeric_limits<uint32_t>::max();

// True when `inner` is the key `outer` or lies below it.
bool IsWithin(const std::string& inner, const std::string& outer) {
    return SameRegistryName(inner.substr(0, outer.size()), outer) &&
           (inner.size() == outer.size() || inner[outer.size()] == '\\');
}

void CopyKey(const RegistryKey& from, RegistryKey& to) {
    uint32_t subkeys = 0;
    uint32_t values = 0;
    if (!from.QueryInfo(subkeys, values))
        return;
    std::string name;
    uint32_t type;
    uint32_t size;
    std::vector<char> data;
    for (uint32_t i = 0; i < values && from.EnumValue(i, name, type, size); ++i) {
        data.resize(std::max<uint32_t>(size, 1));
        if (from.QueryValue(name, type, data.data(), size))
            (void)to.SetValue(name, type, data.data(), size);
    }
    for (uint32_t i = 0; i < subkeys && from.EnumKey(i, name); ++i) {
        RegistryKey fromSub;
        RegistryKey toSub;
        if (fromSub.OpenExisting(from, name) && toSub.OpenOrCreate(to, name))
            CopyKey(fromSub, toSub);
    }
}

}  // namespace

TRegConfigFile::TRegConfigFile(const std::string& name, RegistryRoot rootKey)
    : TConfigFile("Software\\" + name), rootKey_(rootKey) {}

std::string TRegConfigFile::SectionPath(const std::string& section) const {
    return StoreName() + '\\' + section;
}

void TRegConfigFile::CopyAllFrom(TConfigFile& other) {
    auto* registry = dynamic_cast<TRegConfigFile*>(&other);
    if (!registry) {
        TConfigFile::CopyAllFrom(other);
        return;
    }
    // Copying a store into itself changes nothing, and into its own tree would never end.
    if (registry->rootKey_ == rootKey_ && (IsWithin(StoreName(), registry->StoreName()) ||
                                           IsWithin(registry->StoreName(), StoreName())))
        return;
    TRegKey from(registry->rootKey_, registry->StoreName(), TRegKey::OpenExisting);
    TRegKey to(rootKey_, StoreName(), TRegKey::OpenOrCreate);
    std::string name;
    for (uint32_t i = 0; i < from.SubkeyCount() && from.GetSubkeyName(i, name); ++i) {
        TRegKey fromSection(from, name, TRegKey::OpenExisting);
        TRegKey toSection(to, name, TRegKey::OpenOrCreate);
        if (fromSection.IsOpen() && toSection.IsOpen())
            CopyKey(fromSection.Handle(), toSection.Handle());
    }
}

bool TRegConfigFile::HasSection(const std::string& section) {
    return TRegKey(rootKey_, SectionPath(section), TRegKey::OpenExisting).IsOpen();
}

size_t TRegConfigFile::ListEntries(const std::string& section, char* buffer, size_t size) {
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    std::vector<std::string> names;
    TRegValue value;
    for (uint32_t i = 0; i < key.ValueCount() && key.GetValue(i, value); ++i) {
        // The key's default value has no name and is no entry; it would also end the list.
        if (!value.Name.empty())
            names.push_back(value.Name);
    }
    return FillList(names, buffer, size);
}

size_t TRegConfigFile::ListSections(char* buffer, size_t size) {
    TRegKey key(rootKey_, StoreName(), TRegKey::OpenOrCreate);
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; i < key.SubkeyCount() && key.GetSubkeyName(i, name); ++i)
        names.push_back(name);
    return FillList(names, buffer, size);
}

bool TRegConfigFile::DeleteSection(const std::string& section) {
    TRegKey store(rootKey_, StoreName(), TRegKey::OpenExisting);
    return store.Handle().DeleteKey(section);
}

bool TRegConfigFile::DeleteEntry(const std::string& section, const std::string& entry) {
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    return key.Handle().DeleteValue(entry);
}

size_t TRegConfigFile::ReadString(const std::string& section,
                                  const std::string& entry,
                                  char* buffer,
                                  size_t size,
                                  const char* defaultText) {
    if (!buffer || size == 0)
        return 0;
    // Taken first: callers may pass their buffer as the default, and a failed read may have
    // scribbled over it.
    const std::string fallback = defaultText ? defaultText : "";
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    uint32_t type;
    uint32_t n = static_cast<uint32_t>(std::min(size, kMaxData));
    if (key.Handle().QueryValue(entry, type, buffer, n)) {
        // Text stored without its NUL reads the same, as long as the NUL still fits.
        if (n < size) {
            buffer[n] = '\0';
            return std::strlen(buffer);
        }
        if (buffer[n - 1] == '\0')
            return std::strlen(buffer);
    }
    size_t length = std::min(fallback.size(), size - 1);
    std::memcpy(buffer, fallback.data(), length);
    buffer[length] = '\0';
    return length;
}

bool TRegConfigFile::WriteString(const std::string& section,
                                 const std::string& entry,
                                 const char* text) {
    if (!text)
        return false;
    size_t size = std::strlen(text) + 1;
    if (size > kMaxData)
        return false;
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    return key.Handle().SetValue(entry, kRegString, text, static_cast<uint32_t>(size));
}

bool TRegConfigFile::ReadBytes(const std::string& section,
                               const std::string& entry,
                               void* buffer,
                               size_t count) {
    if (count > kMaxData)
        return false;
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    uint32_t type;
    uint32_t n = static_cast<uint32_t>(count);
    // Fewer bytes than asked for would leave the rest of the caller's buffer undefined.
    return key.Handle().QueryValue(entry, type, buffer, n) && n == count;
}

bool TRegConfigFile::WriteBytes(const std::string& section,
                                const std::string& entry,
                                const void* data,
                                size_t count) {
    if (count > kMaxData)
        return false;
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    return key.Handle().SetValue(entry, kRegBinary, data, static_cast<uint32_t>(count));
}

int32_t TRegConfigFile::ReadInteger(const std::string& section,
                                    const std::string& entry,
                                    int32_t defaultValue) {
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    unsigned char bytes[4];
    uint32_t type;
    uint32_t n = sizeof bytes;
    // Shorter data, possible only when edited by hand, would mix with the default's bytes.
    if (!key.Handle().QueryValue(entry, type, bytes, n) || n != sizeof bytes)
        return defaultValue;
    uint32_t value =
        bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return static_cast<int32_t>(value);
}

bool TRegConfigFile::WriteInteger(const std::string& section,
                                  const std::string& entry,
                                  int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    TRegKey key(rootKey_, SectionPath(section), TRegKey::OpenOrCreate);
    return key.Handle().SetValue(entry, kRegDword, bytes, sizeof bytes);
}
