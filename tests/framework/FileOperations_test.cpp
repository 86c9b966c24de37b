#include "framework/FileOperations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "framework/FileIdentity.h"
#include "framework/FileTimes.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#endif

namespace fs = std::filesystem;

namespace {

// A backup copy of the file at `from`, named like `to` in `to`'s folder.
bool Copy(const std::string& from, const std::string& to) {
    TFile source;
    const TFileName target(to);
    return source.OpenRead(from) &&
           CopyToBackup(source, target, std::string(target.NameAndExtension()));
}

TEST(FileOperations, BackupCopyReplacesTargetAndKeepsLastWriteTime) {
    TempDir dir;
    dir.Write("a.txt", std::string("one\r\ntwo\0three", 14));
    dir.Write("b.txt", "old content that is longer");
    auto old = fs::last_write_time(dir.Join("a.txt")) - std::chrono::hours(240);
    fs::last_write_time(dir.Join("a.txt"), old);

    ASSERT_TRUE(Copy(dir.Join("a.txt"), dir.Join("b.txt")));
    EXPECT_EQ(dir.Read("b.txt"), dir.Read("a.txt"));
    EXPECT_EQ(fs::last_write_time(dir.Join("b.txt")), old);

    ASSERT_TRUE(Copy(dir.Join("a.txt"), dir.Join("new.txt")));
    EXPECT_EQ(dir.Read("new.txt"), dir.Read("a.txt"));
    EXPECT_FALSE(Copy(dir.Join("missing"), dir.Join("c.txt")));
    EXPECT_FALSE(dir.Exists("c.txt"));
}

// The copy is of what the open file holds, from its start, wherever it was read up to, even
// once its name leads to another file.
TEST(FileOperations, BackupCopyIsOfTheOpenFileNotOfItsName) {
    TempDir dir;
    dir.Write("a.txt", "what was read");
    TFile source;
    ASSERT_TRUE(source.OpenRead(dir.Join("a.txt")));
    char buf[4];
    ASSERT_EQ(source.Read(buf, sizeof buf), 4);
    // Moved away rather than removed: Windows keeps a removed file's name until it is closed.
    fs::rename(dir.Join("a.txt"), dir.Join("moved.txt"));
    dir.Write("a.txt", "another file now");
    ASSERT_TRUE(CopyToBackup(source, TFileName(dir.Join("a.txt")), "Backup of a.txt"));
    EXPECT_EQ(dir.Read("Backup of a.txt"), "what was read");
}

TEST(FileOperations, RemoveTakesFilesAndEmptyFolders) {
    TempDir dir;
    dir.Write("f", "x");
    dir.MakeFolder("d");
    EXPECT_TRUE(RemoveFile(dir.Join("f")));
    EXPECT_TRUE(RemoveFile(dir.Join("d")));
    EXPECT_FALSE(RemoveFile(dir.Join("f")));
}

TEST(TFile, TemporaryFileIsNewEmptyAndUnique) {
    std::string a, b;
    TFile fa, fb;
    ASSERT_TRUE(fa.CreateTemp(a));
    ASSERT_TRUE(fb.CreateTemp(b));
    EXPECT_NE(a, b);
    EXPECT_EQ(fs::path(a).filename().string().substr(0, 3), "TFN");
    ASSERT_TRUE(fa.WriteAll("abc", 3));
    ASSERT_TRUE(fa.Close());
    ASSERT_TRUE(fb.Close());
    EXPECT_EQ(ReadWholeFile(a), "abc");
    EXPECT_EQ(fs::file_size(b), 0u);
    EXPECT_TRUE(RemoveFile(a));
    EXPECT_TRUE(RemoveFile(b));
}

TEST(TFile, ReadsToTheEndAndReportsMissingFiles) {
    TempDir dir;
    std::string content(300000, 'x');
    dir.Write("f", content);
    TFile f;
    ASSERT_TRUE(f.OpenRead(dir.Join("f")));
    std::string got;
    char buf[65536];
    long long n;
    while ((n = f.Read(buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    EXPECT_EQ(n, 0);
    EXPECT_EQ(got, content);
    TFile g;
    EXPECT_FALSE(g.OpenRead(dir.Join("missing")));
    // Reading at an offset leaves the position where it was.
    ASSERT_TRUE(g.OpenRead(dir.Join("f")));
    ASSERT_EQ(g.Read(buf, 10), 10);
    EXPECT_EQ(g.ReadAt(299998, buf, sizeof buf), 2);
    EXPECT_EQ(g.Read(buf, 5), 5);
    FileStamp stamp;
    ASSERT_TRUE(g.GetStamp(stamp));
    EXPECT_EQ(stamp.size, content.size());
}

std::string ReadAll(const TFileName& name) {
    TFile f;
    if (!f.OpenRead(name))
        return "(not opened)";
    std::string got;
    char buf[256];
    for (long long n; (n = f.Read(buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<size_t>(n));
    return got;
}

FileIdentity IdentityOf(const std::string& path) {
    FileIdentity identity;
    EXPECT_TRUE(GetFileIdentity(path, identity)) << path;
    return identity;
}

// Reads at an offset between reads, and a backup copy made meanwhile, leave the reads' own
// sequence alone, and the end comes at the file's length, by path and by a walk's name (opened
// so that the length cannot change).
TEST(TFile, ReadsAtOffsetsBetweenReadsKeepTheirPlace) {
    TempDir dir;
    std::string content;
    for (int i = 0; content.size() < 70000; ++i)
        content += std::to_string(i) + ",";
    dir.Write("d/f.c", content);
    TFolder folder;
    ASSERT_TRUE(folder.Open(dir.Join("d")));
    TFileName walked(dir.Join("d/f.c"));
    walked.SetFoundIn(&folder, IdentityOf(dir.Join("d/f.c")));
    for (bool byName : {false, true}) {
        TFile f;
        ASSERT_TRUE(byName ? f.OpenRead(walked) : f.OpenRead(dir.Join("d/f.c")));
        std::string got, at(10, '\0');
        char buf[4096];
        ASSERT_EQ(f.Read(buf, 1000), 1000);
        got.append(buf, 1000);
        ASSERT_EQ(f.ReadAt(50000, &at[0], at.size()), 10);
        EXPECT_EQ(at, content.substr(50000, 10));
        EXPECT_EQ(f.ReadAt(content.size() - 3, buf, sizeof buf), 3);
        EXPECT_EQ(f.ReadAt(content.size(), buf, sizeof buf), 0);
        int reads = 0;
        for (long long n; (n = f.Read(buf, sizeof buf)) > 0;) {
            got.append(buf, static_cast<size_t>(n));
            if (++reads == 3) {
                EXPECT_EQ(f.ReadAt(10, &at[0], at.size()), 10);
            } else if (reads == 5) {
                EXPECT_TRUE(CopyToBackup(f, TFileName(dir.Join("d/copy.c")), "copy.c"));
            }
        }
        EXPECT_EQ(got, content) << (byName ? "walk name" : "path");
        EXPECT_EQ(f.Read(buf, sizeof buf), 0);
        EXPECT_EQ(dir.Read("d/copy.c"), content);
    }
}

// What took a walk name since the walk saw it is not the file the walk handed over: another file
// under the name is not opened, while the file itself is, wherever the walk saw it.
TEST(TFile, WalkNameWhoseFileWasReplacedIsNotOpened) {
    TempDir dir;
    dir.Write("d/f.c", "seen");
    TFolder folder;
    ASSERT_TRUE(folder.Open(dir.Join("d")));
    TFileName walked(dir.Join("d/f.c"));
    walked.SetFoundIn(&folder, IdentityOf(dir.Join("d/f.c")));
    EXPECT_EQ(ReadAll(walked), "seen");
    // Renamed away, not removed, so that the new file cannot reuse its number.
    fs::rename(dir.Join("d/f.c"), dir.Join("d/kept"));
    dir.Write("d/f.c", "another file");
    EXPECT_EQ(ReadAll(walked), "(not opened)");
}

#ifndef _WIN32
// A name from the walk is reached through the folder the walk holds open, even once the
// folder's path leads elsewhere; a copy or move of it, which may outlive the folder, goes by path.
TEST(TFile, WalkNameIsReachedThroughItsOpenFolderAndItsCopiesByPath) {
    TempDir dir;
    dir.Write("old/f.c", "walked");
    TFolder folder;
    ASSERT_TRUE(folder.Open(dir.Join("old")));
    const FileIdentity seen = IdentityOf(dir.Join("old/f.c"));
    TFileName walked(dir.Join("old/f.c"));
    walked.SetFoundIn(&folder, seen);
    const TFileName copy = walked;
    TFileName source(dir.Join("old/f.c"));
    source.SetFoundIn(&folder, seen);
    const TFileName moved(std::move(source));
    ASSERT_EQ(std::rename(dir.Join("old").c_str(), dir.Join("moved").c_str()), 0);
    dir.Write("old/f.c", "by path");

    EXPECT_EQ(ReadAll(walked), "walked");
    EXPECT_EQ(ReadAll(copy), "by path");
    EXPECT_EQ(ReadAll(moved), "by path");
    const TTime t1 = TimeFromUnix(1500000000, 0), t2 = TimeFromUnix(1600000000, 0);
    ASSERT_TRUE(SetLastWriteTime(walked, t1));
    ASSERT_TRUE(SetLastWriteTime(copy, t2));
    FileTimes times;
    ASSERT_TRUE(GetFileTimes(dir.Join("moved/f.c"), times));
    EXPECT_EQ(times.lastWrite, t1);
    ASSERT_TRUE(GetFileTimes(dir.Join("old/f.c"), times));
    EXPECT_EQ(times.lastWrite, t2);
}

// A link that took a walk name is neither opened nor followed by Touch.
TEST(TFile, WalkNameThatNowLeadsElsewhereIsLeftAlone) {
    TempDir dir;
    dir.Write("d/f.c", "seen");
    dir.Write("elsewhere", "not to be touched");
    TFolder folder;
    ASSERT_TRUE(folder.Open(dir.Join("d")));
    TFileName walked(dir.Join("d/f.c"));
    walked.SetFoundIn(&folder, IdentityOf(dir.Join("d/f.c")));
    ASSERT_EQ(::rename(dir.Join("d/f.c").c_str(), dir.Join("d/kept").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Join("elsewhere").c_str(), dir.Join("d/f.c").c_str()), 0);
    EXPECT_EQ(ReadAll(walked), "(not opened)");
    FileTimes before, after;
    ASSERT_TRUE(GetFileTimes(dir.Join("elsewhere"), before));
    (void)SetLastWriteTime(walked, TimeFromUnix(1500000000, 0));
    ASSERT_TRUE(GetFileTimes(dir.Join("elsewhere"), after));
    EXPECT_EQ(after.lastWrite, before.lastWrite);
}

TEST(FileOperations, PosixBackupCopyKeepsPermissionsAndReplacesLinksNotTheirTargets) {
    TempDir dir;
    dir.Write("a", "content");
    ASSERT_EQ(::chmod(dir.Join("a").c_str(), 0640), 0);
    dir.Write("elsewhere", "keep me");
    ASSERT_EQ(::symlink(dir.Join("elsewhere").c_str(), dir.Join("b").c_str()), 0);
    ASSERT_TRUE(Copy(dir.Join("a"), dir.Join("b")));
    struct stat st;
    ASSERT_EQ(::lstat(dir.Join("b").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Read("elsewhere"), "keep me");
}

TEST(TFile, PosixTemporaryFilesGoToTmpdir) {
    TempDir dir;
    const char* old = ::getenv("TMPDIR");
    std::string saved = old ? old : "";
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
    std::string name;
    TFile f;
    bool made = f.CreateTemp(name);
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    ASSERT_TRUE(made);
    EXPECT_EQ(name.rfind(dir.Path() + "/TFN", 0), 0u);
    struct stat st;
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);  // private to its owner
}
#endif

}  // namespace
