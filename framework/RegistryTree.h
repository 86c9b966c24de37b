#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/NamedList.h"

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
//
// Listing a key's values or subkeys by position (and so Format) may tidy its lists, so even
// const use of one tree needs one thread at a time.
class RegistryTree {
public:
    struct Value {
        std::string name;
        uint32_t type = 0;
        std::string data;

        friend const std::string& NameOf(const Value& v) { return v.name; }
    };

    // Names are fixed when made and keep the letter case they were first given. Finding by name
    // takes constant time, so that a file with many values or keys reads in linear time.
    class Key {
    public:
        explicit Key(std::string name = std::string()) : name_(std::move(name)) {}

        const std::string& Name() const { return name_; }

        // Values in the order they were made.
        size_t ValueCount() const { return values_.Size(); }
        const Value& ValueAt(size_t index) const { return values_.At(index); }
        const Value* FindValue(std::string_view valueName) const;
        // Makes the value, or gives the one of that name a new type and data. False when the
        // value was there already with that type and data.
        bool SetValue(const std::string& valueName, uint32_t type, std::string data);
        bool RemoveValue(std::string_view valueName);

        // Subkeys in name order, letter case ignored.
        size_t SubkeyCount() const { return subkeys_.Size(); }
        const Key& SubkeyAt(size_t index) const { return subkeys_.At(index); }
        Key* FindSubkey(std::string_view subkeyName);
        const Key* FindSubkey(std::string_view subkeyName) const;
        Key& AddSubkey(const std::string& subkeyName);  // or the one of that name
        bool RemoveSubkey(std::string_view subkeyName);

        friend const std::string& NameOf(const Key& k) { return k.name_; }

    private:
        std::string name_;
        NamedList<Value, false> values_;
        NamedList<Key, true> subkeys_;
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
