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

// What kept the per-user tree's file from being used, on systems where the tree is a file.
enum class RegistryProblem {
    None,
    // Not a regular file of at most 16 MiB (a FIFO, a device, a folder, or far larger than this
    // program ever writes): its values read as missing, and no write replaces it.
    NotRegularFile,
    // Could not be read for another reason, such as permissions; no write replaces it either.
    Unreadable,
    // Another program held the writers' lock for more than 10 seconds.
    Locked,
    // The new version could not be made or put in place: a full disk, or something other than
    // a regular file where the lock or the new version goes.
    Unwritable,
};

// Batches this process's use of the per-user tree while it lives. On systems where the tree is
// a file, the file is read once, at the first use; every RegistryKey call is then answered from
// memory, and writes change that copy and are recorded until Commit. Commit (and the end of the
// session) writes the file once, and only when some write changed something: under the
// writers' lock it reads the file anew and makes the recorded writes again on what it holds
// now, so that whatever another process wrote meanwhile is kept. Until then the session sees
// its own writes but not other processes'. On Windows this does nothing: the registry is cheap
// to ask.
//
// Sessions are process-wide: one opened while another is open joins it, and only the outermost
// one ends it. Any thread's calls go to the session.
class RegistrySession {
public:
    RegistrySession();
    // Commits; a failure is lost as a failed write would be.
    ~RegistrySession();
    RegistrySession(const RegistrySession&) = delete;
    RegistrySession& operator=(const RegistrySession&) = delete;

    // Stores the writes made since the last Commit. False when they could not all be kept:
    // the file could not be read or replaced (it then stays as it was; Problem says why), or a
    // key written to was deleted by another process meanwhile. Writes that could not be kept are
    // dropped, and the next call reads the file again. The session stays open either way.
    [[nodiscard]] bool Commit();
    // Drops the writes made since the last Commit: they never reach the file, and later reads
    // read the file again. On Windows, where writes reach the registry at once, nothing.
    void Abandon();

    // What the session last ran into at the file: at reading it, or at a Commit that had
    // something to store. None when that went well, and always on Windows.
    RegistryProblem Problem() const;
    // The file that holds the tree; empty on Windows, or when there is no home folder.
    std::string FilePath() const;
};
