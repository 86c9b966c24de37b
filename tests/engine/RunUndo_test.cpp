// Runs kept in a journal and taken back: every byte and the metadata come back, files changed
// since are left and named, runs are undone latest first, a damaged journal restores nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "engine/Run.h"
#include "engine/RunHistory.h"
#include "engine/RunJournal.h"
#include "engine/RunObserver.h"
#include "framework/FileIdentity.h"
#include "framework/PathSyntax.h"
#include "tests/support/TempDir.h"

namespace {

// The user's state folder moved into a test folder for as long as the test runs.
class ScopedStateFolder {
public:
    explicit ScopedStateFolder(const std::string& path) { UseStateFolder(path); }
};

class Recorder final : public RunObserver {
public:
    void FileChanged(const std::string& path, uint64_t) override { done.insert(path); }
    void Failed(const std::string& path, const std::string& reason) override {
        failed.insert(path + ": " + reason);
    }
    std::set<std::string> done, failed;
};

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    EXPECT_TRUE(GetFileStamp(path, stamp)) << path;
    return stamp;
}

class RunUndo : public ::testing::Test {
protected:
    RunUndo() : state_(home_.Join("state")) {}

    void SetUp() override {
        tree_.Write("a.txt", "alpha beta alpha\n");
        tree_.Write("sub/b.txt", "one alpha\r\ntwo\r\n");
        tree_.Write("c.txt", "nothing to see\n");
        tree_.Write("sub/gone.txt", "alpha");  // the run deletes every byte of it
    }

    RunCounts Run(const std::string& find, const std::string& replace) {
        JobSettings job;
        job.folder = tree_.Path();
        job.filter = "*.txt";
        job.findText = find;
        job.replaceText = replace;
        job.caseSensitive = true;
        RunJournal journal;
        EXPECT_TRUE(journal.Begin(job)) << journal.Shortfall();
        RunCounts counts = RunJob(job, nullptr, nullptr, &journal);
        EXPECT_EQ(journal.Shortfall(), "");
        return counts;
    }

    RunCounts Touch(TTime time, RunObserver* observer = nullptr) {
        JobSettings job;
        job.folder = tree_.Path();
        job.filter = "*.txt";
        job.action = Action::Touch;
        job.touchTime = time;
        RunJournal journal;
        EXPECT_TRUE(journal.Begin(job));
        return RunJob(job, nullptr, observer, &journal);
    }

    std::string Runs() const { return home_.Join("state/" + std::string(RunsTail())); }
    static const char* RunsTail() { return kPathSeparator == '\\' ? "Scrivox/Runs" : "scrivox/runs"; }

    // The only kept run's folder.
    std::string OnlyRun() const {
        const std::vector<RunRecord> runs = ListRuns();
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? std::string() : Runs() + kPathSeparator + runs[0].id;
    }

    TempDir home_, tree_;
    ScopedStateFolder state_;
};

TEST_F(RunUndo, FindAndTouchComeBackByteForByteWithTheirMetadata) {
    const std::vector<std::string> names = {"a.txt", "sub/b.txt", "c.txt", "sub/gone.txt"};
#ifndef _WIN32
    // A file of two names is rewritten in place, so its old content is copied, not linked.
    ASSERT_EQ(::link(tree_.Join("a.txt").c_str(), tree_.Join("a2.dat").c_str()), 0);
    ASSERT_EQ(::chmod(tree_.Join("sub/b.txt").c_str(), 0640), 0);
    const struct timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
    for (const std::string& n : names)
        ASSERT_EQ(::utimensat(AT_FDCWD, tree_.Join(n).c_str(), old, 0), 0);
#endif
    std::vector<std::string> before;
    std::vector<FileStamp> stamps;
    for (const std::string& n : names) {
        before.push_back(tree_.Read(n));
        stamps.push_back(StampOf(tree_.Join(n)));
    }
    const RunCounts counts = Run("alpha", "");
    EXPECT_EQ(counts.filesChanged, 3);
    EXPECT_EQ(tree_.Read("a.txt"), " beta \n");
    EXPECT_EQ(tree_.Read("sub/gone.txt"), "");
#ifndef _WIN32
    // On the tree's own file system nothing is copied: the journal holds the very old files.
    std::set<uint64_t> kept;
    for (const char* n : {"1", "2", "3"}) {
        FileStamp s = StampOf(OnlyRun() + "/old/" + n);
        kept.insert(s.identity.index);
    }
    EXPECT_TRUE(kept.count(stamps[1].identity.index));
    EXPECT_TRUE(kept.count(stamps[3].identity.index));
    EXPECT_FALSE(kept.count(stamps[0].identity.index));  // the copy of the two-name file
#endif

    // A preview restores nothing and tells what it would.
    Recorder preview;
    UndoOutcome would = UndoRun("", true, &preview);
    EXPECT_FALSE(would.refusal);
    EXPECT_EQ(would.restored, 3);
    EXPECT_EQ(tree_.Read("a.txt"), " beta \n");

    Recorder recorder;
    UndoOutcome outcome = UndoRun("", false, &recorder);
    ASSERT_FALSE(outcome.refusal) << *outcome.refusal;
    EXPECT_EQ(outcome.restored, 3);
    EXPECT_EQ(outcome.leftChanged + outcome.failed, 0);
    EXPECT_TRUE(recorder.failed.empty()) << *recorder.failed.begin();
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(tree_.Read(names[i]), before[i]) << names[i];
        const FileStamp now = StampOf(tree_.Join(names[i]));
        EXPECT_EQ(now.lastWrite, stamps[i].lastWrite) << names[i];
    }
