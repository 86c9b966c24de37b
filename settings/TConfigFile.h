#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A per-user store of named entries grouped in named sections, with typed access. Stores are
// short-lived and cache nothing. No operation throws or shows anything: reads fall back to
// their defaults and writes report false.
//
// Buffer sizes count characters including the terminating NUL. The base class keeps every
// type as text: integers as decimal ("-12"), bytes as "%02X " groups ("01 FF "), yes/no as
// "yes" or "no".
class TConfigFile {
public:
    explicit TConfigFile(std::string storeName) : storeName_(std::move(storeName)) {}
    virtual ~TConfigFile() = default;
    TConfigFile(const TConfigFile&) = delete;
    TConfigFile& operator=(const TConfigFile&) = delete;

    // Where the store lives; for the registry kind the key path below the root.
    const std::string& StoreName() const { return storeName_; }

    // Copies every entry of every section of `other`, as text.
    virtual void CopyAllFrom(TConfigFile& other);
    virtual bool HasSection(const std::string& section);
    // Lists names into `buffer`, each followed by a NUL, the list ending with one more NUL.
    // Only whole names are written. The result is the length of the complete list without its
    // final NUL, so a result of `size` or more means the buffer was too small. No names: 0.
    virtual size_t ListEntries(const std::string& section, char* buffer, size_t size) = 0;
    virtual size_t ListSections(char* buffer, size_t size) = 0;
    virtual bool DeleteSection(const std::string& section) = 0;
    virtual bool DeleteEntry(const std::string& section, const std::string& entry) = 0;
    virtual void Flush() = 0;
    // Copies the stored text into `buffer` and returns its length. A missing entry or one too
    // long for the buffer gives `defaultText` (the empty text when null), cut to the buffer.
    virtual size_t ReadString(const std::string& section,
                              const std::string& entry,
                              char* buffer,
                              size_t size,
                              const char* defaultText) = 0;
    virtual bool WriteString(const std::string& section,
                             const std::string& entry,
                             const char* text) = 0;
    // True only when exactly `count` bytes are stored.
    virtual bool ReadBytes(const std::string& section,
                           const std::string& entry,
                           void* buffer,
                           size_t count);
    virtual bool WriteBytes(const std::string& section,
                            const std::string& entry,
                            const void* data,
                            size_t count);
    virtual int32_t ReadInteger(const std::string& section,
                                const std::string& entry,
                                int32_t defaultValue);
    virtual bool WriteInteger(const std::string& section, const std::string& entry, int32_t value);

    // "yes", "on", "true", "1" and "no", "off", "false", "0", letter case ignored; any other
    // text, and a missing entry, give the default.
    bool ReadBool(const std::string& section, const std::string& entry, bool defaultValue);
    bool WriteBool(const std::string& section, const std::string& entry, bool value);

    // The names that ListEntries and ListSections give, whatever their length.
    std::vector<std::string> EntryNames(const std::string& section);
    std::vector<std::string> SectionNames();

protected:
    // Fills a buffer as ListEntries describes.
    static size_t FillList(const std::vector<std::string>& names, char* buffer, size_t size);

private:
    std::string storeName_;
};
