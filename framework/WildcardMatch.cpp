#include "framework/WildcardMatch.h"

namespace {

unsigned char Fold(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Greedy match with one backtrack point: the last '*' seen. Linear in practice, never recursive.
bool Match(std::string_view p, std::string_view n) {
    size_t pi = 0, ni = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() &&
                   (p[pi] == '?' || Fold(static_cast<unsigned char>(p[pi])) ==
                                        Fold(static_cast<unsigned char>(n[ni])))) {
            ++pi;
            ++ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern.empty() || name.empty())
        return false;
    if (Match(pattern, name))
        return true;
    // "name.*" also finds "name": the extension part may be missing altogether.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
        return Match(pattern.substr(0, pattern.size() - 2), name);
    return false;
}
