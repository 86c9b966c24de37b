#pragma once

#include <string>

// Where this user's program state is kept, which is not configuration and may be lost without
// harm: ${XDG_STATE_HOME:-~/.local/state} on POSIX, %LOCALAPPDATA% on Windows. An absolute path
// without a trailing separator; empty when there is none.
std::string UserStateFolder();
