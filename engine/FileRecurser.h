#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "framework/FileIdentity.h"

class FileProcessorBase;

// Walks a folder and, when asked, every folder below it, handing each file that matches one of
// the filters to the processor. Depth first: a folder's subfolders are walked before its own
// files, and its files are handed over filter by filter, in the order the search returns them,
// so a file that matches two filters is handed over twice. Hidden and read-only files are
// skipped; every subfolder is entered, hidden ones too. The name handed over knows the open
// folder it was found in and that it was a regular file then (see TFileName); a processor that
// keeps a copy keeps a plain path.
//
// Filters are name patterns separated by ";", taken exactly as typed: "*.cpp; *.h" finds the
// .cpp files and the names that begin with " " and end in .h. An empty filter, or one that holds
// a path separator, finds nothing.
class FileRecurser {
public:
    class Filter {
    public:
        void Set(std::string_view mask) { Mask = std::string(mask); }
        std::string Mask;
    };

    FileRecurser(std::string path, std::string_view filterText, bool subfolders,
                 FileProcessorBase* processor);

    // Every level of the walk appends to the one working path, so Recurse is not re-entrant.
    bool Recurse();

    // The working path: the folder being walked, a separator and what was last appended.
    std::string Path;
    int FilterCount = 0;
    std::vector<Filter> Filters;
    bool Subfolders;
    FileProcessorBase* Processor;

private:
    // The folders on the current walk's path, so that a link back to one is not entered again.
    std::vector<FileIdentity> ancestors_;
    // The names the current filter search has handed over.
    std::unordered_set<std::string> handed_;
};
