#pragma once

#include <windows.h>

#include <string>

// The shell's folder dialog, modal to `owner`, rooted at the computer's drives. On entry `path`
// is the folder to select first (any text; one that is no folder selects nothing); on a true
// result it is the picked folder's full path. False for Cancel, for a shell failure and for an
// item without a file-system path; `path` is then unchanged.
bool BrowseForFolder(HWND owner, std::string& path);