#ifndef _WIN32
    EXPECT_EQ(tree_.Read("a2.dat"), before[0]);
    struct stat st;
    ASSERT_EQ(::stat(tree_.Join("sub/b.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_nlink, 1u);
    ASSERT_EQ(::stat(tree_.Join("a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);  // still one file of two names
    // The very old file is back, not a copy of it.
    EXPECT_TRUE(StampOf(tree_.Join("sub/b.txt")).identity == stamps[1].identity);
#endif
    EXPECT_TRUE(ListRuns().back().undone);
    EXPECT_EQ(*UndoRun("", false, nullptr).refusal, "no run to undo");

    // Touch: the old times come back, the content was never touched.
    const TTime touched = TimeFromUnix(1700000000, 0);
    EXPECT_EQ(Touch(touched).filesChanged, 4);
    EXPECT_EQ(LastWriteOf(StampOf(tree_.Join("c.txt"))).ticks, touched.ticks);
    outcome = UndoRun("", false, nullptr);
    EXPECT_EQ(outcome.restored, 4);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(StampOf(tree_.Join(names[i])).lastWrite, stamps[i].lastWrite) << names[i];
}

TEST_F(RunUndo, FilesChangedSinceTheRunAreLeftAndNamed) {
    Run("alpha", "omega");
    tree_.Write("sub/b.txt", "edited by hand\n");
    Recorder recorder;
    const UndoOutcome outcome = UndoRun("", false, &recorder);
    EXPECT_EQ(outcome.restored, 2);
    EXPECT_EQ(outcome.leftChanged, 1);
    EXPECT_EQ(tree_.Read("a.txt"), "alpha beta alpha\n");
    EXPECT_EQ(tree_.Read("sub/b.txt"), "edited by hand\n");
    ASSERT_EQ(recorder.failed.size(), 1u);
    EXPECT_NE(recorder.failed.begin()->find("b.txt: changed since the run; left as it is"),
              std::string::npos)
        << *recorder.failed.begin();
    // A file removed since is left too.
    Run("beta", "BETA");
    ASSERT_EQ(std::remove(tree_.Join("a.txt").c_str()), 0);
    EXPECT_EQ(UndoRun("", false, nullptr).leftChanged, 1);
    EXPECT_FALSE(tree_.Exists("a.txt"));
}

TEST_F(RunUndo, TheLaterRunIsUndoneFirstThenTheEarlier) {
    Run("alpha", "beta");
    Run("beta", "gamma");
    EXPECT_EQ(tree_.Read("a.txt"), "gamma gamma gamma\n");
    ASSERT_EQ(ListRuns().size(), 2u);
    EXPECT_EQ(UndoRun("", false, nullptr).restored, 3);
    EXPECT_EQ(tree_.Read("a.txt"), "beta beta beta\n");
    EXPECT_EQ(UndoRun("", false, nullptr).restored, 3);
    EXPECT_EQ(tree_.Read("a.txt"), "alpha beta alpha\n");
    EXPECT_EQ(tree_.Read("sub/b.txt"), "one alpha\r\ntwo\r\n");
    // A run undone already is not undone twice, nor one that was never kept.
    const std::string first = ListRuns().front().id;
    EXPECT_EQ(*UndoRun(first, false, nullptr).refusal, "run " + first + " is undone already");
    EXPECT_EQ(*UndoRun("19990101-000000", false, nullptr).refusal,
              "no run 19990101-000000 is kept");
}

TEST_F(RunUndo, ADamagedJournalOrAlteredOldContentIsNeverWritten) {
    Run("alpha", "omega");
    const std::string run = OnlyRun();
    // Old content altered in the journal: same file, same length, other bytes.
    const std::string kept = run + kPathSeparator + "old" + kPathSeparator + "1";
    std::string content = ReadWholeFile(kept);
    content[0] ^= 1;
    WriteWholeFile(kept, content);
    Recorder recorder;
    UndoOutcome outcome = UndoRun("", false, &recorder);
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(outcome.restored, 2);
    for (const char* n : {"a.txt", "sub/b.txt", "sub/gone.txt"})
        EXPECT_NE(tree_.Read(n), content) << n;

    // A journal that cannot be read whole restores nothing.
    Run("omega", "alpha");
    const std::vector<RunRecord> runs = ListRuns();
    ASSERT_EQ(runs.size(), 2u);
    const std::string journal = Runs() + kPathSeparator + runs[1].id + kPathSeparator + "journal";
    WriteWholeFile(journal, ReadWholeFile(journal) + "file\tnot a number\n");
    const std::string a = tree_.Read("a.txt");
    outcome = UndoRun(runs[1].id, false, nullptr);
    ASSERT_TRUE(outcome.refusal);
    EXPECT_EQ(*outcome.refusal, "the journal of run " + runs[1].id + " is damaged: nothing was restored");
    EXPECT_EQ(tree_.Read("a.txt"), a);
    EXPECT_TRUE(ListRuns()[1].damaged);
}

TEST_F(RunUndo, OnlyTheLastRunsAreKeptAndARunThatChangesNothingLeavesNone) {
    Run("absent", "x");
    EXPECT_TRUE(ListRuns().empty());
    for (size_t i = 0; i < RunJournal::kMaxRuns + 2; ++i)
        Run(i % 2 ? "omega" : "alpha", i % 2 ? "alpha" : "omega");
    const std::vector<RunRecord> runs = ListRuns();
    EXPECT_EQ(runs.size(), RunJournal::kMaxRuns);
    for (const RunRecord& r : runs) {
        EXPECT_EQ(r.files, 3);
        EXPECT_TRUE(r.ended);
        EXPECT_EQ(r.action, "find");
    }
    // What room is made by, read from the journals' ends alone, is what a full reading gives.
    TFolder folder;
    ASSERT_TRUE(folder.OpenWithoutLinks(Runs()));
    const std::vector<KeptRun> kept = KeptRuns(folder);
    ASSERT_EQ(kept.size(), runs.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].id, runs[i].id);
        const std::string journal = Runs() + kPathSeparator + runs[i].id + kPathSeparator + "journal";
        EXPECT_EQ(kept[i].keptBytes, runs[i].keptBytes + ReadWholeFile(journal).size());
        EXPECT_GT(runs[i].keptBytes, 0u);
    }
}

// A Touch run's entries reach the journal file in groups, each before the times of its files
// are set: whenever a file is told done, every file that has the new time has its entry there.
TEST_F(RunUndo, TouchEntriesAreInTheJournalBeforeTheTimesChange) {
    for (int i = 0; i < 300; ++i)
        tree_.Write("many/" + std::to_string(i) + ".txt", "x");
    for (int i = 0; i < 5; ++i)
        tree_.Write("few" + std::to_string(i) + "/f.txt", "y");
    const TTime time = TimeFromUnix(1700000000, 0);
    struct Checker final : RunObserver {
        std::string runs, tree;
        TTime time;
        std::vector<std::string> names;  // relative to the tree
        int checked = 0;
        void FileChanged(const std::string&, uint64_t) override {
            const std::vector<RunRecord> runs = ListRuns();
            ASSERT_EQ(runs.size(), 1u);
            const std::string journal =
                ReadWholeFile(this->runs + kPathSeparator + runs[0].id + kPathSeparator + "journal");
            for (const std::string& name : names) {
                FileStamp now;
                if (GetFileStamp(tree + kPathSeparator + name, now) && LastWriteOf(now) == time) {
                    std::string entry = name;
                    for (char& c : entry)
                        c = c == '/' ? kPathSeparator : c;
                    // As the journal writes a path: a backslash doubled.
                    EXPECT_NE(journal.find(JournalField(kPathSeparator + entry) + "\t"),
                              std::string::npos)
                        << name << " has its new time, but no entry";
                }
            }
            ++checked;
        }
    } checker;
    checker.runs = Runs();
    checker.tree = tree_.Path();
    checker.time = time;
    for (int i = 0; i < 300; ++i)
        checker.names.push_back("many/" + std::to_string(i) + ".txt");
    for (int i = 0; i < 5; ++i)
        checker.names.push_back("few" + std::to_string(i) + "/f.txt");
    checker.names.push_back("a.txt");

    const RunCounts counts = Touch(time, &checker);
    EXPECT_EQ(counts.filesProcessed, 309);
    EXPECT_EQ(checker.checked, 309);
    const UndoOutcome undo = UndoRun("", false, nullptr);
    EXPECT_EQ(undo.restored, 309);
}

#ifndef _WIN32
// Where the journal lies on another file system than the tree, the old content is copied once;
// the undo is the same.
TEST_F(RunUndo, OnAnotherFileSystemTheOldContentIsCopied) {
    struct stat shm, tree;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(tree_.Path().c_str(), &tree) != 0 ||
        shm.st_dev == tree.st_dev || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no other writable file system at /dev/shm";
    char pattern[] = "/dev/shm/scrivox-state-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::string other = pattern;
    ScopedStateFolder moved(other);
    const FileStamp a = StampOf(tree_.Join("a.txt"));
    Run("alpha", "omega");
    std::vector<RunRecord> runs = ListRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].keptBytes, 17u + 16u + 5u);
    for (const char* n : {"1", "2", "3"}) {
        const FileStamp s = StampOf(other + "/scrivox/runs/" + runs[0].id + "/old/" + n);
        EXPECT_NE(s.identity.device, a.identity.device);
    }
    // Two runs: the undo of the later one writes new files, which the earlier one still knows
    // by their content and stamp.
    Run("omega", "zeta");
    EXPECT_EQ(UndoRun("", false, nullptr).restored, 3);
    EXPECT_EQ(UndoRun("", false, nullptr).restored, 3);
    EXPECT_EQ(tree_.Read("a.txt"), "alpha beta alpha\n");
    EXPECT_EQ(std::system(("rm -rf '" + other + "'").c_str()), 0);
    ScopedStateFolder back(home_.Join("state"));
}

// The journal is the user's alone, and a link planted in its place is never followed.
TEST_F(RunUndo, TheJournalIsPrivateAndNoLinkInItsPathIsFollowed) {
    Run("alpha", "omega");
    struct stat st;
    const std::string run = OnlyRun();
    for (const std::string& p : {Runs(), run, run + "/old"}) {
        ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    ASSERT_EQ(::lstat((run + "/journal").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);

    // The runs folder replaced by a link to a folder others may read: no journal, the run goes on.
    TempDir elsewhere;
    ASSERT_EQ(std::system(("rm -rf '" + Runs() + "'").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.Path().c_str(), Runs().c_str()), 0);
    JobSettings job;
    job.folder = tree_.Path();
    job.filter = "*.txt";
    job.findText = "omega";
    job.replaceText = "alpha";
    job.caseSensitive = true;
    RunJournal journal;
    EXPECT_FALSE(journal.Begin(job));
    EXPECT_EQ(journal.Shortfall().rfind("this run cannot be undone: ", 0), 0u)
        << journal.Shortfall();
    EXPECT_EQ(RunJob(job, nullptr, nullptr, &journal).filesChanged, 3);
    EXPECT_EQ(tree_.Read("a.txt"), "alpha beta alpha\n");
    EXPECT_FALSE(elsewhere.Exists("journal"));
    EXPECT_EQ(*UndoRun("", false, nullptr).refusal, "no runs are kept");
}
#endif

}  // namespace
