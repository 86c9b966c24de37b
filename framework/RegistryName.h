#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

// Registry names compare as the registry compares them: ASCII letters without regard to case,
// every other byte as it is. "Ab" equals "aB"; "caf\xe9" differs from "CAF\xc9"; in name order
// "a" < "B" < "b_" and "Z" < "_".
inline unsigned char RegistryUpper(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

struct RegistryNameEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return RegistryUpper(x) == RegistryUpper(y); });
    }
};

struct RegistryNameLess {
    bool operator()(std::string_view a, std::string_view b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char x, char y) { return RegistryUpper(x) < RegistryUpper(y); });
    }
};

// FNV-1a over the upper-cased bytes, so that names equal but for case hash alike.
inline uint32_t RegistryNameHash(std::string_view s) {
    uint64_t h = 14695981039346656037ull;
    for (char c : s)
        h = (h ^ RegistryUpper(c)) * 1099511628211ull;
    return static_cast<uint32_t>(h ^ h >> 32);
}
