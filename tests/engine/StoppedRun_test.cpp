// A run stopped by its observer stops between two files: each file is whole, old or new, no
// temporary file is left, the report says "Stopped." and counts what was done, and what was
// done can be undone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "engine/Run.h"
#include "engine/RunHistory.h"
#include "engine/RunJournal.h"
#include "engine/RunObserver.h"
#include "engine/RunReport.h"
#include "engine/FileProcessorBase.h"
#include "framework/TFolder.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kFolders = 8;
constexpr int kFilesEach = 25;
const std::string kOld = "one cat, two cats\ncat\n";
const std::string kNew = "one lion, two cats\nlion\n";

class Stopper final : public RunObserver {
public:
    explicit Stopper(int after) : after_(after) {}
    void FileLookedAt(uint64_t) override { ++looked; }
    void FolderEntered(const std::string& path) override { folders.push_back(path); }
    bool StopWanted() override {
        ++asked;
        return after_ >= 0 && looked >= after_;
    }
    int looked = 0, asked = 0;
    std::vector<std::string> folders;

private:
    int after_;  // files looked at before it wants the run to stop; -1: never
};

class Report final : public ReportOwner {
public:
    void ShowMessage(const std::string& text, const std::string&) override { said = text; }
    std::string said;
};

// Every name in the tree below `path`, folders included, relative to it.
void ListTree(const std::string& path, const std::string& prefix, std::set<std::string>& names) {
    TFolder folder;
    ASSERT_TRUE(folder.Open(path));
    ASSERT_TRUE(folder.List());
    for (size_t i = 0; i < folder.EntryCount(); ++i) {
        const std::string name = prefix + folder.EntryName(i);
        names.insert(name);
        if (folder.EntryIsFolder(i))
            ListTree(path + "/" + folder.EntryName(i), name + "/", names);
    }
}

class StoppedRun : public ::testing::Test {
protected:
    void SetUp() override {
        UseStateFolder(state_.Path());
        for (int f = 0; f < kFolders; ++f)
            for (int i = 0; i < kFilesEach; ++i)
                tree_.Write(Name(f, i), kOld);
        ListTree(tree_.Path(), "", before_);
    }

    static std::string Name(int folder, int file) {
        return "d" + std::to_string(folder) + "/f" + std::to_string(file) + ".txt";
    }

    JobSettings Job() const {
        JobSettings job;
        job.folder = tree_.Path();
        job.filter = "*.txt";
        job.findText = "cat";
        job.replaceText = "lion";
        job.wholeWords = true;
        return job;
    }

    // How many files hold the new content; fails on any that holds neither.
    int CountNew() const {
        int changed = 0;
        for (int f = 0; f < kFolders; ++f)
            for (int i = 0; i < kFilesEach; ++i) {
                const std::string text = tree_.Read(Name(f, i));
                EXPECT_TRUE(text == kOld || text == kNew) << Name(f, i) << ": " << text;
                changed += text == kNew;
            }
        return changed;
    }

    TempDir state_;
    TempDir tree_;
    std::set<std::string> before_;
};

TEST_F(StoppedRun, FindStopsBetweenFilesLeavesEachWholeAndCanBeUndone) {
    Stopper stopper(37);
    Report report;
    RunJournal journal;
    JobSettings job = Job();
    ASSERT_TRUE(journal.Begin(job)) << journal.Shortfall();
    const RunCounts counts = RunJob(job, &report, &stopper, &journal);

    EXPECT_TRUE(counts.stopped);
    EXPECT_EQ(counts.filesProcessed, 37);  // asked before each file, the 38th never begun
    EXPECT_EQ(counts.filesChanged, 37);
    EXPECT_EQ(CountNew(), 37);
    EXPECT_EQ(report.said, "Stopped.\n" + ReplaceReportText(37, 37 * 2));
    std::set<std::string> after;
    ListTree(tree_.Path(), "", after);
    EXPECT_EQ(after, before_) << "a temporary file was left, or a file lost";

    const std::vector<RunRecord> runs = ListRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].files, 37);
    const UndoOutcome undo = UndoRun("", false, nullptr);
    EXPECT_EQ(undo.restored, 37);
    EXPECT_EQ(CountNew(), 0);
}

TEST_F(StoppedRun, TouchAndPreviewStopTooAndAnUnstoppedRunIsNotStopped) {
    JobSettings touch = Job();
    touch.action = Action::Touch;
    touch.touchTime = TimeFromUnix(1600000000, 0);
    Stopper early(0);  // before the first file
    Report report;
    RunCounts counts = RunJob(touch, &report, &early, nullptr);
    EXPECT_TRUE(counts.stopped);
    EXPECT_EQ(counts.filesProcessed, 0);
    EXPECT_EQ(report.said, "Stopped.\n" + TouchReportText(0));

    JobSettings preview = Job();
    preview.mode = RunMode::Preview;
    Stopper later(5);
    counts = RunJob(preview, nullptr, &later, nullptr);
    EXPECT_TRUE(counts.stopped);
    EXPECT_EQ(counts.filesChanged, 5);

    Stopper never(-1);
    counts = RunJob(Job(), &report, &never, nullptr);
    EXPECT_FALSE(counts.stopped);
    EXPECT_EQ(counts.filesChanged, kFolders * kFilesEach);
    EXPECT_EQ(report.said, ReplaceReportText(kFolders * kFilesEach, kFolders * kFilesEach * 2));
    EXPECT_GE(never.asked, kFolders * kFilesEach);
    // Each folder is told once, the chosen one (which holds no file) included.
    EXPECT_EQ(never.folders.size(), size_t{kFolders + 1});
    EXPECT_EQ(std::set<std::string>(never.folders.begin(), never.folders.end()).size(),
              never.folders.size());
}

}  // namespace
