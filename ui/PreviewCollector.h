#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/Run.h"
#include "engine/RunObserver.h"

// One file that a preview found the run would change (Find) or touch.
struct PreviewFile {
    std::string name;    // the file's own name
    std::string folder;  // its folder below the chosen one, "." for the chosen one itself
    uint64_t replacements = 0;
    // What the preview window can show of its changes.
    enum class Shown { Diff, Touched, TooLarge, OverBudget, Binary };
    Shown shown = Shown::OverBudget;
    std::string diff;  // the unified diff, when shown is Diff
};

// Hears a preview's walk and keeps, for the preview window, each file that would change with
// its replacements and the unified diff of its change. What it keeps is bounded: no file larger
// than `maxFileShown` is diffed, and once the diffs kept reach `maxKept` bytes, no more are.
class PreviewCollector final : public RunObserver {
public:
    static constexpr size_t kMaxFileShown = size_t{1} << 20;
    static constexpr size_t kMaxKept = size_t{16} << 20;

    // `folder` is the run's folder as the walk was given it.
    PreviewCollector(const std::string& folder,
                     Action action,
                     size_t maxFileShown = kMaxFileShown,
                     size_t maxKept = kMaxKept);

    void FileChanged(const std::string& path, uint64_t replacements) override;
    size_t ContentWanted() const override;
    void ChangeShown(const std::string& path,
                     const std::string* oldText,
                     const std::string* newText) override;

    // The files that would change, in the order the walk found them.
    const std::vector<PreviewFile>& Files() const { return files_; }
    // What the preview window shows of a file's changes: its diff, or why there is none.
    std::string ChangesText(const PreviewFile& file) const;

private:
    std::string Relative(const std::string& path) const;

    // What was shown of a file whose change has not been heard of yet.
    struct Shown {
        PreviewFile::Shown shown;
        std::string diff;
    };

    size_t prefix_;  // what the walk puts before the names below the chosen folder
    Action action_;
    size_t maxFileShown_;
    size_t maxKept_;
    size_t kept_ = 0;
    std::vector<PreviewFile> files_;
    std::unordered_map<std::string, Shown> pending_;
};
