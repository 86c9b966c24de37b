#pragma once

#include <string>

// Where the per-user tree's file lives: ${XDG_CONFIG_HOME:-$HOME/.config}/scrivox/user.reg,
// with its writers' lock and its next version beside it.

// The folder the environment names now; empty when there is no home folder to put it in.
std::string RegistryFolder();

inline std::string RegistryFileIn(const std::string& folder) {
    return folder + "/user.reg";
}

// Makes the folder and its missing parents, private to the user.
[[nodiscard]] bool MakeRegistryFolder(const std::string& folder);
