#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/FileIdentity.h"
#include "framework/IdentitySet.h"
#include "framework/TFolder.h"

class FileProcessorBase;
class NameRules;
class RunObserver;

// Walks a folder and, when asked, every folder below it, handing each file that matches one of
// the filters to the processor. Depth first: a folder's subfolders are walked before its own
// files, and its files are handed over filter by filter, in the order of the folder's listing.
// Each folder is listed once, at its start, so nothing made in it meanwhile (a backup, a
// temporary file) is handed over. Hidden and read-only files are skipped; every subfolder is
// entered, hidden ones too.
//
// Each file is handed over at most once per walk, however it is reached: by two filters, by a
// second hard link, through a link. A link to a file is followed only to a file inside the
// chosen folder (by identity, not by name); links to folders are not entered, since one inside
// leads to a folder the walk reaches under its own name. The name handed over knows the open
// folders it was found in and the file seen there (see TFileName); a processor that keeps a
// copy keeps a plain path.
//
// Filters are name patterns separated by ";", taken exactly as typed: "*.cpp; *.h" finds the
// .cpp files and the names that begin with " " and end in .h. An empty filter, or one that holds
// a path separator, finds nothing. An item that begins with "!" leaves names out, and one that
// also ends with a separator leaves folders out; version-control folders are never entered
// (see NameRules).
class FileRecurser {
public:
    class Filter {
    public:
        void Set(std::string_view mask) { Mask = std::string(mask); }
        std::string Mask;
    };

    FileRecurser(std::string path,
                 std::string_view filterText,
                 bool subfolders,
                 FileProcessorBase* processor);
    ~FileRecurser();

    // Every level of the walk appends to the one working path, so Recurse is not re-entrant.
    bool Recurse();
    // The observer asked the last walk to stop, and it did, between two files.
    bool Stopped() const { return stopped_; }

    // The working path: the folder being walked, a separator and what was last appended.
    std::string Path;
    int FilterCount = 0;
    std::vector<Filter> Filters;
    bool Subfolders;
    FileProcessorBase* Processor;
    // Told of each folder that cannot be opened or listed, and of each folder entered, and
    // asked between files whether to stop; none by default.
    RunObserver* Observer = nullptr;

private:
    void Walk(TFolder& folder);
    // Asks the observer, and remembers a yes.
    bool StopNow();
    // Tells the observer that the folder in Path cannot be walked.
    void FolderFailed();
    // Follows a link to a file inside the chosen folder: `holder` gets the target's folder,
    // `target` its name there, `status` its status. False for anything else.
    bool FollowInside(const TFolder& folder,
                      const char* name,
                      TFolder& holder,
                      std::string& target,
                      EntryStatus& status);

    // The folders listed so far, all inside the chosen folder.
    FolderSet folders_;
    // The files handed over so far.
    IdentitySet handed_;
    // The filters' items as names taken and left out.
    std::unique_ptr<NameRules> rules_;
    // Where the chosen folder really is, for telling where a link leads within it.
    std::string rootPath_;
    bool stopped_ = false;
};
