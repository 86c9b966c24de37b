#pragma once

#include <functional>

#include "framework/RegistryTree.h"
#include "framework/posix/RegistryFile.h"

// The per-user tree as this process sees it: the open session's, else the file's now. The key
// API's calls all come through here.

// Runs use(tree) on that tree; false when there is none to use or use says false.
[[nodiscard]] bool WithRegistryTree(const std::function<bool(RegistryTree& tree)>& use);

// Makes a write's change: in the session's tree, recorded for its Commit, or in the file at
// once. A deletion (`mustChange`) fails when it finds nothing to delete.
[[nodiscard]] bool WriteRegistryTree(RegistryChange change, bool mustChange);
