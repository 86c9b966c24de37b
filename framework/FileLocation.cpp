#include "framework/FileLocation.h"

#include "framework/FileAttributes.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"

bool LocateFile(const TFileName& file, TFolder& own, const TFolder*& folder, std::string& name) {
    if (file.Holder()) {
        folder = file.Holder();
        name = file.NameInHolder();
        return true;
    }
    name = std::string(file.NameAndExtension());
    EntryStatus status;
    if (name.empty() || !LocateListingFolder(file, own, folder) ||
        !own.StatusOf(name.c_str(), status))
        return false;
    if (!(status.attributes & kAttrLink))
        return true;
    TFolder holder;
    std::string target;
    if (!own.FollowLink(name.c_str(), holder, target))
        return false;
    own = std::move(holder);
    name = std::move(target);
    return true;
}

bool LocateListingFolder(const TFileName& file, TFolder& own, const TFolder*& folder) {
    folder = file.FoundIn();
    if (folder)
        return true;
    const std::string path(file.Folder());
    if (!own.Open(path.empty() ? "." : path))
        return false;
    folder = &own;
    return true;
}
