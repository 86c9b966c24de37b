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

#include "framework/win32/WidePath.h"
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

std::vector<std::string> Walk(const TempDir& dir,
                              const std::string& filter,
                              bool subfolders,
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

// However many filters match a file and however many names it has, it is handed over once,
// under the first name the walk finds it by.
TEST(FileRecurser, FileIsHandedOverOnceHoweverItIsReached) {
    TempDir dir;
    dir.Write("main.c", "");
    dir.Write("x.c", "");
    dir.Write("sub/inner.c", "");
#ifdef _WIN32
    ASSERT_TRUE(
        CreateHardLinkA(dir.Join("m-second.c").c_str(), dir.Join("main.c").c_str(), nullptr));
    ASSERT_TRUE(
        CreateHardLinkA(dir.Join("sub/m-third.c").c_str(), dir.Join("main.c").c_str(), nullptr));
#else
    ASSERT_EQ(::link(dir.Join("main.c").c_str(), dir.Join("m-second.c").c_str()), 0);
    ASSERT_EQ(::link(dir.Join("main.c").c_str(), dir.Join("sub/m-third.c").c_str()), 0);
#endif
    auto seen = Walk(dir, "*.c;m*", true);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "x.c"), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "sub/inner.c"), 1);
    EXPECT_EQ(seen[0], "sub/inner.c");  // the folder below comes first; the third name is its
    // one of main.c's three names, the first the walk met
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "sub/m-third.c"), 1);
}

// The folder is listed once: what the processing of one file makes there (a backup, a
// temporary file) is never handed over by the same walk, whichever filter it matches.
TEST(FileRecurser, FilesMadeDuringTheWalkAreNeverHandedOver) {
    TempDir dir;
    dir.Write("sub/a.c", "");
    dir.Write("b.c", "");
    class Maker final : public FileProcessorBase {
    public:
        explicit Maker(const TempDir& dir) : dir_(dir) {}
        bool ProcessFile(const TFileName& file) override {
            std::string name(file.NameAndExtension());
            seen.push_back(name);
            dir_.Write("sub/late-" + name + ".h", "");
            dir_.Write("late-" + name + ".h", "");
            dir_.Write("late-" + name + ".c", "");
            return true;
        }
        void ShowResult(ReportOwner&) override {}
        std::vector<std::string> seen;

    private:
        const TempDir& dir_;
    } maker(dir);
    FileRecurser walker(dir.Path(), "*.c;*.h", true, &maker);
    ASSERT_TRUE(walker.Recurse());
    EXPECT_EQ(maker.seen, (std::vector<std::string>{"a.c", "b.c"}));
}

// "!" items leave names out, whatever their place in the list; with a separator at the end
// they leave folders out, at any depth. A list made only of exclusions takes nothing.
TEST(FileRecurser, ExclusionsLeaveNamesAndFoldersOut) {
    TempDir dir;
    for (const char* rel : {"app.js", "app.min.js", "lib/util.js", "lib/util.min.js",
                            "node_modules/x/index.js", "lib/node_modules/y.js", "readme.txt"})
        dir.Write(rel, "");
    const struct {
        const char* filter;
        std::vector<std::string> taken;
    } cases[] = {
        {"*.js;!*.min.js",
         {"app.js", "lib/util.js", "lib/node_modules/y.js", "node_modules/x/index.js"}},
        {"!*.min.js;*.js;!node_modules/", {"app.js", "lib/util.js"}},
        {"*.*;!node_modules\\;!lib/", {"app.js", "app.min.js", "readme.txt"}},
        {"!*.js", {}},
        {"!;*.txt;!", {"readme.txt"}},  // "!" alone leaves nothing out
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sorted(Walk(dir, c.filter, true)), Sorted(c.taken)) << c.filter;
}

