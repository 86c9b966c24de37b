#include "framework/FileOperations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "framework/FileTimes.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

TEST(FileOperations, CopyReplacesTargetAndKeepsLastWriteTime) {
    TempDir dir;
    dir.Write("a.txt", std::string("one\r\ntwo\0three", 14));
    dir.Write("b.txt", "old content that is longer");
    auto old = fs::last_write_time(dir.Join("a.txt")) - std::chrono::hours(240);
    fs::last_write_time(dir.Join("a.txt"), old);

    ASSERT_TRUE(CopyFileReplacing(dir.Join("a.txt"), dir.Join("b.txt")));
    EXPECT_EQ(dir.Read("b.txt"), dir.Read("a.txt"));
    EXPECT_EQ(fs::last_write_time(dir.Join("b.txt")), old);

    ASSERT_TRUE(CopyFileReplacing(dir.Join("a.txt"), dir.Join("new.txt")));
    EXPECT_EQ(dir.Read("new.txt"), dir.Read("a.txt"));
    EXPECT_FALSE(CopyFileReplacing(dir.Join("missing"), dir.Join("c.txt")));
    EXPECT_FALSE(dir.Exists("c.txt"));
}

TEST(FileOperations, OverwriteRewritesInPlace) {
    TempDir dir;
    dir.Write("src", "new");
    dir.Write("dst", "a much longer old content");
    ASSERT_TRUE(OverwriteFileContent(dir.Join("src"), dir.Join("dst")));
    EXPECT_EQ(dir.Read("dst"), "new");
    EXPECT_FALSE(OverwriteFileContent(dir.Join("src"), dir.Join("missing")));
    EXPECT_FALSE(dir.Exists("missing"));
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
    EXPECT_FALSE(g.OpenTruncate(dir.Join("missing")));
}

#ifndef _WIN32
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

// A name from the walk is reached through the folder the walk holds open, even once the
// folder's path leads elsewhere; a copy or move of it, which may outlive the folder, goes by path.
TEST(TFile, WalkNameIsReachedThroughItsOpenFolderAndItsCopiesByPath) {
    TempDir dir;
    dir.Write("old/f.c", "walked");
    TFolder folder;
    ASSERT_TRUE(folder.Open(dir.Join("old")));
    TFileName walked(dir.Join("old/f.c"));
    walked.SetFoundIn(&folder, true);
    const TFileName copy = walked;
    TFileName source(dir.Join("old/f.c"));
    source.SetFoundIn(&folder, true);
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

TEST(FileOperations, PosixCopyKeepsPermissionsAndReplacesLinksNotTheirTargets) {
    TempDir dir;
    dir.Write("a", "content");
    ASSERT_EQ(::chmod(dir.Join("a").c_str(), 0640), 0);
    dir.Write("elsewhere", "keep me");
    ASSERT_EQ(::symlink(dir.Join("elsewhere").c_str(), dir.Join("b").c_str()), 0);
    ASSERT_TRUE(CopyFileReplacing(dir.Join("a"), dir.Join("b")));
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
