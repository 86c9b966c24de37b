#include "framework/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

std::string UserStateFolder() {
    // A relative XDG_STATE_HOME is to be ignored, as the base directory rules say.
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    std::string home;
    if (const char* env = std::getenv("HOME"))
        home = env;
    if (home.empty() || home[0] != '/') {
        const passwd* pw = ::getpwuid(::geteuid());
        home = pw && pw->pw_dir ? pw->pw_dir : "";
    }
    if (home.empty() || home[0] != '/')
        return std::string();
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home + "/.local/state";
}
