#include "ui/PreviewCollector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/PathSyntax.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kSep(1, kPathSeparator);

std::vector<std::string> Listed(const PreviewCollector& preview) {
    std::vector<std::string> listed;
    for (const PreviewFile& f : preview.Files())
        listed.push_back(f.folder + "|" + f.name + "|" + std::to_string(f.replacements));
    std::sort(listed.begin(), listed.end());
    return listed;
}

// A real preview's walk: the files that would change, below the chosen folder, with their
// counts and diffs; nothing is written.
TEST(PreviewCollector, HearsAPreviewWalk) {
    TempDir dir;
    dir.Write("a.txt", "one\ntwo\n");
    dir.Write("sub/deeper/b.txt", "two two\n");
    dir.Write("sub/c.txt", "three\n");
    JobSettings job;
    job.folder = dir.Path();
    job.filter = "*.txt";
    job.findText = "two";
    job.replaceText = "2";
    job.mode = RunMode::Preview;
    // Typed with a trailing separator or without, the names below are the same.
    for (const std::string& folder : {dir.Path(), dir.Path() + kSep}) {
        job.folder = folder;
        PreviewCollector preview(folder, Action::Find);
        const RunCounts counts = RunJob(job, nullptr, &preview);
        EXPECT_EQ(counts.filesChanged, 2);
        EXPECT_EQ(Listed(preview),
                  (std::vector<std::string>{".|a.txt|1", "sub" + kSep + "deeper|b.txt|2"}));
        for (const PreviewFile& f : preview.Files()) {
            ASSERT_EQ(f.shown, PreviewFile::Shown::Diff) << f.name;
            const std::string label = f.folder == "." ? f.name : f.folder + kSep + f.name;
            EXPECT_EQ(preview.ChangesText(f).rfind("--- " + label + "\n+++ " + label + "\n", 0), 0u)
                << preview.ChangesText(f);
        }
    }
    EXPECT_EQ(dir.Read("a.txt"), "one\ntwo\n");
}

TEST(PreviewCollector, TouchListsFilesWithoutDiffs) {
    PreviewCollector preview("top", Action::Touch);
    preview.FileChanged("top" + kSep + "a.txt", 0);
    ASSERT_EQ(preview.Files().size(), 1u);
    EXPECT_EQ(preview.Files()[0].shown, PreviewFile::Shown::Touched);
    EXPECT_NE(preview.ChangesText(preview.Files()[0]).find("last-write time"), std::string::npos);
}

// Too large, binary, or past what the preview keeps: each gets a line of its own instead of a
// diff, and once the diffs kept fill the budget, no later file's diff is kept, however small.
TEST(PreviewCollector, KeepsWhatItShowsBounded) {
    const std::string big(100, 'x'), bigger(101, 'y');
    PreviewCollector preview("t", Action::Find, 200, 150);
    EXPECT_EQ(preview.ContentWanted(), 200u);
    auto hear = [&](const std::string& name, const std::string* oldText,
                    const std::string* newText) {
        preview.ChangeShown("t" + kSep + name, oldText, newText);
        preview.FileChanged("t" + kSep + name, 1);
    };
    const std::string a = "a\n", b = "b\n", nul("a\0", 2);
    hear("large", nullptr, nullptr);
    hear("binary", &nul, &b);
    hear("small", &a, &b);
    const std::string sameOld = "same\n";
    hear("same", &sameOld, &sameOld);
    hear("overflowing", &big, &bigger);  // its diff passes 150 bytes
    EXPECT_EQ(preview.ContentWanted(), 0u);
    preview.FileChanged("t" + kSep + "later", 1);  // not shown: nothing was wanted

    const std::vector<PreviewFile>& files = preview.Files();
    ASSERT_EQ(files.size(), 6u);
    EXPECT_EQ(files[0].shown, PreviewFile::Shown::TooLarge);
    EXPECT_NE(preview.ChangesText(files[0]).find("larger than 200 bytes"), std::string::npos);
    EXPECT_EQ(files[1].shown, PreviewFile::Shown::Binary);
    EXPECT_EQ(files[2].shown, PreviewFile::Shown::Diff);
    EXPECT_EQ(preview.ChangesText(files[2]), "--- small\n+++ small\n@@ -1 +1 @@\n-a\n+b\n");
    EXPECT_NE(preview.ChangesText(files[3]).find("stay the same"), std::string::npos);
    for (size_t i : {4, 5}) {
        EXPECT_EQ(files[i].shown, PreviewFile::Shown::OverBudget) << i;
        EXPECT_NE(preview.ChangesText(files[i]).find("no more than 150 bytes"), std::string::npos);
    }
    for (const PreviewFile& f : files)
        EXPECT_EQ(preview.ChangesText(f).find('\n') == std::string::npos, &f != &files[2])
            << f.name;
}

// A name is never a line of the diff: a line feed in it shows as '?' in the header.
TEST(PreviewCollector, HostileNamesStayInTheirHeaderLines) {
    PreviewCollector preview("t", Action::Find);
    const std::string name = "x\n+++ evil\n@@ -1 +1 @@";
    const std::string a = "a\n", b = "b\n";
    preview.ChangeShown("t" + kSep + name, &a, &b);
    preview.FileChanged("t" + kSep + name, 1);
    ASSERT_EQ(preview.Files().size(), 1u);
    EXPECT_EQ(preview.Files()[0].name, name);
    EXPECT_EQ(preview.ChangesText(preview.Files()[0]),
              "--- x?+++ evil?@@ -1 +1 @@\n+++ x?+++ evil?@@ -1 +1 @@\n@@ -1 +1 @@\n-a\n+b\n");
}

}  // namespace
