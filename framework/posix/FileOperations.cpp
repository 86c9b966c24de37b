#include "framework/FileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/FileError.h"
#include "framework/FileLocation.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "framework/posix/ExtendedAttributes.h"
#include "framework/posix/FileHelpers.h"
#include "framework/posix/UniqueFd.h"

namespace {

// Gives the copy what the original has, as far as that gives nobody more than the original
// did: with the original's owner and group, everything; without them (the process may not give
// them), permissions for the copy's owner alone, no set-id bit, and no access control list,
// whose entries would then speak of other users and groups.
bool GiveOwnerAndAccess(int copy, int original, const struct stat& st) {
    bool owner = st.st_uid == ::geteuid() && st.st_gid == ::getegid();
    if (!owner)
        owner = ::fchown(copy, st.st_uid, st.st_gid) == 0;
    mode_t mode = st.st_mode & 07777;
    if (owner) {
        // An access control list that could not be given leaves the group class as wide as
        // its mask: the copy then keeps to its owner.
        if (!CopyExtendedAttributes(original, copy, AclCopy::Include))
            mode &= S_IRWXU;
    } else {
        (void)CopyExtendedAttributes(original, copy, AclCopy::Leave);
        mode &= S_IRWXU;
    }
    return ::fchmod(copy, mode) == 0;
}

}  // namespace

bool CopyToBackup(TFile& source, const TFileName& file, const std::string& name) {
    const int in = static_cast<int>(source.NativeHandle());
    struct stat st;
    if (!source.IsOpen() || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode))
        return SystemFailure();
    // Beside the name the walk listed, or the plain path's folder as it is now.
    TFolder own;
    const TFolder* folder = nullptr;
    if (!LocateListingFolder(file, own, folder))
        return SystemFailure();
    const int dir = folder->Descriptor();
    std::string tempName;
    UniqueFd copy = CreateHiddenTempAt(dir, tempName);
    if (!copy)
        return SystemFailure();
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    bool ok = CopyFdContent(in, copy.Get()) && GiveOwnerAndAccess(copy.Get(), in, st) &&
              ::futimens(copy.Get(), times) == 0 && ::fsync(copy.Get()) == 0;
    ok = (copy.Close() || SystemFailure()) && (ok || SystemFailure());
    // The copy takes the name when whole; a link of that name is replaced, not written through.
    ok = ok && (::renameat(dir, tempName.c_str(), dir, name.c_str()) == 0 || SystemFailure());
    if (!ok)
        ::unlinkat(dir, tempName.c_str(), 0);
    return ok;
}

bool LinkOpenFile(const TFile& file, const TFolder& folder, const std::string& name) {
    // The kernel's name for the open file leads to its inode, not to its name.
    const std::string self = "/proc/self/fd/" + std::to_string(file.NativeHandle());
    return (file.IsOpen() && ::linkat(AT_FDCWD, self.c_str(), folder.Descriptor(), name.c_str(),
                                      AT_SYMLINK_FOLLOW) == 0) ||
           SystemFailure();
}

bool MoveFileBetween(const TFolder& from,
                     const std::string& name,
                     const TFolder& to,
                     const std::string& toName) {
    return ::renameat(from.Descriptor(), name.c_str(), to.Descriptor(), toName.c_str()) == 0 ||
           SystemFailure();
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || ::rmdir(path.c_str()) == 0;
}
