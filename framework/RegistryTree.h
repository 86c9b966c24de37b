#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A tree of keys holding typed values, in memory, and its text form, the REGEDIT4 format:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Harrowfen\Scrivox\Options]
//   "Subfolders"="yes"                    text (kRegString); \ and " escaped with a backslash
//   "Action"=dword:00000002               4-byte value (kRegDword)
//   "Blob"=hex:01,02,ff                   bytes (kRegBinary)
//   "Odd"=hex(1):61,0a,62,00              any other type, or text that a quoted line cannot hold
//   @="x"                                 the key's default value (empty name)
//
// The top-level keys are the roots ("HKEY_CURRENT_USER"). Every key that exists gets its own
// section, parents before children; a root's section appears only when it holds values.
// Reading is forgiving: a line that cannot be parsed is left out, and so are the values below a
// section header that cannot be parsed, so that a damaged file never lands values in the wrong
// key. The bytes of names and texts are kept as they are, whatever their encoding.
class RegistryTree {
public:
    struct Value {
        std::string name;
        uint32_t type = 0;
        std::string data;
    };
    struct Key {
        std::string name;
        std::vector<Value> values;  // in the order they were made
        std::vector<Key> subkeys;   // in name order, letter case ignored

        Key* FindSubkey(const std::string& subkeyName);
        Value* FindValue(const std::string& valueName);
        Key& AddSubkey(const std::string& subkeyName);  // or the one of that name
        void SetValue(const std::string& valueName, uint32_t type, std::string data);
        bool RemoveValue(const std::string& valueName);
        bool RemoveSubkey(const std::string& subkeyName);
    };

    static RegistryTree Parse(const std::string& text);
    std::string Format() const;

    // Splits a key path at its backslashes. False when a name is empty or holds a character
    // the text form cannot carry in a section header (NUL, CR, LF), or when the path is deeper
    // than the registry allows (512 keys). An empty path gives no names.
    static bool SplitPath(const std::string& path, std::vector<std::string>& names);

    // `path` starts with a root's name. Null when the path is invalid or the key is missing.
    Key* Find(const std::string& path);
    // Makes the key and every missing key on the way; `created` tells whether one was made.
    Key* FindOrCreate(const std::string& path, bool& created);
    bool Remove(const std::string& path);

private:
    Key top_;  // nameless; its subkeys are the roots
};

// Key and value names compare as the registry does, ASCII letters without regard to case.
bool SameRegistryName(const std::string& a, const std::string& b);
