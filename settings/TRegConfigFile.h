#pragma once

#include "framework/RegistryKey.h"
#include "settings/TConfigFile.h"

// The store in the registry: TRegConfigFile("Harrowfen\\Scrivox") keeps section "Options" in
// the key HKEY_CURRENT_USER\Software\Harrowfen\Scrivox\Options, each entry a value of it. A
// section name may hold backslashes and so name a deeper key. Texts are REG_SZ, integers
// REG_DWORD, bytes REG_BINARY; reads do not check the type.
//
// Every operation opens its key and closes it again before it returns; every one except
// HasSection makes the section's key when it is missing, reads included.
class TRegConfigFile : public TConfigFile {
public:
    explicit TRegConfigFile(const std::string& name,
                            RegistryRoot rootKey = RegistryRoot::CurrentUser);

    RegistryRoot RootKey() const { return rootKey_; }

    // From another registry store, the values are copied with their types, the deeper keys of
    // sections included.
    void CopyAllFrom(TConfigFile& other) override;
    bool HasSection(const std::string& section) override;
    size_t ListEntries(const std::string& section, char* buffer, size_t size) override;
    size_t ListSections(char* buffer, size_t size) override;
    bool DeleteSection(const std::string& section) override;
    bool DeleteEntry(const std::string& section, const std::string& entry) override;
    void Flush() override {}
    size_t ReadString(const std::string& section,
                      const std::string& entry,
                      char* buffer,
                      size_t size,
                      const char* defaultText) override;
    bool WriteString(const std::string& section,
                     const std::string& entry,
                     const char* text) override;
    bool ReadBytes(const std::string& section,
                   const std::string& entry,
                   void* buffer,
                   size_t count) override;
    bool WriteBytes(const std::string& section,
                    const std::string& entry,
                    const void* data,
                    size_t count) override;
    // Only data of exactly 4 bytes is an integer; anything else gives the default.
    int32_t ReadInteger(const std::string& section,
                        const std::string& entry,
                        int32_t defaultValue) override;
    bool WriteInteger(const std::string& section, const std::string& entry, int32_t value) override;

private:
    std::string SectionPath(const std::string& section) const;

    RegistryRoot rootKey_;
};
