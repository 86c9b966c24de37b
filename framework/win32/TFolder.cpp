#include "framework/TFolder.h"

TFolder::~TFolder() = default;

bool TFolder::Open(const std::string& path) {
    // Searches take paths here, so the folder is only named: a missing one finds nothing, as a
    // search of it by path would.
    path_ = path;
    search_ = nullptr;
    return true;
}

bool TFolder::GetIdentity(FileIdentity& identity) const {
    return GetFileIdentity(path_, identity);
}
