#include "engine/FileRecurser.h"

#include <algorithm>

#include "engine/FileProcessorBase.h"
#include "engine/NameRules.h"
#include "engine/RunObserver.h"
#include "framework/FileAttributes.h"
#include "framework/FileError.h"
#include "framework/PathSyntax.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFileNameIterator.h"
#include "framework/TFolder.h"

namespace {

constexpr uint32_t kNotHandedOver =
    kAttrDirectory | kAttrHidden | kAttrReadOnly | kAttrSpecial | kAttrLink;

}  // namespace

FileRecurser::FileRecurser(std::string path,
                           std::string_view filterText,
                           bool subfolders,
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

FileRecurser::~FileRecurser() = default;

bool FileRecurser::Recurse() {
    folders_.clear();
    handed_.Clear();
    stopped_ = false;
    std::vector<std::string> items;
    for (const Filter& filter : Filters)
        items.push_back(filter.Mask);
    rules_.reset(new NameRules(items));
    if (Path.empty())
        return true;
    // A folder typed with a trailing separator (a drive's root) gets no second one. The folder
    // opened is the one the names below are made from: "C:" walks the drive's root, where its
    // files are named "C:\name", not the drive's current folder.
    if (!IsPathSeparator(Path.back()))
        Path += kPathSeparator;
    TFolder folder;
    if (!folder.Open(Path))
        return true;  // gone, or not to be read: nothing in it is found
    (void)folder.RealPath(rootPath_);
    Walk(folder);
    return true;
}

void FileRecurser::Walk(TFolder& folder) {
    FileIdentity identity;
    if (!folder.GetIdentity(identity) || !folders_.insert(identity).second)
        return;
    ClearFileError();
    if (!folder.List()) {
        Path.pop_back();
        FolderFailed();  // what could be read is walked
        Path += kPathSeparator;
    }
    const size_t nameStart = Path.size();

    // Links to folders are not entered: one that leads inside the chosen folder leads to a
    // folder the walk reaches under its own name, and nothing outside is walked. Neither are
    // version-control folders and the folders the list leaves out.
    if (Subfolders) {
        for (size_t i = 0; i < folder.EntryCount(); ++i) {
            if (!folder.EntryIsFolder(i) || rules_->ExcludesFolder(folder.EntryName(i)))
                continue;
            if (StopNow())
                return;
            Path.resize(nameStart);
            Path += folder.EntryName(i);
            TFolder sub;
            ClearFileError();
            if (!sub.OpenSubfolder(folder, folder.EntryName(i))) {
                FolderFailed();
                continue;
            }
            Path += kPathSeparator;
            Walk(sub);
            if (stopped_)
                return;
        }
    }
    Path.resize(nameStart);
    if (Observer)
        Observer->FolderEntered(Path);

    // However the walk leaves the folder's files, the processor hears of it while it is open.
    struct FolderDone {
        FileProcessorBase* processor;
        ~FolderDone() { processor->FolderDone(); }
    } done{Processor};
    TFolder holder;  // a link target's folder, for the file being handed over
    std::string target;
    // A name that two filters match is handed over once, even when the file under it is
    // another by the second time (the processor put a new one in its place).
    std::vector<bool> handedHere(folder.EntryCount());
    const bool readsFiles = Processor->ReadsFiles();
    for (const std::string& mask : rules_->Includes()) {
        for (TFileNameIterator it(folder, mask); it.Next();) {
            EntryStatus status;
            target.clear();
            // A processor that reads the file gets it open, where the listing says it is a
            // file; what it does not take is closed with the next name.
            TFile opened;
            if (handedHere[it.Index()] || rules_->ExcludesFile(it.Name()) ||
                (!(readsFiles && folder.EntryIsFile(it.Index()) &&
                   opened.OpenListed(folder, it.Name(), status)) &&
                 !folder.EntryStatusOf(it.Index(), status)) ||
                ((status.attributes & kAttrLink) &&
                 !FollowInside(folder, it.Name(), holder, target, status)) ||
                (status.attributes & kNotHandedOver))
                continue;
            // However many names, links and filters lead to a file, it is handed over once.
            handedHere[it.Index()] = true;
            if (!handed_.Insert(status.identity))
                continue;
            if (StopNow())
                return;
            Path.resize(nameStart);
            Path += it.Name();
            TFileName file(Path);
            file.SetFoundIn(&folder, status.identity);
            if (status.stamped)
                file.SetSeenStamp(status.size, status.lastWrite);
            if (opened.IsOpen())
                file.SetOpened(&opened);
            if (!target.empty())
                file.SetLinkTarget(&holder, target.c_str());
            Processor->ProcessFile(file);
        }
    }
}

bool FileRecurser::StopNow() {
    if (!stopped_ && Observer && Observer->StopWanted())
        stopped_ = true;
    return stopped_;
}

void FileRecurser::FolderFailed() {
    if (Observer)
        Observer->Failed(Path, DescribeFileError("cannot be listed"));
}

bool FileRecurser::FollowInside(const TFolder& folder,
                                const char* name,
                                TFolder& holder,
                                std::string& target,
                                EntryStatus& status) {
    const uint32_t hidden = status.attributes & kAttrHidden;
    if (!folder.FollowLink(name, holder, target) || !holder.StatusOf(target.c_str(), status))
        return false;
    status.attributes |= hidden;
    // Nothing outside the chosen folder is acted on, whatever a link in it says. Every folder
    // walked so far lies inside; the chosen folder itself is the first of them.
    if (rules_->ExcludesFile(target) || !holder.LiesWithin(folders_))
        return false;
    // Nor anything in a folder the walk does not enter; where the folder's place cannot be
    // told, the link is not followed.
    std::string where;
    if (!holder.RealPath(where) || rootPath_.empty() ||
        where.compare(0, rootPath_.size(), rootPath_) != 0)
        return false;
    return !rules_->ExcludesAnyFolderOf(std::string_view(where).substr(rootPath_.size()));
}
