#include "ui/PreviewCollector.h"

#include "engine/UnifiedDiff.h"
#include "framework/PathSyntax.h"

namespace {

// "1 MiB", "64 KiB", "100 bytes": the limits are whole units.
std::string SizeText(size_t bytes) {
    if (bytes >= (size_t{1} << 20))
        return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024)
        return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// A name as a diff's header line carries it: a line feed or other control character in a name
// would start a line of its own there, posing as part of the diff.
std::string HeaderLabel(const std::string& path) {
    std::string label = path;
    for (char& c : label) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return label;
}

}  // namespace

PreviewCollector::PreviewCollector(const std::string& folder,
                                   Action action,
                                   size_t maxFileShown,
                                   size_t maxKept)
    // The walk adds a separator unless the folder ends with one.
    : prefix_(folder.empty() ? 0 : folder.size() + (IsPathSeparator(folder.back()) ? 0 : 1)),
      action_(action),
      maxFileShown_(maxFileShown),
      maxKept_(maxKept) {}

std::string PreviewCollector::Relative(const std::string& path) const {
    return path.size() > prefix_ ? path.substr(prefix_) : path;
}

void PreviewCollector::FileChanged(const std::string& path, uint64_t replacements) {
    PreviewFile file;
    const std::string relative = Relative(path);
    size_t slash = relative.size();
    while (slash > 0 && !IsPathSeparator(relative[slash - 1]))
        --slash;
    file.name = relative.substr(slash);
    file.folder = slash > 1 ? relative.substr(0, slash - 1) : ".";
    file.replacements = replacements;
    const auto shown = pending_.find(path);
    if (shown != pending_.end()) {
        file.shown = shown->second.shown;
        file.diff = std::move(shown->second.diff);
        pending_.erase(shown);
    } else {
        // A Find change is shown unless the diffs kept had reached the limit before its file.
        file.shown =
            action_ == Action::Touch ? PreviewFile::Shown::Touched : PreviewFile::Shown::OverBudget;
    }
    files_.push_back(std::move(file));
}

size_t PreviewCollector::ContentWanted() const {
    return kept_ < maxKept_ ? maxFileShown_ : 0;
}

void PreviewCollector::ChangeShown(const std::string& path,
                                   const std::string* oldText,
                                   const std::string* newText) {
    Shown& shown = pending_[path];
    if (!oldText || !newText) {
        shown.shown =
            kept_ < maxKept_ ? PreviewFile::Shown::TooLarge : PreviewFile::Shown::OverBudget;
        return;
    }
    if (oldText->find('\0') != std::string::npos || newText->find('\0') != std::string::npos) {
        shown.shown = PreviewFile::Shown::Binary;
        return;
    }
    const std::string label = HeaderLabel(Relative(path));
    std::string diff = UnifiedDiff(*oldText, *newText, label, label, false);
    if (diff.size() > maxKept_ - kept_) {
        // The first that does not fit ends the keeping, so that what is shown is a prefix of
        // the run and never a scattering of small files.
        kept_ = maxKept_;
        shown.shown = PreviewFile::Shown::OverBudget;
        return;
    }
    kept_ += diff.size();
    shown.diff = std::move(diff);
    shown.shown = PreviewFile::Shown::Diff;
}

std::string PreviewCollector::ChangesText(const PreviewFile& file) const {
    switch (file.shown) {
        case PreviewFile::Shown::Diff:
            if (file.diff.empty())
                return "Its content would stay the same: each replacement puts back the very "
                       "text it replaces.";
            return file.diff;
        case PreviewFile::Shown::Touched:
            return "Its last-write time would be set to the time picked; its content stays as "
                   "it is.";
        case PreviewFile::Shown::TooLarge:
            return "This file is larger than " + SizeText(maxFileShown_) +
                   ": its changes are too large to show.";
        case PreviewFile::Shown::OverBudget:
            break;
        case PreviewFile::Shown::Binary:
            return "This file holds zero bytes (binary data or UTF-16 text): its changes are "
                   "not shown.";
    }
    return "The preview keeps no more than " + SizeText(maxKept_) +
           " of changes, and this file's came after that: they are not shown.";
}
