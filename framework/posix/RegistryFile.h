#pragma once

#include <functional>
#include <string>

#include "framework/RegistryKey.h"
#include "framework/RegistryTree.h"

// The per-user tree's file. Readers take no lock and rely on rename being atomic. A writer
// holds the writers' lock while it reads the file, changes the tree and renames a synced new
// version over it, so that writers in several processes lose none of each other's changes and
// nobody ever sees half a file.
//
// The file is hostile until checked: whatever stands at its name is opened only when it is a
// regular file (a link to one is followed, as users keep dotfiles as links), and at most
// kMaxRegistryFileSize bytes are read. A rewrite never writes through a link: the new version
// is made afresh and renamed over the name, which replaces a link there with the file.

inline constexpr long long kMaxRegistryFileSize = 16 << 20;

// One write's change to a tree: false when it cannot be made (its key is missing); `changed`
// tells whether it changed anything. Closures own what they use, as a session keeps them.
using RegistryChange = std::function<bool(RegistryTree& tree, bool& changed)>;

// Reads the tree in `file`. A missing file is an empty tree; anything else that cannot be read
// is a problem, so that a file that could not be read is never replaced by one that lacks its
// content.
[[nodiscard]] RegistryProblem ReadRegistryFile(const std::string& file, RegistryTree& tree);

// Runs change(tree, changed) on the tree of the file in `folder` under the writers' lock, and
// stores the tree when change says true and that it changed it. `result`, when given, gets the
// tree as changed.
[[nodiscard]] RegistryProblem UpdateRegistryFile(const std::string& folder,
                                                 const RegistryChange& change,
                                                 RegistryTree* result = nullptr);
