// Files that another program removes, replaces or rewrites after the walk has listed them, or
// while the run reads them: each ends as that program left it or as the run's new content made
// from one whole version, never a mix; a file that is gone is not counted.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "engine/FileRecurser.h"
#include "engine/Replacer.h"
#include "engine/Run.h"
#include "framework/TFileName.h"
#include "tests/support/FindJob.h"
#include "tests/support/ReferenceScanner.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>

#include "engine/Toucher.h"
#include "framework/FileTimes.h"
#include "framework/win32/WidePath.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/fault/FaultSupport.h"
#endif

namespace {

#ifndef _WIN32

// Hands each file on to the real processor after `meddle` has done to it what another program
// might do between the walk's listing and the rewrite.
class Meddler final : public FileProcessorBase {
public:
    Meddler(FileProcessorBase& real, std::function<void(const std::string& name)> meddle)
        : real_(real), meddle_(std::move(meddle)) {}
    bool ProcessFile(const TFileName& file) override {
        meddle_(std::string(file.NameAndExtension()));
        return real_.ProcessFile(file);
    }
    void ShowResult(ReportOwner& owner) override { real_.ShowResult(owner); }

private:
    FileProcessorBase& real_;
    std::function<void(const std::string&)> meddle_;
};

std::string Replaced(const std::string& text) {
    return ReferenceReplace(text, "cat", "dog", true, false).output;
}

long long Count(const std::string& text) {
    return ReferenceReplace(text, "cat", "dog", true, false).replacements;
}

bool IsKind(const std::string& path, mode_t kind) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

// Each file meets its own change right before the Replacer gets it. `unreadable` needs a user
// that permissions bind, so the walk runs as `nobody` when the test runs as root.
TEST(FaultChangingTree, FilesChangedAfterTheListingEndWholeAndGoneOnesUncounted) {
    TempDir dir;
    const std::string kOld = "a cat, another cat";
    const std::string kOther = "cat food for a catamaran";
    const char* names[] = {"vanished.c", "folder.c", "unreadable.c", "rewritten.c", "renamed.c",
                           "nomatch.c",  "grown.c",  "emptied.c",    "untouched.c"};
    for (const char* n : names)
        dir.Write(n, kOld);
    dir.Write("sub/gone1.c", kOld);
    dir.Write("sub/gone2.c", kOld);
    dir.Write("other", kOther);
    std::optional<uid_t> uid;
    if (::geteuid() == 0) {
        uid = NobodyUid();
        if (!uid)
            GTEST_SKIP() << "no unprivileged user to run as";
        ASSERT_EQ(
            std::system(("chown -R " + std::to_string(*uid) + " '" + dir.Path() + "'").c_str()), 0);
    }
    auto at = [&](const std::string& n) { return dir.Join(n); };
    std::map<std::string, std::function<void()>> changes = {
        {"vanished.c", [&] { ::unlink(at("vanished.c").c_str()); }},
        {"folder.c",
         [&] {
             ::unlink(at("folder.c").c_str());
             ::mkdir(at("folder.c").c_str(), 0755);
         }},
        {"unreadable.c", [&] { ::chmod(at("unreadable.c").c_str(), 0200); }},
        {"rewritten.c", [&] { WriteFileBytes(at("rewritten.c"), kOther); }},
        {"renamed.c",
         [&] {
             WriteFileBytes(at("new"), kOther);
             ::rename(at("new").c_str(), at("renamed.c").c_str());
         }},
        {"nomatch.c", [&] { WriteFileBytes(at("nomatch.c"), "no match"); }},
        {"grown.c", [&] { WriteFileBytes(at("grown.c"), kOld + kOther); }},
        {"emptied.c", [&] { WriteFileBytes(at("emptied.c"), ""); }},
        {"gone1.c", [&] { EXPECT_EQ(std::system(("rm -rf '" + at("sub") + "'").c_str()), 0); }},
        {"gone2.c", [&] { EXPECT_EQ(std::system(("rm -rf '" + at("sub") + "'").c_str()), 0); }},
    };
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ChildOutcome outcome = RunInChild(
        [&] {
            if (uid && !DropTo(*uid))
                return 3;
            Replacer replacer(FindJob("cat", "dog", true, false, true));
            Meddler meddler(replacer, [&](const std::string& name) {
                auto it = changes.find(name);
                if (it != changes.end())
                    it->second();
            });
            FileRecurser walker(dir.Path(), "*.c", true, &meddler);
            walker.Recurse();
            RunCounts counts{replacer.FilesProcessed, replacer.ReplacementsMade};
            return ::write(fds[1], &counts, sizeof counts) == ssize_t(sizeof counts) ? 0 : 4;
        },
        30);
    ::close(fds[1]);
    RunCounts counts{-1, -1};
    EXPECT_EQ(::read(fds[0], &counts, sizeof counts), ssize_t(sizeof counts));
    ::close(fds[0]);
    ASSERT_FALSE(outcome.timedOut) << "the run hung";
    ASSERT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.exitCode << outcome.signal;

    EXPECT_FALSE(dir.Exists("vanished.c"));
    EXPECT_TRUE(IsKind(at("folder.c"), S_IFDIR));
    EXPECT_FALSE(dir.Exists("sub"));
    EXPECT_EQ(ReadFileBytes(at("unreadable.c")), kOld);
    // Another file under the name is not the file the walk saw: left to whoever put it there.
    EXPECT_EQ(ReadFileBytes(at("renamed.c")), kOther);
    // Counted: what the run found, finished.
    const std::map<std::string, std::string> found = {{"rewritten.c", kOther},
                                                      {"nomatch.c", "no match"},
                                                      {"grown.c", kOld + kOther},
                                                      {"emptied.c", ""},
                                                      {"untouched.c", kOld}};
    long long replacements = 0;
    for (const auto& [name, text] : found) {
        EXPECT_EQ(ReadFileBytes(at(name)), Replaced(text)) << name;
        const bool changed = Count(text) > 0;
        EXPECT_EQ(dir.Exists("Backup of " + name), changed) << name;
        if (changed) {
            EXPECT_EQ(ReadFileBytes(at("Backup of " + name)), text) << name;
        }
        replacements += Count(text);
    }
    EXPECT_EQ(counts.filesProcessed, int64_t(found.size()));
    EXPECT_EQ(counts.replacementsMade, replacements);
    for (const auto& [rel, entry] : ListTree(dir.Path())) {
        EXPECT_FALSE(IsRunTempName(rel.substr(rel.rfind('/') + 1))) << rel;
        EXPECT_TRUE(rel.rfind("Backup of ", 0) != 0 || found.count(rel.substr(10))) << rel;
    }
}

// Regression: a FIFO that took a listed file's name was read (an empty file, counted), and a link
// to /dev/zero was read for ever.
TEST(FaultChangingTree, FifoOrDeviceThatTakesAFilesNameIsNeitherReadNorCounted) {
    TempDir dir;
    dir.Write("fifo.c", "a cat");
    dir.Write("zero.c", "a cat");
    dir.Write("plain.c", "a cat");
    Replacer replacer(FindJob("cat", "dog", true, false, true));
    Meddler meddler(replacer, [&](const std::string& name) {
        const std::string path = dir.Join(name);
        if (name == "fifo.c") {
            ::unlink(path.c_str());
            ::mkfifo(path.c_str(), 0644);
        } else if (name == "zero.c") {
            ::unlink(path.c_str());
            EXPECT_EQ(::symlink("/dev/zero", path.c_str()), 0);
        }
    });
    ChildOutcome outcome = RunInChild(
        [&] {
            FileRecurser walker(dir.Path(), "*.c", false, &meddler);
            walker.Recurse();
            return replacer.FilesProcessed == 1 && replacer.ReplacementsMade == 1 ? 0 : 1;
        },
        20);
    ASSERT_FALSE(outcome.timedOut) << "the run hung";
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << "counted a FIFO or a device";
    EXPECT_TRUE(IsKind(dir.Join("fifo.c"), S_IFIFO));
    EXPECT_TRUE(IsKind(dir.Join("zero.c"), S_IFLNK));
    EXPECT_EQ(dir.Read("plain.c"), "a dog");
    EXPECT_FALSE(dir.Exists("Backup of fifo.c"));
    EXPECT_FALSE(dir.Exists("Backup of zero.c"));
}

// Another program saves the file (a new version renamed over it, as editors do, or rewritten in
// place, in blocks) at a random moment while the run reads it: the file ends as one whole version
// or the run's new content of one whole version, never a mix.
TEST(FaultChangingTree, FileSavedByAnotherProgramWhileBeingReadIsNeverMixed) {
    TempDir dir;
    const size_t kSize = 4 << 20;
    auto version = [&](char filler) {
        std::string s(kSize, filler);
        s.replace(kSize - 100, 3, "cat");  // the run reads nearly all of it before its first match
        return s;
    };
    const std::string a = version('a'), b = version('b');
    const std::string path = dir.Join("f.c"), spare = dir.Join("spare");
    // The moments are drawn over the time the run spends reading such a file.
    double readTime = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(WriteFileBytes(path, std::string(kSize, 'a')));
        Replacer reader(FindJob("cat", "dog", true, false, false));
        const struct timespec start = Now();
        ASSERT_TRUE(reader.ProcessFile(TFileName(path)));
        readTime = std::max(readTime, SecondsSince(start));
    }
    std::mt19937 rng(std::random_device{}());
    int mixed = 0, outcomes[4] = {};
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(WriteFileBytes(path, a));
        ASSERT_TRUE(WriteFileBytes(spare, b));
        // Last written an hour ago, like a file someone opens to edit: a save shows, even where
        // timestamps are coarse.
        const struct timespec hourAgo[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), hourAgo, 0), 0);
        const bool inPlace = round % 2 == 1;
        const double at = std::uniform_real_distribution<double>(0, readTime)(rng);
        // The other program starts its save once the run has opened the file.
        int opened = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(opened, 0);
        ASSERT_GE(::inotify_add_watch(opened, path.c_str(), IN_OPEN), 0);
        std::thread other([&] {
            struct pollfd wait = {opened, POLLIN, 0};
            if (::poll(&wait, 1, 10000) != 1)
                return;
            std::this_thread::sleep_for(std::chrono::duration<double>(at));
            if (inPlace) {
                // In blocks, as buffered output goes: each write stamps the file anew.
                int fd = ::open(path.c_str(), O_WRONLY);
                for (size_t at = 0; fd >= 0 && at < b.size(); at += 64 * 1024)
                    if (::pwrite(fd, b.data() + at, 64 * 1024, off_t(at)) < 0) {
                    }  // a failed save only makes the test weaker
                ::close(fd);
            } else {
                ::rename(spare.c_str(), path.c_str());
            }
        });
        Replacer replacer(FindJob("cat", "dog", true, false, false));
        const bool ok = replacer.ProcessFile(TFileName(path));
        other.join();
        ::close(opened);
        const std::string text = ReadFileBytes(path).value_or("");
        const std::string newA = Replaced(a), newB = Replaced(b);
        const int which = text == a ? 0 : text == newA ? 1 : text == b ? 2 : text == newB ? 3 : -1;
        if (which < 0) {
            ++mixed;
            ADD_FAILURE() << (inPlace ? "rewritten in place" : "renamed over") << " at " << at
                          << " s: the file is a mix of both versions (" << (ok ? "" : "not ")
                          << "counted)";
        } else {
            ++outcomes[which];
        }
        if (which == 0) {
            EXPECT_FALSE(ok) << "counted, yet not rewritten";
        } else if (which == 1 || which == 3) {
            EXPECT_TRUE(ok) << "rewritten, yet not counted";
        }
        for (const auto& [rel, entry] : ListTree(dir.Path()))
            EXPECT_FALSE(IsRunTempName(rel)) << rel;
        if (mixed > 2)
            break;
    }
    std::printf("[ saves ] old %d, new %d, other's %d, other's finished %d, mixed %d\n",
                outcomes[0], outcomes[1], outcomes[2], outcomes[3], mixed);
}

