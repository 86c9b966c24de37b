#include "framework/TFileNameIterator.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "framework/FileAttributes.h"
#include "framework/FileIdentity.h"
#include "framework/PathSyntax.h"
#include "framework/TFolder.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

std::set<std::string> Names(TFileNameIterator&& it) {
    std::set<std::string> names;
    while (it.Next())
        names.insert(it.Name());
    return names;
}

std::map<std::string, uint32_t> Search(const std::string& pattern) {
    std::map<std::string, uint32_t> found;
    for (TFileNameIterator it(pattern); it.Next();)
        found[it.Name()] = it.Attributes();
    return found;
}

TEST(TFileNameIterator, FindsNamesByPatternWithAttributes) {
    TempDir dir;
    dir.Write("a.cpp", "x");
    dir.Write("B.CPP", "x");
    dir.Write("c.h", "x");
    dir.Write("README", "x");
    dir.MakeFolder("sub.cpp");

    auto cpp = Search(dir.Join("*.cpp"));
    EXPECT_EQ(cpp.size(), 3u);
    EXPECT_TRUE(cpp.count("a.cpp") && cpp.count("B.CPP") && cpp.count("sub.cpp"));
    EXPECT_TRUE(cpp["sub.cpp"] & kAttrDirectory);
    EXPECT_FALSE(cpp["a.cpp"] & (kAttrDirectory | kAttrHidden | kAttrReadOnly | kAttrSpecial));

    auto all = Search(dir.Join("*.*"));
    EXPECT_TRUE(all.count("README"));
    EXPECT_TRUE(all.count("c.h"));
}

// The pattern is matched against each listed name itself. Windows' own search would also match
// the short name that the file system may give a long one (PAGE~1.HTM for page.html).
TEST(TFileNameIterator, PatternsMatchTheNameNotAShortName) {
    TempDir dir;
    dir.Write("page.html", "x");
    dir.Write("Long File Name.text", "x");
    EXPECT_TRUE(Search(dir.Join("*.htm")).empty());
    EXPECT_TRUE(Search(dir.Join("*~*")).empty());
    EXPECT_TRUE(Search(dir.Join("LONGFI*")).empty());
    EXPECT_EQ(Search(dir.Join("*.html")).size(), 1u);
    EXPECT_EQ(Search(dir.Join("*.TEXT")).size(), 1u);
}

TEST(TFileNameIterator, MissingFolderOrNoMatchYieldsNothing) {
    TempDir dir;
    EXPECT_TRUE(Search(dir.Join("none/*.*")).empty());
    EXPECT_TRUE(Search(dir.Join("*.zzz")).empty());
}

TEST(TFileNameIterator, IdentityIsTheSameWhateverPathReachesIt) {
    TempDir dir;
    dir.MakeFolder("x");
    FileIdentity a, b, c;
    ASSERT_TRUE(GetFileIdentity(dir.Join("x"), a));
    ASSERT_TRUE(GetFileIdentity(dir.Join("x") + kPathSeparator, b));
    ASSERT_TRUE(GetFileIdentity(dir.Path(), c));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a == c);
    EXPECT_FALSE(GetFileIdentity(dir.Join("none"), a));
}

// More names than one read of the folder takes. The folder is listed once: searches side by
// side see the same names, and a name made after the listing is found by none of them.
TEST(TFileNameIterator, OneListingServesEverySearchOfAFolder) {
    TempDir dir;
    std::set<std::string> all;
    for (int i = 0; i < 800; ++i) {
        std::string name = "a-name-long-enough-to-fill-a-read-quickly-" + std::to_string(i) + ".c";
        dir.Write(name, "");
        all.insert(name);
    }
    dir.Write("other.h", "");
    TFolder folder;
    ASSERT_TRUE(folder.Open(dir.Path() + kPathSeparator));
    ASSERT_TRUE(folder.List());
    TFileNameIterator first(folder, "*.c");
    for (int i = 0; i < 600; ++i)
        ASSERT_TRUE(first.Next());
    dir.Write("late.c", "");
    EXPECT_EQ(Names(TFileNameIterator(folder, "*.c")), all);
    EXPECT_EQ(Names(TFileNameIterator(folder, "*.*")).size(), all.size() + 1);  // no "." or ".."
    size_t rest = 0;
    while (first.Next())
        ++rest;
    EXPECT_EQ(rest, 200u);
}

#ifndef _WIN32
TEST(TFileNameIterator, PosixHiddenReadOnlyAndSpecialEntries) {
    TempDir dir;
    dir.Write(".hidden.c", "x");
    dir.Write("ro.c", "x");
    dir.Write("target.c", "x");
    ASSERT_EQ(::chmod(dir.Join("ro.c").c_str(), 0444), 0);
    ASSERT_EQ(::mkfifo(dir.Join("fifo.c").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("target.c", dir.Join("link.c").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dir.Join("dangling.c").c_str()), 0);
    dir.MakeFolder("real");
    ASSERT_EQ(::symlink("real", dir.Join("dirlink").c_str()), 0);

    auto found = Search(dir.Join("*.*"));
    EXPECT_TRUE(found[".hidden.c"] & kAttrHidden);
    EXPECT_TRUE(found["ro.c"] & kAttrReadOnly);
    EXPECT_TRUE(found["fifo.c"] & kAttrSpecial);
    // A link is a link, whatever it leads to.
    for (const char* link : {"link.c", "dangling.c", "dirlink"})
        EXPECT_EQ(found[link] & ~kAttrHidden, kAttrLink) << link;
    EXPECT_TRUE(found["real"] & kAttrDirectory);
    EXPECT_EQ(found["target.c"], 0u);
}
#endif

}  // namespace
