#include "engine/FileRecurser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/FileProcessorBase.h"
#include "framework/PathSyntax.h"
#include "framework/TFileName.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace {

// Records every file handed over, relative to the walk's folder, with "/" separators.
class Recorder final : public FileProcessorBase {
public:
    explicit Recorder(std::string root) : root_(std::move(root)) {}
    bool ProcessFile(const TFileName& file) override {
        std::string rel = file.FullPath().substr(root_.size() + 1);
        std::replace(rel.begin(), rel.end(), kPathSeparator, '/');
        seen.push_back(rel);
        return true;
    }
    void ShowResult(ReportOwner&) override {}
    std::vector<std::string> seen;

private:
    std::string root_;
};

std::vector<std::string> Walk(const TempDir& dir, const std::string& filter, bool subfolders,
                              std::string folder = "") {
    Recorder recorder(dir.Path());
    FileRecurser walker(folder.empty() ? dir.Path() : folder, filter, subfolders, &recorder);
    EXPECT_TRUE(walker.Recurse());
    return recorder.seen;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

size_t IndexOf(const std::vector<std::string>& v, const std::string& s) {
    return static_cast<size_t>(std::find(v.begin(), v.end(), s) - v.begin());
}

void MakeHidden(const TempDir& dir, const std::string& rel) {
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(dir.Join(rel).c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
    (void)dir;
    (void)rel;  // on POSIX a leading dot hides; the callers name such files that way
#endif
}

void MakeReadOnly(const TempDir& dir, const std::string& rel) {
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(dir.Join(rel).c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(::chmod(dir.Join(rel).c_str(), 0444), 0);
#endif
}

TEST(FileRecurser, SplitsFiltersExactlyAsTyped) {
    struct Case {
        const char* text;
        std::vector<std::string> masks;
    } cases[] = {
        {"*.cpp;*.c;*.h", {"*.cpp", "*.c", "*.h"}},
        {"*.cpp; *.c", {"*.cpp", " *.c"}},
        {";", {"", ""}},
        {"*.c;", {"*.c", ""}},
        {"", {""}},
    };
    for (const Case& c : cases) {
        FileRecurser walker("x", c.text, true, nullptr);
        ASSERT_EQ(walker.FilterCount, static_cast<int>(c.masks.size())) << c.text;
        for (size_t i = 0; i < c.masks.size(); ++i)
            EXPECT_EQ(walker.Filters[i].Mask, c.masks[i]) << c.text;
    }
}

TEST(FileRecurser, WalksSubfoldersFirstThenFilesFilterByFilter) {
    TempDir dir;
    dir.Write("a.cpp", "");
    dir.Write("m.h", "");
    dir.Write("sub/b.cpp", "");
    dir.Write("sub/deeper/c.c", "");
    dir.Write("other/d.h", "");

    auto seen = Walk(dir, "*.cpp;*.c;*.h", true);
    ASSERT_EQ(Sorted(seen), Sorted({"a.cpp", "m.h", "sub/b.cpp", "sub/deeper/c.c", "other/d.h"}));
    EXPECT_LT(IndexOf(seen, "sub/deeper/c.c"), IndexOf(seen, "sub/b.cpp"));
    EXPECT_LT(IndexOf(seen, "sub/b.cpp"), IndexOf(seen, "a.cpp"));
    EXPECT_LT(IndexOf(seen, "other/d.h"), IndexOf(seen, "a.cpp"));
    EXPECT_LT(IndexOf(seen, "a.cpp"), IndexOf(seen, "m.h"));  // first filter's files first

    EXPECT_EQ(Sorted(Walk(dir, "*.cpp;*.c;*.h", false)), Sorted({"a.cpp", "m.h"}));
}

TEST(FileRecurser, FileMatchingTwoFiltersIsHandedOverTwice) {
    TempDir dir;
    dir.Write("main.c", "");
    dir.Write("x.c", "");
    auto seen = Walk(dir, "*.c;m*", false);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "main.c"), 2);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "x.c"), 1);
}

// Each filter searches the folder anew: what the processing of one filter's files made there
// is found by the later filters, in the folder walked and in its subfolders.
TEST(FileRecurser, FileMadeBetweenTwoFilterSearchesIsFoundByTheLater) {
    TempDir dir;
    dir.Write("sub/a.c", "");
    dir.Write("b.c", "");
    class Maker final : public FileProcessorBase {
    public:
        explicit Maker(const TempDir& dir) : dir_(dir) {}
        bool ProcessFile(const TFileName& file) override {
            std::string name(file.NameAndExtension());
            seen.push_back(name);
            if (name == "a.c")
                dir_.Write("sub/late-a.h", "");
            if (name == "b.c")
                dir_.Write("late-b.h", "");
            return true;
        }
        void ShowResult(ReportOwner&) override {}
        std::vector<std::string> seen;

    private:
        const TempDir& dir_;
    } maker(dir);
    FileRecurser walker(dir.Path(), "*.c;*.h", true, &maker);
    ASSERT_TRUE(walker.Recurse());
    EXPECT_EQ(maker.seen, (std::vector<std::string>{"a.c", "late-a.h", "b.c", "late-b.h"}));
}

