#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/Run.h"
#include "engine/RunObserver.h"
#include "ui/CliArguments.h"

// What scrivox shows while and after a run: the changed files (--list), each change as a unified
// diff (--diff) and the report on standard output, each failure on standard error as
// "scrivox: PATH: reason", and, when standard error is a terminal and the run takes more than
// half a second, one progress line there, redrawn at most ten times a second and gone at the end.
class CliOutput final : public RunObserver {
public:
    // Files larger than this get a one-line summary instead of a diff.
    static constexpr size_t kMaxDiffed = size_t{8} << 20;

    // `folder` is the run's folder as given: listed paths are relative to it (an empty one
    // leaves them as they are).
    CliOutput(const CliRequest& request, Action action, const std::string& folder);
    ~CliOutput();
    CliOutput(const CliOutput&) = delete;
    CliOutput& operator=(const CliOutput&) = delete;

    void FileChanged(const std::string& path, uint64_t replacements) override;
    void Failed(const std::string& path, const std::string& reason) override;
    void FileLookedAt(uint64_t bytes) override;
    void BinaryLeftAlone(const std::string& path) override;
    size_t ContentWanted() const override { return diff_ ? kMaxDiffed : 0; }
    void ChangeShown(const std::string& path,
                     const std::string* oldText,
                     const std::string* newText) override;
    // The report, unless --quiet, on standard output, and on standard error how many binary
    // files Find left alone; the progress line goes first.
    void Report(const RunCounts& counts);

    // Whether colour goes to standard output or standard error, as --color and the terminal say.
    static bool ColorOn(ColorWhen when, int fd);

private:
    void ClearProgress();
    void DrawProgress();
    std::string Relative(const std::string& path) const;

    bool list_, quiet_, touch_, preview_, diff_;
    bool colorOut_, colorErr_;
    bool progress_;  // standard error is a terminal
    size_t prefix_;  // how much of a path the folder takes
    std::chrono::steady_clock::time_point start_, drawn_;
    bool shown_ = false;  // a progress line is on the terminal
    uint64_t files_ = 0, bytes_ = 0, changed_ = 0;
};
