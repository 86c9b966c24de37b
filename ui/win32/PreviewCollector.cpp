#include "ui/win32/PreviewCollector.h"

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

}  // namespace

PreviewCollector::PreviewCollector(const std::string& folder,
                                   size_t maxFileShown,
                                   size_t maxKept)
    // The walk adds a separator unless the folder ends with one.
    : prefix_(folder.empty() ? 0 : folder.size() + (IsPathSeparator(folder.back()) ? 0 : 1)),
      maxFileShown_(maxFileShown),
      maxKept_(maxKept) {}

PreviewCollector::Heard& PreviewCollector::Entry(const std::string& path) {
    const auto [at, added] = byPath_.try_emplace(path, heard_.size());
    if (!added)
        return heard_[at->second];
    PreviewFile file;
    const std::string relative = path.size() > prefix_ ? path.substr(prefix_) : path;
    size_t slash = relative.size();
    while (slash > 0 && !IsPathSeparator(relative[slash - 1]))
        --slash;
    file.name = relative.substr(slash);
    file.folder = slash > 1 ? relative.substr(0, slash - 1) : ".";
    heard_.push_back({std::move(file), false});
    return heard_.back();
}

void PreviewCollector::FileChanged(const std::string& path, uint64_t replacements) {
    Heard& heard = Entry(path);
    heard.changed = true;
    heard.file.replacements = replacements;
}

size_t PreviewCollector::ContentWanted() const {
    return kept_ < maxKept_ ? maxFileShown_ : 0;
}

void PreviewCollector::ChangeShown(const std::string& path,
                                   const std::string* oldText,
                                   const std::string* newText) {
    PreviewFile& file = Entry(path).file;
    if (!oldText || !newText) {
        file.shown = kept_ < maxKept_ ? PreviewFile::Shown::TooLarge
                                      : PreviewFile::Shown::OverBudget;
        return;
    }
    if (oldText->find('\0') != std::string::npos || newText->find('\0') != std::string::npos) {
        file.shown = PreviewFile::Shown::Binary;
        return;
    }
    const std::string relative = path.size() > prefix_ ? path.substr(prefix_) : path;
    std::string diff = UnifiedDiff(*oldText, *newText, relative, relative, false);
    if (diff.size() > maxKept_ - kept_) {
        // The first that does not fit ends the keeping, so that what is shown is a prefix of
        // the run and never a scattering of small files.
        kept_ = maxKept_;
        file.shown = PreviewFile::Shown::OverBudget;
        return;
    }
    kept_ += diff.size();
    file.diff = std::move(diff);
    file.shown = PreviewFile::Shown::Diff;
}

std::vector<const PreviewFile*> PreviewCollector::Files() const {
    std::vector<const PreviewFile*> files;
    for (const Heard& h : heard_) {
        if (h.changed)
            files.push_back(&h.file);
    }
    return files;
}

std::string PreviewCollector::ChangesText(const PreviewFile& file) const {
    switch (file.shown) {
        case PreviewFile::Shown::Diff:
            return file.diff;
        case PreviewFile::Shown::TooLarge:
            return "This file is larger than " + SizeText(maxFileShown_) +
                   ": its changes are too large to show.";
        case PreviewFile::Shown::OverBudget:
            return "The preview keeps no more than " + SizeText(maxKept_) +
                   " of changes, and this file's came after that: they are not shown.";
        case PreviewFile::Shown::Binary:
            return "This file holds zero bytes (binary data or UTF-16 text): its changes are "
                   "not shown.";
        case PreviewFile::Shown::NotSeen:
            break;
    }
    return "This file's changes are not shown.";
}
