#include "framework/TFileName.h"

#include <gtest/gtest.h>

#include "framework/PathSyntax.h"

namespace {

std::string P(std::string s) {
    for (char& c : s)
        if (c == '/')
            c = kPathSeparator;
    return s;
}

TEST(TFileName, SplitsFolderBaseNameAndExtension) {
    struct Case {
        const char* path;
        const char* folder;
        const char* base;
        const char* ext;
    } cases[] = {
        {"d/a.txt", "d/", "a", ".txt"},
        {"d/a.b.txt", "d/", "a.b", ".txt"},
        {"d/Makefile", "d/", "Makefile", ""},
        {"d.x/Makefile", "d.x/", "Makefile", ""},
        {"d/.profile", "d/", "", ".profile"},
        {"name.", "", "name", "."},
        {"/", "/", "", ""},
    };
    for (const Case& c : cases) {
        TFileName f(P(c.path));
        EXPECT_EQ(f.Folder(), P(c.folder)) << c.path;
        EXPECT_EQ(f.BaseName(), c.base) << c.path;
        EXPECT_EQ(f.Extension(), c.ext) << c.path;
        EXPECT_EQ(f.FullPath(), P(c.path));
    }
}

TEST(TFileName, ReplacingTheBaseNameKeepsFolderAndExtension) {
    TFileName f(P("d/a.b.txt"));
    f.SetBaseName("Backup of " + std::string(f.BaseName()));
    EXPECT_EQ(f.FullPath(), P("d/Backup of a.b.txt"));
    EXPECT_EQ(f.BaseName(), "Backup of a.b");
    EXPECT_EQ(f.NameAndExtension(), "Backup of a.b.txt");

    TFileName m(P("d.x/Makefile"));
    m.SetBaseName("Backup of Makefile");
    EXPECT_EQ(m.FullPath(), P("d.x/Backup of Makefile"));
}

#ifdef _WIN32
TEST(TFileName, DriveDesignatorBelongsToTheFolder) {
    TFileName f("C:a.txt");
    EXPECT_EQ(f.Folder(), "C:");
    EXPECT_EQ(f.BaseName(), "a");
    TFileName g("C:/x\\y.c");
    EXPECT_EQ(g.Folder(), "C:/x\\");
}
#endif

}  // namespace