#else

bool HasLeftovers(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind("~scrivox-", 0) == 0)
            return true;
    return false;
}

// Another program holds the file open. Without sharing, neither Find nor Touch can open it; with
// reading shared, Find reads it but cannot put the new content in its place. Either way it stays
// as it was and is not counted, and a backup, if one was made, is whole.
TEST(FaultChangingTree, FileHeldOpenByAnotherProgramIsSkippedByFindAndTouch) {
    TempDir dir;
    const std::string held = dir.Join("held.c");
    for (DWORD share : {DWORD(0), DWORD(FILE_SHARE_READ)}) {
        SCOPED_TRACE(share);
        dir.Write("held.c", "a cat");
        dir.Write("free.c", "a cat");
        std::filesystem::remove(dir.Join("Backup of free.c"));
        std::filesystem::remove(dir.Join("Backup of held.c"));
        FileTimes before;
        ASSERT_TRUE(GetFileTimes(held, before));
        HANDLE other = ::CreateFileW(WidePath(held).c_str(), GENERIC_READ, share, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);

        JobSettings job;
        job.folder = dir.Path();
        job.filter = "*.c";
        job.findText = "cat";
        job.replaceText = "dog";
        job.createBackups = true;
        RunCounts find = RunJob(job, nullptr);
        job.action = Action::Touch;
        job.touchTime = TimeFromUnix(2000000000, 0);
        RunCounts touch = RunJob(job, nullptr);
        ::CloseHandle(other);

        EXPECT_EQ(find.filesProcessed, 1);  // free.c
        EXPECT_EQ(find.replacementsMade, 1);
        EXPECT_EQ(dir.Read("free.c"), "a dog");
        EXPECT_EQ(dir.Read("held.c"), "a cat");
        if (dir.Exists("Backup of held.c")) {
            EXPECT_EQ(dir.Read("Backup of held.c"), "a cat");
        }
        EXPECT_FALSE(HasLeftovers(dir.Path()));
        EXPECT_EQ(touch.filesProcessed, dir.Exists("Backup of held.c") ? 3 : 2);
        FileTimes after;
        ASSERT_TRUE(GetFileTimes(held, after));
        EXPECT_EQ(after.lastWrite, before.lastWrite);
    }
}

#endif

}  // namespace
