#include "framework/posix/RegistryFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string RegistryFolder() {
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/scrivox";
    std::string home;
    if (const char* env = std::getenv("HOME"))
        home = env;
    if (home.empty()) {
        const passwd* pw = ::getpwuid(::getuid());
        if (pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.config/scrivox";
}

bool MakeRegistryFolder(const std::string& folder) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
