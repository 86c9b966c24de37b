// The wildcard matcher against a slow matcher that follows the documented rules word for word.
// Input: pattern length byte, the pattern, then the name. Sizes are capped so that the
// reference's memo table stays small.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "framework/WildcardMatch.h"

namespace {

constexpr size_t kMaxPattern = 32;
constexpr size_t kMaxName = 64;

char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Does p[pi..] match n[ni..]? "*" any run, also none; "?" one byte; letters by ASCII case.
// memo: 0 unknown, 1 no, 2 yes.
struct Slow {
    std::string_view p, n;
    uint8_t memo[kMaxPattern + 3][kMaxName + 1];

    bool Match(size_t pi, size_t ni) {
        uint8_t& m = memo[pi][ni];
        if (m == 0)
            m = Decide(pi, ni) ? 2 : 1;
        return m == 2;
    }
    bool Decide(size_t pi, size_t ni) {
        if (pi == p.size())
            return ni == n.size();
        if (p[pi] == '*')
            return Match(pi + 1, ni) || (ni < n.size() && Match(pi, ni + 1));
        if (ni == n.size())
            return false;
        return (p[pi] == '?' || Fold(p[pi]) == Fold(n[ni])) && Match(pi + 1, ni + 1);
    }
};

bool Matches(std::string_view pattern, std::string_view name) {
    static Slow slow;
    std::memset(slow.memo, 0, sizeof slow.memo);
    slow.p = pattern;
    slow.n = name;
    return slow.Match(0, 0);
}

bool Expected(std::string_view pattern, std::string_view name) {
    if (pattern.empty())
        return false;
    if (pattern == "*.*")
        return true;
    if (Matches(pattern, name))
        return true;
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
           Matches(pattern.substr(0, pattern.size() - 2), name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t patternLength = data[0] % (kMaxPattern + 1);
    if (size - 1 < patternLength)
        return 0;
    const std::string_view pattern(reinterpret_cast<const char*>(data) + 1, patternLength);
    const std::string_view name(reinterpret_cast<const char*>(data) + 1 + patternLength,
                                size - 1 - patternLength);
    // A directory never lists an empty name, and the reference's table has its bounds.
    if (name.empty() || name.size() > kMaxName)
        return 0;
    if (WildcardMatch(pattern, name) != Expected(pattern, name)) {
        std::fprintf(stderr, "wildcard fault: pattern '%.*s' name '%.*s': expected %d\n",
                     static_cast<int>(pattern.size()), pattern.data(),
                     static_cast<int>(name.size()), name.data(), Expected(pattern, name));
        std::abort();
    }
    return 0;
}
