#include "engine/FileRecurser.h"

#include <algorithm>
#include <cstring>

#include "engine/FileProcessorBase.h"
#include "framework/FileAttributes.h"
#include "framework/PathSyntax.h"
#include "framework/TFileName.h"
#include "framework/TFileNameIterator.h"
#include "framework/TFolder.h"

namespace {

bool IsUsableMask(const std::string& mask) {
    return !mask.empty() && mask.find_first_of("\\/") == std::string::npos;
}

}  // namespace

FileRecurser::FileRecurser(std::string path, std::string_view filterText, bool subfolders,
                           FileProcessorBase* processor)
    : Path(std::move(path)), Subfolders(subfolders), Processor(processor) {
    FilterCount = 1 + static_cast<int>(std::count(filterText.begin(), filterText.end(), ';'));
    Filters.resize(static_cast<size_t>(FilterCount));
    size_t start = 0;
    for (Filter& filter : Filters) {
        size_t semicolon = filterText.find(';', start);
        filter.Set(filterText.substr(start, semicolon - start));
        start = semicolon + 1;
    }
}

bool FileRecurser::Recurse() {
    // A folder typed with a trailing separator (a drive's root) gets no second one.
    size_t separator = Path.size();
    if (separator > 0 && IsPathSeparator(Path[separator - 1]))
        --separator;
    Path.resize(separator);
    Path += kPathSeparator;
    const size_t nameStart = Path.size();

    // One open folder serves the level's searches: the subfolders' and each filter's.
    TFolder folder;
    if (!folder.Open(Path))
        return true;  // gone, or not to be read: nothing in it is found
    FileIdentity identity;
    bool known = folder.GetIdentity(identity);
    if (known && std::find(ancestors_.begin(), ancestors_.end(), identity) != ancestors_.end())
        return true;  // a link back to a folder this walk is inside of
    if (known)
        ancestors_.push_back(identity);

    if (Subfolders) {
        for (TFileNameIterator it(folder, "*.*"); it.Next();) {
            const char* name = it.Name();
            if (!it.IsDirectory() || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            Path.resize(nameStart);
            Path += name;
            Recurse();
        }
    }
    if (known)
        ancestors_.pop_back();

    for (const Filter& filter : Filters) {
        if (!IsUsableMask(filter.Mask))
            continue;
        handed_.clear();
        for (TFileNameIterator it(folder, filter.Mask); it.Next();) {
            if (it.Attributes() & (kAttrDirectory | kAttrHidden | kAttrReadOnly | kAttrSpecial))
                continue;
            // A file replaced under its name during the search may be listed again; one search
            // hands each name over once.
            if (!handed_.insert(it.Name()).second)
                continue;
            Path.resize(nameStart);
            Path += it.Name();
            // The search has just seen a regular file under the name (POSIX: the status read
            // by Attributes()).
            TFileName file(Path);
            file.SetFoundIn(&folder, true);
            Processor->ProcessFile(file);
        }
    }
    return true;
}
