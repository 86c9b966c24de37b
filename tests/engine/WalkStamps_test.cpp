// The stamp a walk hands a file over with is the file's as it is then, however long ago its
// folder was listed: what a Touch run's journal keeps as the old time, which an undo gives back.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "framework/win32/WidePath.h"
#else
#include <stdlib.h>
#endif

#include "engine/FileProcessorBase.h"
#include "engine/FileRecurser.h"
#include "engine/Run.h"
#include "engine/RunHistory.h"
#include "engine/RunJournal.h"
#include "engine/RunObserver.h"
#include "framework/FileError.h"
#include "framework/FileIdentity.h"
#include "framework/FileTimes.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "tests/support/TempDir.h"

namespace {

const TTime kChangedAt = TimeFromUnix(1000000000, 0);  // 2001

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    EXPECT_TRUE(GetFileStamp(path, stamp)) << path;
    return stamp;
}

// Another program's save of `path` while the walk is elsewhere: new content, its own time.
void SaveMeanwhile(const TempDir& tree, const std::string& name) {
    tree.Write(name, "saved by another program, longer than before\n");
    EXPECT_TRUE(SetLastWriteTime(tree.Join(name), kChangedAt));
}

// Saves a.c in the chosen folder while the walk is in its subfolder, whose files are handed
// over before the folder's own.
class SavesWhileInSub final : public RunObserver {
public:
    explicit SavesWhileInSub(const TempDir& tree) : tree_(tree) {}
    void FolderEntered(const std::string& path) override {
        if (path.find("sub") != std::string::npos)
            SaveMeanwhile(tree_, "a.c");
    }

private:
    const TempDir& tree_;
};

// Compares each stamp handed over with the file's own at that moment.
class StampChecker final : public FileProcessorBase {
public:
    bool ProcessFile(const TFileName& file) override {
        ++files;
        FileStamp seen;
        if (!file.SeenStamp(seen)) {
            missing.push_back(file.FullPath());
            return true;
        }
        EXPECT_EQ(seen.identity.index, file.Identity().index) << file.FullPath();
        const FileStamp now = StampOf(file.FullPath());
        EXPECT_EQ(seen.size, now.size) << file.FullPath();
        EXPECT_EQ(seen.lastWrite, now.lastWrite) << file.FullPath();
        EXPECT_EQ(seen.identity.index, now.identity.index) << file.FullPath();
        return true;
    }
    void ShowResult(ReportOwner&) override {}
    int files = 0;
    std::vector<std::string> missing;
};

TEST(WalkStamps, AFileSavedWhileTheWalkWasInASubfolderIsHandedOverAsItIsThen) {
    TempDir tree;
    tree.Write("a.c", "first");
    tree.Write("b.c", "second");
    tree.Write("sub/c.c", "third");
    SavesWhileInSub saver(tree);
    StampChecker checker;
    FileRecurser walker(tree.Path(), "*.c", true, &checker);
    walker.Observer = &saver;
    walker.Recurse();
    EXPECT_EQ(checker.files, 3);
    EXPECT_TRUE(checker.missing.empty()) << checker.missing.front();
}

#ifdef _WIN32
// The listing's stamps are read again once older than TFolder::kStampAgeMs; a name that lists
// another file by then tells none (the file itself is asked).
TEST(WalkStamps, ListedStampsAreReadAgainWhenOldAndOnlyForTheFileListed) {
    TempDir tree;
    tree.Write("a.c", "first");
    tree.Write("b.c", "second");
    TFolder folder;
    ASSERT_TRUE(folder.Open(tree.Path()));
    ASSERT_TRUE(folder.List());
    TFileName a(tree.Join("a.c")), b(tree.Join("b.c"));
    for (size_t i = 0; i < folder.EntryCount(); ++i) {
        EntryStatus status;
        ASSERT_TRUE(folder.EntryStatusOf(i, status));
        (std::string(folder.EntryName(i)) == "a.c" ? a : b).SetFoundIn(&folder, status.identity);
    }
    FileStamp seen;
    ASSERT_TRUE(a.SeenStamp(seen));
    EXPECT_EQ(seen, StampOf(tree.Join("a.c")));

    SaveMeanwhile(tree, "a.c");
    std::this_thread::sleep_for(std::chrono::milliseconds(TFolder::kStampAgeMs + 20));
    ASSERT_TRUE(a.SeenStamp(seen));
    EXPECT_EQ(seen, StampOf(tree.Join("a.c")));

    // Renamed away, so that the new file under the name cannot reuse its number.
    ASSERT_TRUE(MoveFileW(WidePath(tree.Join("b.c")).c_str(), WidePath(tree.Join("kept")).c_str()));
    tree.Write("b.c", "another file");
    std::this_thread::sleep_for(std::chrono::milliseconds(TFolder::kStampAgeMs + 20));
    EXPECT_FALSE(b.SeenStamp(seen));
}

// A name given the stamp a journal kept is touched only while the file still has that time.
TEST(WalkStamps, ATimeIsSetOnlyOverTheOneTheNameWasGiven) {
    TempDir tree;
    tree.Write("a.c", "first");
    const FileStamp before = StampOf(tree.Join("a.c"));
    TFolder folder;
    ASSERT_TRUE(folder.Open(tree.Path()));
    auto given = [&](int64_t lastWrite) {
        TFileName name(tree.Join("a.c"));
        name.SetFoundIn(&folder, before.identity);
        name.SetSeenStamp(before.size, lastWrite);
        return name;
    };
    const TTime later = TimeFromUnix(1700000000, 0);
    EXPECT_TRUE(SetLastWriteTime(given(before.lastWrite), later));
    EXPECT_EQ(LastWriteOf(StampOf(tree.Join("a.c"))), later);
    ClearFileError();
    EXPECT_FALSE(SetLastWriteTime(given(before.lastWrite), kChangedAt));
    EXPECT_NE(LastFileErrorText().find("changed"), std::string::npos) << LastFileErrorText();
    EXPECT_EQ(LastWriteOf(StampOf(tree.Join("a.c"))), later);
}
#endif

// End to end: the undo of a Touch run gives the file saved meanwhile the time it had when it
// was touched, not the one its folder's listing first saw.
TEST(WalkStamps, TouchUndoGivesBackTheTimeAFileHadWhenTouched) {
    TempDir home, tree;
    UseStateFolder(home.Join("state"));
    tree.Write("a.c", "first");
    tree.Write("sub/c.c", "third");
    ASSERT_TRUE(SetLastWriteTime(tree.Join("a.c"), TimeFromUnix(900000000, 0)));
    JobSettings job;
    job.folder = tree.Path();
    job.filter = "*.c";
    job.action = Action::Touch;
    job.touchTime = TimeFromUnix(1700000000, 0);
    SavesWhileInSub saver(tree);
    {
        RunJournal journal;
        ASSERT_TRUE(journal.Begin(job)) << journal.Shortfall();
        const RunCounts counts = RunJob(job, nullptr, &saver, &journal);
        EXPECT_EQ(counts.filesProcessed, 2);
        EXPECT_EQ(counts.failures, 0);
    }
    EXPECT_EQ(LastWriteOf(StampOf(tree.Join("a.c"))), job.touchTime);
    const UndoOutcome undo = UndoRun("", false, nullptr);
    EXPECT_EQ(undo.restored, 2);
    EXPECT_EQ(undo.leftChanged, 0);
    EXPECT_EQ(LastWriteOf(StampOf(tree.Join("a.c"))), kChangedAt);
}

}  // namespace
