#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The predefined roots a key path can start from.
enum class RegistryRoot { CurrentUser };

// Value types, numbered as the registry numbers them so that they pass through unchanged.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegString = 1;  // text and a terminating NUL
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;  // 4 bytes, little-endian

// An open key in the per-user tree of keys holding typed values: on Windows the registry, on
// other systems a text file of the same tree that this program keeps itself. Names and texts
// are single-byte; key and value names compare without regard to letter case. Paths are key
// names joined with backslashes. Every failure is a false result; nothing throws.
//
// The tree may be changed by other processes between two calls: a key deleted meanwhile makes
// the calls on it fail.
class RegistryKey {
public:
    RegistryKey();
    // The root itself, always open; it is never closed.
    explicit RegistryKey(RegistryRoot root);
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool IsOpen() const;

    // Opens the key `path` below `parent` for full access, making it and every missing key on
    // the way. An empty path opens `parent` again. Whatever this key held is closed first.
    [[nodiscard]] bool OpenOrCreate(const RegistryKey& parent, const std::string& path);
    // The same, without making anything.
    [[nodiscard]] bool OpenExisting(const RegistryKey& parent, const std::string& path);

    [[nodiscard]] bool QueryInfo(uint32_t& subkeyCount, uint32_t& valueCount) const;

    // Reads a value's type and data. `size` is the buffer's capacity on entry and the data's
    // size on return. Fails when the value is missing or its data does not fit; `size` is then
    // the size it would need (0 when missing). `data` may be null when `size` is 0.
    [[nodiscard]] bool QueryValue(const std::string& name,
                                  uint32_t& type,
                                  void* data,
                                  uint32_t& size) const;
    // Makes or replaces a value. An empty name is the key's default value.
    [[nodiscard]] bool SetValue(const std::string& name,
                                uint32_t type,
                                const void* data,
                                uint32_t size);
    [[nodiscard]] bool DeleteValue(const std::string& name);
    // Deletes the key `path` below this one with everything below it.
    [[nodiscard]] bool DeleteKey(const std::string& path);

    // Subkeys come in name order, values in the order they were made. Fails past the end.
    [[nodiscard]] bool EnumKey(uint32_t index, std::string& name) const;
    [[nodiscard]] bool EnumValue(uint32_t index,
                                 std::string& name,
                                 uint32_t& type,
                                 uint32_t& size) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