TEST(FileRecurser, SkipsHiddenAndReadOnlyFilesButEntersHiddenFolders) {
    TempDir dir;
    dir.Write(".hid.c", "");
    MakeHidden(dir, ".hid.c");
    dir.Write("ro.c", "");
    MakeReadOnly(dir, "ro.c");
    dir.Write("ok.c", "");
    dir.Write(".sub/in.c", "");
    MakeHidden(dir, ".sub");
    dir.MakeFolder("folder.c");
    dir.Write("folder.c/inside.c", "");

    EXPECT_EQ(Sorted(Walk(dir, "*.c", true)), Sorted({"ok.c", ".sub/in.c", "folder.c/inside.c"}));
    EXPECT_EQ(Walk(dir, "*.c", false), std::vector<std::string>{"ok.c"});
}

#ifdef _WIN32
TEST(FileRecurser, SystemFilesAreHandedOver) {
    TempDir dir;
    dir.Write("sys.c", "");
    ASSERT_TRUE(SetFileAttributesA(dir.Join("sys.c").c_str(), FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(Walk(dir, "*.c", false), std::vector<std::string>{"sys.c"});
}
#endif

TEST(FileRecurser, FilterTextsThatFindLittleOrNothing) {
    TempDir dir;
    dir.Write("a.cpp", "");
    dir.Write("b.c", "");
    dir.Write("c.h", "");
    dir.Write("sub/d.c", "");
    EXPECT_EQ(Walk(dir, "*.cpp; *.c; *.h", false), std::vector<std::string>{"a.cpp"});
    EXPECT_TRUE(Walk(dir, ";", true).empty());
    EXPECT_TRUE(Walk(dir, "", true).empty());
    // A filter is a name pattern: one that reaches into another folder finds nothing.
    EXPECT_TRUE(Walk(dir, "sub/*.c", false).empty());
    EXPECT_TRUE(Walk(dir, "sub\\*.c", false).empty());
}

TEST(FileRecurser, MissingFolderCallsNothingAndTrailingSeparatorChangesNothing) {
    TempDir dir;
    dir.Write("a.c", "");
    dir.Write("s/b.c", "");
    EXPECT_TRUE(Walk(dir, "*.*", true, dir.Join("missing")).empty());
    EXPECT_EQ(Walk(dir, "*.c", true, dir.Path() + kPathSeparator), Walk(dir, "*.c", true));
}

TEST(FileRecurser, LongPathsAreWalked) {
    TempDir dir;
    std::string rel;
    while (rel.size() < 400)
        rel += std::string(40, 'd') + "/";
    dir.Write(rel + "deep.c", "");
    EXPECT_EQ(Walk(dir, "*.c", true), std::vector<std::string>{rel + "deep.c"});
}

#ifdef _WIN32
TEST(FileRecurser, DriveLetterWithOrWithoutSeparatorWalksTheRoot) {
    TempDir dir;  // its drive is the one walked
    const std::string drive = dir.Path().substr(0, 2);
    const std::string name = "scrivox-root-" + std::to_string(GetCurrentProcessId()) + ".c";
    const std::string file = drive + "\\" + name;
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no file can be made at the root of " << drive;
    CloseHandle(h);
    for (const std::string& root : {drive, drive + "\\"}) {
        Recorder recorder{drive};
        FileRecurser walker(root, "scrivox-root-*.c", false, &recorder);
        walker.Recurse();
        EXPECT_EQ(recorder.seen, std::vector<std::string>{name}) << root;
    }
    DeleteFileA(file.c_str());
}
#else
TEST(FileRecurser, FolderLinksAreEnteredButNeverBackIntoTheWalk) {
    TempDir dir;
    dir.Write("a/f.c", "");
    dir.Write("b/g.c", "");
    ASSERT_EQ(::symlink("..", dir.Join("a/up").c_str()), 0);      // back to an ancestor
    ASSERT_EQ(::symlink("../b", dir.Join("a/tob").c_str()), 0);   // across to a sibling
    ASSERT_EQ(::symlink(".", dir.Join("b/self").c_str()), 0);
    EXPECT_EQ(Sorted(Walk(dir, "*.c", true)), Sorted({"a/f.c", "a/tob/g.c", "b/g.c"}));
}

TEST(FileRecurser, FifosAndDevicesAreNeverHandedOver) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.Join("pipe.c").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.Join("null.c").c_str()), 0);
    dir.Write("real.c", "");
    EXPECT_EQ(Walk(dir, "*.c", true), std::vector<std::string>{"real.c"});
}

TEST(FileRecurser, PathsBeyondThePlatformLimitFailOnlyThemselves) {
    TempDir dir;
    dir.Write("top.c", "");
    // 25 levels of 200 characters: deeper than PATH_MAX, made one level at a time.
    const std::string component(200, 'p');
    int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string rel;
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
        int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        rel += component + "/";
        if (level == 5) {
            int f = ::openat(fd, "mid.c", O_WRONLY | O_CREAT, 0644);
            ASSERT_GE(f, 0);
            ::close(f);
        }
    }
    int f = ::openat(fd, "deep.c", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(f, 0);
    ::close(f);
    ::close(fd);
    std::string mid;
    for (int i = 0; i < 6; ++i)
        mid += component + "/";
    // The deep file lies beyond what the platform takes as a path; the rest is walked.
    EXPECT_EQ(Sorted(Walk(dir, "*.c", true)), Sorted({mid + "mid.c", "top.c"}));
    // Clean up from the inside out, since the folder is too deep for a path.
    std::string cmd = "rm -rf '" + dir.Path() + "/" + component + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}
#endif

}  // namespace
