#include "framework/FileReplacement.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/FileOperations.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

bool Replace(const std::string& path,
             const std::string& content,
             TFileReplacement::Method* method = nullptr) {
    TFileReplacement r;
    bool ok = r.Begin(path) && r.Write(content.data(), content.size()) && r.Commit();
    if (method)
        *method = r.UsedMethod();
    return ok;
}

size_t Leftovers(const std::string& folder) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += IsReplacementName(e.path().filename().string().c_str()) ? 1 : 0;
    return n;
}

#ifdef _WIN32
const char* kLeftover = "~scrivox-0000000a0001.tmp";
#else
const char* kLeftover = ".scrivox-AbC123.tmp";
#endif

TEST(FileReplacement, ReplacesTheContentInOneStep) {
    TempDir dir;
    dir.Write("a.txt", "old content");
    TFileReplacement::Method method;
    ASSERT_TRUE(Replace(dir.Join("a.txt"), "new", &method));
    EXPECT_EQ(method, TFileReplacement::Method::Rename);
    EXPECT_EQ(dir.Read("a.txt"), "new");
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
    EXPECT_FALSE(Replace(dir.Join("missing.txt"), "x"));
    EXPECT_FALSE(dir.Exists("missing.txt"));
}

TEST(FileReplacement, UncommittedReplacementLeavesTheFileAndNoTrace) {
    TempDir dir;
    dir.Write("a.txt", "old");
    {
        TFileReplacement r;
        ASSERT_TRUE(r.Begin(dir.Join("a.txt")));
        ASSERT_TRUE(r.Write("new", 3));
        EXPECT_EQ(Leftovers(dir.Path()), 1u);
        // A live replacement is not taken for a leftover.
        EXPECT_EQ(RemoveStaleReplacements(dir.Path()), 0);
    }
    EXPECT_EQ(dir.Read("a.txt"), "old");
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
}

TEST(FileReplacement, LeftoversOfAKilledRunAreRemoved) {
    TempDir dir;
    dir.Write(kLeftover, "half written");
    dir.Write("keep.tmp", "a user's file");
    EXPECT_TRUE(IsReplacementName(kLeftover));
    EXPECT_FALSE(IsReplacementName("keep.tmp"));
    EXPECT_EQ(RemoveStaleReplacements(dir.Path()), 1);
    EXPECT_FALSE(dir.Exists(kLeftover));
    EXPECT_TRUE(dir.Exists("keep.tmp"));
}

TEST(FileReplacement, BackupCopyIsWholeOrAbsent) {
    TempDir dir;
    dir.Write("a", "content");
    dir.Write("b", "older copy");
    TFile source;
    ASSERT_TRUE(source.OpenRead(dir.Join("a")));
    ASSERT_TRUE(CopyToBackup(source, TFileName(dir.Join("a")), "b"));
    EXPECT_EQ(dir.Read("b"), "content");
    dir.MakeFolder("c/x");
    EXPECT_FALSE(CopyToBackup(source, TFileName(dir.Join("a")), "c"));
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
}

#ifdef _WIN32
TEST(FileReplacement, KeepsTheFileAttributes) {
    TempDir dir;
    dir.Write("s.txt", "old");
    ASSERT_TRUE(SetFileAttributesA(dir.Join("s.txt").c_str(),
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(Replace(dir.Join("s.txt"), "new"));
    EXPECT_EQ(dir.Read("s.txt"), "new");
    DWORD attrs = GetFileAttributesA(dir.Join("s.txt").c_str());
    EXPECT_TRUE(attrs & FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(attrs & FILE_ATTRIBUTE_HIDDEN);
}
#else
TEST(FileReplacement, KeepsPermissionsAndReplacesALinksTarget) {
    TempDir dir;
    dir.Write("real.txt", "old");
    ASSERT_EQ(::chmod(dir.Join("real.txt").c_str(), 0751), 0);
    ASSERT_EQ(::symlink("real.txt", dir.Join("link.txt").c_str()), 0);
    ASSERT_TRUE(Replace(dir.Join("link.txt"), "new"));
    struct stat st;
    ASSERT_EQ(::lstat(dir.Join("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(dir.Join("real.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
    EXPECT_EQ(dir.Read("real.txt"), "new");
}

TEST(FileReplacement, HardLinkedFilesAreRewrittenInPlace) {
    TempDir dir;
    dir.Write("one.txt", "old");
    ASSERT_EQ(::link(dir.Join("one.txt").c_str(), dir.Join("two.txt").c_str()), 0);
    TFileReplacement::Method method;
    ASSERT_TRUE(Replace(dir.Join("one.txt"), "new content", &method));
    EXPECT_EQ(method, TFileReplacement::Method::InPlace);
    EXPECT_EQ(dir.Read("two.txt"), "new content");
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
}
#endif

// Replacements flushed as a group (or, where the system declines, each on its own) end exactly
// as replacements committed one by one, hard-linked files included.
TEST(FileReplacement, GroupFlushedReplacementsCommitWhole) {
    TempDir dir;
    std::vector<std::string> names = {"a.txt", "b.txt", "c.txt"};
    for (const std::string& name : names)
        dir.Write(name, "old " + name);
#ifndef _WIN32
    names.push_back("linked.txt");
    dir.Write("linked.txt", "old linked.txt");
    ASSERT_EQ(::link(dir.Join("linked.txt").c_str(), dir.Join("other name").c_str()), 0);
#endif
    for (size_t with = 1; with <= names.size(); ++with) {
        std::vector<std::unique_ptr<TFileReplacement>> group;
        std::vector<TFileReplacement*> pointers;
        for (size_t i = 0; i < with; ++i) {
            group.emplace_back(new TFileReplacement);
            const std::string content = "new " + std::to_string(with) + " " + names[i];
            ASSERT_TRUE(group.back()->Begin(dir.Join(names[i])));
            ASSERT_TRUE(group.back()->Write(content.data(), content.size()));
            group.back()->StartFlush();
            pointers.push_back(group.back().get());
        }
        const bool together = TFileReplacement::FlushTogether(pointers.data(), pointers.size());
        if (with == 1) {
            EXPECT_FALSE(together) << "one file gains nothing from a group flush";
        }
        for (auto& r : group)
            EXPECT_TRUE(r->Commit());
        for (size_t i = 0; i < with; ++i)
            EXPECT_EQ(dir.Read(names[i]), "new " + std::to_string(with) + " " + names[i]);
        EXPECT_EQ(Leftovers(dir.Path()), 0u);
    }
#ifndef _WIN32
    EXPECT_EQ(dir.Read("other name"), dir.Read("linked.txt"));
#endif
}

}  // namespace