// No run enters a version-control folder, whatever the filter: a bulk replace there would
// break the repository.
TEST(FileRecurser, VersionControlFoldersAreNeverEntered) {
    TempDir dir;
    for (const char* rel : {".git/HEAD", ".git/refs/heads/master", ".hg/store/data", ".svn/entries",
                            "sub/.bzr/branch", "_darcs/prefs", "src/main.c", ".github/ci.yml"})
        dir.Write(rel, "master");
#ifdef _WIN32
    dir.Write("other/.GIT/config", "master");  // names compare as the file system does
#endif
    EXPECT_EQ(Sorted(Walk(dir, "*.*;*", true)), Sorted({".github/ci.yml", "src/main.c"}));
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

// Where the system lets links be made (an administrator, or developer mode; Wine makes none), a
// link is followed only to a file inside the chosen folder, and a link to a folder, inside or
// out, is never entered.
TEST(FileRecurser, WindowsLinksAreFollowedOnlyToFilesInsideTheFolder) {
    TempDir dir;
    dir.Write("tree/a/f.c", "");
    dir.Write("tree/b/h.txt", "");
    dir.Write("outside/o.c", "");
    const struct {
        const char* link;
        const char* target;
        DWORD flags;
    } links[] = {
        {"tree/a/h.c", "tree/b/h.txt", 0},
        {"tree/out.c", "outside/o.c", 0},
        {"tree/outdir", "outside", SYMBOLIC_LINK_FLAG_DIRECTORY},
        {"tree/b/up", "tree", SYMBOLIC_LINK_FLAG_DIRECTORY},
    };
    for (const auto& l : links) {
        const std::wstring link = WidePath(dir.Join(l.link));
        CreateSymbolicLinkW(link.c_str(), WidePath(dir.Join(l.target)).c_str(),
                            l.flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
        const DWORD attributes = GetFileAttributesW(link.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            GTEST_SKIP() << "no symbolic link can be made here";
    }
    Recorder recorder(dir.Join("tree"));
    FileRecurser walker(dir.Join("tree"), "*.c", true, &recorder);
    ASSERT_TRUE(walker.Recurse());
    EXPECT_EQ(Sorted(recorder.seen), Sorted({"a/f.c", "a/h.c"}));
}
#else
// A link is followed only to a file inside the chosen folder, compared by identity: a link that
// spells a path out of the folder and back in counts as inside, one that leads out does not.
// Links to folders are not entered; what they lead to inside is walked under its own name.
TEST(FileRecurser, LinksAreFollowedOnlyToFilesInsideTheFolder) {
    TempDir dir;
    dir.Write("tree/a/f.c", "");
    dir.Write("tree/b/g.c", "");
    dir.Write("tree/b/h.txt", "");
    dir.Write("outside/o.c", "");
    const std::string tree = dir.Join("tree");
    const std::string treeName = tree.substr(tree.rfind('/') + 1);
    const std::pair<const char*, std::string> links[] = {
        {"tree/a/up", ".."},           // back to an ancestor
        {"tree/a/tob", "../b"},        // across to a sibling
        {"tree/b/self", "."},          // to itself
        {"tree/a/h.c", "../b/h.txt"},  // a file no filter finds itself
        {"tree/a/roundabout.c",
         "../../" + treeName + "/../tree/b/h.txt"},  // the same, the long way
        {"tree/a/abs.c", tree + "/a/f.c"},           // absolute, inside
        {"tree/out.c", "../outside/o.c"},            // a file outside
        {"tree/outdir", "../outside"},               // a folder outside
        {"tree/b/dangling.c", "nowhere"},
    };
    for (const auto& [from, to] : links)
        ASSERT_EQ(::symlink(to.c_str(), dir.Join(from).c_str()), 0) << from;
    Recorder recorder(tree);
    FileRecurser walker(tree, "*.c", true, &recorder);
    ASSERT_TRUE(walker.Recurse());
    auto seen = Sorted(recorder.seen);
    // h.txt once, through whichever of its two links came first.
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "a/f.c");
    EXPECT_TRUE(seen[1] == "a/h.c" || seen[1] == "a/roundabout.c") << seen[1];
    EXPECT_EQ(seen[2], "b/g.c");

    // Nor into a folder the walk leaves out, a version-control folder among them.
    dir.Write("tree/.git/HEAD", "");
    dir.Write("tree/node_modules/m.c", "");
    ASSERT_EQ(::symlink("../.git/HEAD", dir.Join("tree/a/head.c").c_str()), 0);
    ASSERT_EQ(::symlink("../node_modules/m.c", dir.Join("tree/a/m.c").c_str()), 0);
    Recorder excluding(tree);
    FileRecurser leaving(tree, "*.c;!node_modules/", true, &excluding);
    ASSERT_TRUE(leaving.Recurse());
    EXPECT_EQ(Sorted(excluding.seen).size(), 3u);
    EXPECT_EQ(std::count(excluding.seen.begin(), excluding.seen.end(), "a/m.c"), 0);
    EXPECT_EQ(std::count(excluding.seen.begin(), excluding.seen.end(), "a/head.c"), 0);

    // Without subfolders only the folder's own names are looked at, but a link among them is
    // still followed to a file below it.
    Recorder top(tree);
    FileRecurser shallow(tree, "*.c", false, &top);
    ASSERT_EQ(::symlink("b/g.c", dir.Join("tree/g-link.c").c_str()), 0);
    ASSERT_TRUE(shallow.Recurse());
    EXPECT_EQ(top.seen, std::vector<std::string>{"g-link.c"});
}

TEST(FileRecurser, FifosAndDevicesAreNeverHandedOver) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.Join("pipe.c").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.Join("null.c").c_str()), 0);
    dir.Write("real.c", "");
    EXPECT_EQ(Walk(dir, "*.c", true), std::vector<std::string>{"real.c"});
}

// The walk acts relative to open folders, so folders deeper than any path the platform takes
// are walked like any other.
TEST(FileRecurser, PathsBeyondThePlatformLimitAreWalked) {
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
    }
    int f = ::openat(fd, "deep.c", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(f, 0);
    ::close(f);
    ::close(fd);
    EXPECT_EQ(Sorted(Walk(dir, "*.c", true)), Sorted({rel + "deep.c", "top.c"}));
    // Clean up from the inside out, since the folder is too deep for a path.
    std::string cmd = "rm -rf '" + dir.Path() + "/" + component + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}
#endif

}  // namespace
