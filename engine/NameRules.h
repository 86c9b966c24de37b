#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which names a walk takes and which it leaves out, from the items of a filter list:
//   "*.js;!*.min.js"        takes app.js, leaves app.min.js
//   "*.*;!node_modules/"    takes every name, enters no folder named node_modules, at any
//                           depth ("!node_modules\" the same)
//   "!*.min.js"             takes nothing: a list made only of exclusions
// Exclusions apply to every item that takes names, whatever the order. Version-control folders
// (.git, .hg, .svn, .bzr, _darcs; on Windows in any case) are never entered, whatever the list.
class NameRules {
public:
    // `items` are the filter list's items as typed; "!" alone, and an item that holds a path
    // separator (other than an exclusion's last character), finds and leaves out nothing.
    explicit NameRules(const std::vector<std::string>& items);

    // The patterns that take names, in the list's order.
    const std::vector<std::string>& Includes() const { return includes_; }
    // Whether a file of this name is left out.
    bool ExcludesFile(std::string_view name) const;
    // Whether a folder of this name is not entered.
    bool ExcludesFolder(std::string_view name) const;
    // Whether any folder of a relative path ("a/b/c", either separator) is not entered.
    bool ExcludesAnyFolderOf(std::string_view path) const;

private:
    std::vector<std::string> includes_, fileExclusions_, folderExclusions_;
};

// .git, .hg, .svn, .bzr, _darcs.
bool IsVersionControlFolder(std::string_view name);
