#include "engine/NameRules.h"

#include "framework/PathSyntax.h"
#include "framework/WildcardMatch.h"

namespace {

bool HasSeparator(std::string_view s) {
    return s.find_first_of("\\/") != std::string_view::npos;
}

bool MatchesAny(const std::vector<std::string>& patterns, std::string_view name) {
    for (const std::string& p : patterns)
        if (WildcardMatch(p, name))
            return true;
    return false;
}

}  // namespace

NameRules::NameRules(const std::vector<std::string>& items) {
    for (const std::string& item : items) {
        if (item.empty() || item[0] != '!') {
            if (!item.empty() && !HasSeparator(item))
                includes_.push_back(item);
            continue;
        }
        std::string_view pattern = std::string_view(item).substr(1);
        const bool folders = !pattern.empty() && (pattern.back() == '/' || pattern.back() == '\\');
        if (folders)
            pattern.remove_suffix(1);
        if (pattern.empty() || HasSeparator(pattern))
            continue;
        (folders ? folderExclusions_ : fileExclusions_).emplace_back(pattern);
    }
}

bool NameRules::ExcludesFile(std::string_view name) const {
    return MatchesAny(fileExclusions_, name);
}

bool NameRules::ExcludesFolder(std::string_view name) const {
    return IsVersionControlFolder(name) || MatchesAny(folderExclusions_, name);
}

bool NameRules::ExcludesAnyFolderOf(std::string_view path) const {
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start && ExcludesFolder(path.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

bool IsVersionControlFolder(std::string_view name) {
    for (std::string_view vcs : {".git", ".hg", ".svn", ".bzr", "_darcs"})
        if (SameFileName(name, vcs))
            return true;
    return false;
}
