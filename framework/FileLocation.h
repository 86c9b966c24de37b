#pragma once

#include <string>

class TFileName;
class TFolder;

// The open folder that holds `file` and the file's name there. For a name the walk handed over,
// the walk's own (the link target's, for a link). For a plain path, the path's folder is opened
// now into `own`, links on the way followed as the user named them, and a link at the end is
// followed to its target. `folder` then points to the walk's folder or to `own`.
[[nodiscard]] bool LocateFile(const TFileName& file,
                              TFolder& own,
                              const TFolder*& folder,
                              std::string& name);

// The open folder the walk listed `file` in, or, for a plain path, the path's folder opened now
// into `own`.
[[nodiscard]] bool LocateListingFolder(const TFileName& file, TFolder& own, const TFolder*& folder);
