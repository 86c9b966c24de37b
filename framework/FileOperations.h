#pragma once

#include <string>

class TFile;
class TFileName;
class TFolder;

// Makes `name`, in the folder the walk listed `file` in (for a plain path, the path's own
// folder), a copy of everything `source` holds: `file` as it was read, not whatever its name
// leads to by now. The copy is made under a temporary name and takes the name when whole, so a
// file of that name is always whole, and a link of that name is replaced, never written through.
// It keeps the original's last-write time, and its owner, permissions, extended attributes and
// access control lists where the process can give them; where it cannot give the owner, the copy
// is readable by its owner alone and carries no set-user-id or set-group-id bit, so that it never
// gives anyone more than the original did.
[[nodiscard]] bool CopyToBackup(TFile& source, const TFileName& file, const std::string& name);

// Gives the open file `file` the name `name` in `folder` as well, without copying its content:
// the very file that is open, whatever its own name leads to by now. False where the system
// cannot (another file system, a file the user may not link, Windows): the caller copies.
[[nodiscard]] bool LinkOpenFile(const TFile& file, const TFolder& folder, const std::string& name);

// Moves the file `name` of `from` to `toName` in `to`, in one step, taking the place of what is
// there; neither name is followed if a link. Only within one file system.
[[nodiscard]] bool MoveFileBetween(const TFolder& from,
                                   const std::string& name,
                                   const TFolder& to,
                                   const std::string& toName);

// Removes a file, or an empty folder of that name.
[[nodiscard]] bool RemoveFile(const std::string& path);
