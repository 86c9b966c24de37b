#include "engine/Replacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "framework/TFileName.h"
#include "tests/support/FindJob.h"
#include "tests/support/ReferenceScanner.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

bool Process(Replacer& replacer, const std::string& path) {
    return replacer.ProcessFile(TFileName(path));
}

// Moves a file's last-write time a year back, to whole seconds, and returns it.
fs::file_time_type MakeOld(const std::string& path) {
    auto old = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(path) -
                                                        std::chrono::hours(24 * 400));
    fs::last_write_time(path, old);
    return fs::last_write_time(path);
}

// Points the user's temporary folder somewhere else for one test.
class ScopedTempFolder {
public:
    explicit ScopedTempFolder(const std::string& folder) {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.push_back(value ? std::make_pair(true, std::string(value))
                                   : std::make_pair(false, std::string()));
            Set(name, &folder);
        }
    }
    ~ScopedTempFolder() {
        for (size_t i = 0; i < std::size(kNames); ++i)
            Set(kNames[i], saved_[i].first ? &saved_[i].second : nullptr);
    }

private:
#ifdef _WIN32
    static constexpr const char* kNames[] = {"TMP", "TEMP"};
    static void Set(const char* name, const std::string* value) {
        _putenv_s(name, value ? value->c_str() : "");
    }
#else
    static constexpr const char* kNames[] = {"TMPDIR"};
    static void Set(const char* name, const std::string* value) {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
#endif
    std::vector<std::pair<bool, std::string>> saved_;
};

#ifndef _WIN32
mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}
#endif

TEST(Replacer, FileWithoutReplacementIsCountedAndLeftAlone) {
    const std::string contents[] = {"", "no match in here\r\n", "concat cats", "ca"};
    for (const std::string& content : contents) {
        SCOPED_TRACE("content \"" + content + "\"");
        TempDir dir;
        dir.Write("a.txt", content);
        const auto old = MakeOld(dir.Join("a.txt"));
        Replacer replacer(FindJob("cat", "dog", true, true, /*createBackups=*/true));
        EXPECT_TRUE(Process(replacer, dir.Join("a.txt")));
        EXPECT_EQ(replacer.FilesProcessed, 1);
        EXPECT_EQ(replacer.ReplacementsMade, 0);
        EXPECT_EQ(dir.Read("a.txt"), content);
        EXPECT_EQ(fs::last_write_time(dir.Join("a.txt")), old);
        EXPECT_FALSE(dir.Exists("Backup of a.txt"));
    }
}

struct RewriteCase {
    const char* name;
    std::string content;
    std::string find, replace;
    bool caseSensitive, wholeWords;
    std::string expected;
    int replacements;
};

TEST(Replacer, RewritesFilesWithReplacements) {
    const RewriteCase cases[] = {
        {"match at the last byte", "x cat", "cat", "R", true, true, "x R", 1},
        {"match is the whole file", "cat", "cat", "R", true, true, "R", 1},
        {"CR LF, no last line end", "cat\r\nconcat\r\n cat", "cat", "dog", true, true,
         "dog\r\nconcat\r\n dog", 2},
        {"caseless to upper case", "abc Abc aBC xbc", "abc", "ABC", false, false, "ABC ABC ABC xbc",
         3},
        {"replace equal to find", "cat cat", "cat", "cat", true, false, "cat cat", 2},
        {"replace holds find", "aaa", "a", "aa", true, false, "aaaaaa", 3},
        {"binary bytes", std::string("\0cat\x1A\xFF", 6), "cat", "dog", true, true,
         std::string("\0dog\x1A\xFF", 6), 1},
    };
    for (const RewriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.Write("f.txt", c.content);
        const auto old = MakeOld(dir.Join("f.txt"));
        Replacer replacer(FindJob(c.find, c.replace, c.caseSensitive, c.wholeWords, true));
        replacer.BinaryFiles = true;
        EXPECT_TRUE(Process(replacer, dir.Join("f.txt")));
        EXPECT_EQ(replacer.FilesProcessed, 1);
        EXPECT_EQ(replacer.ReplacementsMade, c.replacements);
        EXPECT_EQ(dir.Read("f.txt"), c.expected);
        // Rewritten, even when the content came out the same: it gets the time of the run.
        EXPECT_GT(fs::last_write_time(dir.Join("f.txt")), old);
        EXPECT_EQ(dir.Read("Backup of f.txt"), c.content);
    }
}

TEST(Replacer, BackupNamesAndContent) {
    for (const char* name : {"a.b.txt", "Makefile", "x.c"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string backup = std::string("sub/Backup of ") + name;
        dir.Write(std::string("sub/") + name, "one cat\n");
        dir.Write(backup, "an older backup, longer than the file");
#ifndef _WIN32
        ::chmod(dir.Join(std::string("sub/") + name).c_str(), 0751);
#endif
        const auto old = MakeOld(dir.Join(std::string("sub/") + name));

        EXPECT_EQ(Replacer::BackupName(TFileName(dir.Join(std::string("sub/") + name))).FullPath(),
                  dir.Join(backup));
        Replacer replacer(FindJob("cat", "dog", true, false, true));
        EXPECT_TRUE(Process(replacer, dir.Join(std::string("sub/") + name)));
        EXPECT_EQ(dir.Read(std::string("sub/") + name), "one dog\n");
        EXPECT_EQ(dir.Read(backup), "one cat\n");
#ifndef _WIN32
        EXPECT_EQ(fs::last_write_time(dir.Join(backup)), old);
        EXPECT_EQ(Mode(dir.Join(backup)), 0751u);
        EXPECT_EQ(Mode(dir.Join(std::string("sub/") + name)), 0751u);
#else
        (void)old;
#endif
    }
}

TEST(Replacer, CountsAccumulateAndBackupsOnlyForRewrittenFiles) {
    TempDir dir, tmp;
    ScopedTempFolder scoped(tmp.Path());
    dir.Write("three.txt", "cat cat cat");
    dir.Write("none.txt", "dog");
    Replacer replacer(FindJob("cat", "x", true, true, true));
    EXPECT_TRUE(Process(replacer, dir.Join("three.txt")));
    EXPECT_TRUE(Process(replacer, dir.Join("none.txt")));
    EXPECT_EQ(replacer.FilesProcessed, 2);
    EXPECT_EQ(replacer.ReplacementsMade, 3);
    EXPECT_TRUE(dir.Exists("Backup of three.txt"));
    EXPECT_FALSE(dir.Exists("Backup of none.txt"));

    // Handed over a second time, a file this run has rewritten is not done again.
    EXPECT_FALSE(Process(replacer, dir.Join("three.txt")));
    EXPECT_EQ(replacer.FilesProcessed, 2);
    EXPECT_EQ(replacer.ReplacementsMade, 3);
    EXPECT_EQ(dir.Read("three.txt"), "x x x");
    EXPECT_TRUE(fs::is_empty(tmp.Path())) << "temporary files left behind";
}

TEST(Replacer, FileThatCannotBeReadIsNotCounted) {
    TempDir dir;
    Replacer replacer(FindJob("cat", "dog", true, false, true));
    EXPECT_FALSE(Process(replacer, dir.Join("missing.txt")));
    EXPECT_FALSE(dir.Exists("Backup of missing.txt"));
#ifndef _WIN32
    dir.Write("locked.txt", "cat");
    ::chmod(dir.Join("locked.txt").c_str(), 0);
    if (geteuid() != 0) {  // root reads it anyway
        EXPECT_FALSE(Process(replacer, dir.Join("locked.txt")));
        EXPECT_FALSE(dir.Exists("Backup of locked.txt"));
    }
#endif
    EXPECT_EQ(replacer.FilesProcessed, 0);
    EXPECT_EQ(replacer.ReplacementsMade, 0);
}

TEST(Replacer, NewContentIsMadeBesideTheFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    dir.Write("a.txt", "cat and cat");
    dir.Write("b.txt", "no match");
    Replacer replacer(FindJob("cat", "dog", true, false, true));
    {
        // The user's temporary folder plays no part while the file's own folder takes files.
        ScopedTempFolder tmp(dir.Join("no such folder"));
        EXPECT_TRUE(Process(replacer, dir.Join("a.txt")));
        EXPECT_TRUE(Process(replacer, dir.Join("b.txt")));
    }
    EXPECT_EQ(dir.Read("a.txt"), "dog and dog");
    EXPECT_EQ(dir.Read("Backup of a.txt"), "cat and cat");
    EXPECT_EQ(replacer.FilesProcessed, 2);
    EXPECT_EQ(replacer.ReplacementsMade, 2);
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir.Path()))
        entries += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(entries, 3u);  // a.txt, b.txt and the backup; no temporary file is left
}

#ifndef _WIN32
TEST(Replacer, FolderThatTakesNoNewFileFallsBackAndFailsCleanly) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into any folder";
    TempDir dir, tmpdir;
    dir.Write("ro/a.txt", "cat");
    ASSERT_EQ(::chmod(dir.Join("ro").c_str(), 0555), 0);
    Replacer replacer(FindJob("cat", "dog", true, false, false));
    {
        ScopedTempFolder tmp(tmpdir.Path());  // the content waits there, then is copied in place
        EXPECT_TRUE(Process(replacer, dir.Join("ro/a.txt")));
    }
    EXPECT_EQ(dir.Read("ro/a.txt"), "dog");
    dir.Write("ro2/b.txt", "cat");
    ASSERT_EQ(::chmod(dir.Join("ro2").c_str(), 0555), 0);
    {
        ScopedTempFolder tmp(dir.Join("no such folder"));  // and nowhere else either
        EXPECT_FALSE(Process(replacer, dir.Join("ro2/b.txt")));
    }
    EXPECT_EQ(dir.Read("ro2/b.txt"), "cat");
    EXPECT_EQ(replacer.FilesProcessed, 1);
    EXPECT_EQ(replacer.ReplacementsMade, 1);
}
#endif

TEST(Replacer, FailedBackupLeavesTheFileAndCountsNoReplacement) {
    TempDir dir;
    dir.Write("a.txt", "cat cat");
    dir.MakeFolder("Backup of a.txt/in the way");  // a folder where the backup must go
    Replacer replacer(FindJob("cat", "dog", true, false, true));
    EXPECT_FALSE(Process(replacer, dir.Join("a.txt")));
    EXPECT_EQ(dir.Read("a.txt"), "cat cat");
    EXPECT_EQ(replacer.FilesProcessed, 0);
    // Regression: the replacements of a file that was never rewritten are not reported.
    EXPECT_EQ(replacer.ReplacementsMade, 0);
}

TEST(Replacer, LargeFileMatchesAcrossBlocks) {
    const size_t B = BlockScanner::kDefaultBlockSize;
    std::mt19937 rng(7);
    const char* words[] = {"alpha ", "Needle ", "needle_x ", "beta\r\n", "xneedle ", "gamma. "};
    std::string content;
    while (content.size() < 3 * 1024 * 1024)
        content += words[rng() % std::size(words)];
    // Occurrences cut by every block end at every offset, and one at the very end.
    for (size_t k = 1; k * B < content.size(); ++k)
        content.replace(k * B - (k % 7), 8, " needle ");
    content += " NEEDLE";

    for (size_t block : {B, size_t{4093}}) {
        SCOPED_TRACE("block " + std::to_string(block));
        TempDir dir;
        dir.Write("big.txt", content);
        Replacer replacer(FindJob("needle", "pin", false, true, false), block);
        ReferenceResult ref = ReferenceReplace(content, "needle", "pin", false, true);
        ASSERT_GT(ref.replacements, 1000);
        EXPECT_TRUE(Process(replacer, dir.Join("big.txt")));
        EXPECT_EQ(replacer.ReplacementsMade, ref.replacements);
        EXPECT_TRUE(dir.Read("big.txt") == ref.output) << "content differs";
    }
}

#ifndef _WIN32
TEST(Replacer, RewriteKeepsPermissionsAndHardLinks) {
    TempDir dir;
    dir.Write("a.txt", "cat");
    ::chmod(dir.Join("a.txt").c_str(), 0640);
    fs::create_hard_link(dir.Join("a.txt"), dir.Join("link.txt"));
    Replacer replacer(FindJob("cat", "dog", true, false, false));
    EXPECT_TRUE(Process(replacer, dir.Join("a.txt")));
    EXPECT_EQ(dir.Read("a.txt"), "dog");
    EXPECT_EQ(dir.Read("link.txt"), "dog");
    EXPECT_EQ(fs::hard_link_count(dir.Join("a.txt")), 2u);
    EXPECT_EQ(Mode(dir.Join("a.txt")), 0640u);
}
#endif

}  // namespace

// Files that wait to be put in place together end exactly as files put in place one by one:
// the same content, backups and counts, whatever the order in which names come.
TEST(Replacer, WaitingFilesEndAsFilesPutInPlaceAtOnce) {
    // A file handed over again once rewritten (even while its new content waits) and a backup
    // are not done; a backup made over one replaces it.
    const std::vector<std::string> names = {"a.c", "b.c",    "a.c", "Backup of c.c",
                                            "c.c", "none.c", "b.c"};
    const std::vector<bool> done = {true, true, false, false, true, true, false};
    auto runWith = [&](size_t hold, TempDir& dir) {
        dir.Write("a.c", "cat");
        dir.Write("b.c", "cat cat");
        dir.Write("c.c", "a cat");
        dir.Write("Backup of c.c", "old cat");
        dir.Write("none.c", "dog");
        Replacer replacer(FindJob("cat", "cats", true, false, true));
        replacer.HoldFinishedFiles(hold);
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(Process(replacer, dir.Join(names[i])), done[i]) << names[i];
        replacer.FinishRun();
        return std::make_pair(replacer.FilesProcessed, replacer.ReplacementsMade);
    };
    TempDir one, many;
    auto counts1 = runWith(1, one);
    auto counts64 = runWith(64, many);
    EXPECT_EQ(counts64, counts1);
    EXPECT_EQ(counts1, std::make_pair(int64_t{4}, int64_t{4}));
    std::vector<std::string> files1, files64;
    for (const auto& e : fs::directory_iterator(one.Path()))
        files1.push_back(e.path().filename().string());
    for (const auto& e : fs::directory_iterator(many.Path()))
        files64.push_back(e.path().filename().string());
    std::sort(files1.begin(), files1.end());
    std::sort(files64.begin(), files64.end());
    ASSERT_EQ(files64, files1);
    for (const std::string& name : files1)
        EXPECT_EQ(many.Read(name), one.Read(name)) << name;
    EXPECT_EQ(one.Read("a.c"), "cats");
    EXPECT_EQ(one.Read("Backup of c.c"), "a cat");
    EXPECT_FALSE(one.Exists("Backup of Backup of c.c"));
}

TEST(Replacer, WaitingFilesStayOldUntilPutInPlace) {
    TempDir dir;
    for (int i = 0; i < 5; ++i)
        dir.Write("f" + std::to_string(i) + ".txt", "cat " + std::to_string(i));
    {
        Replacer replacer(FindJob("cat", "dog", true, false, false));
        replacer.HoldFinishedFiles(3);
        for (int i = 0; i < 2; ++i)
            EXPECT_TRUE(Process(replacer, dir.Join("f" + std::to_string(i) + ".txt")));
        // Waiting: still the old content, not yet counted.
        EXPECT_EQ(dir.Read("f0.txt"), "cat 0");
        EXPECT_EQ(replacer.FilesProcessed, 0);
        // The third fills the group: all three go in place.
        EXPECT_TRUE(Process(replacer, dir.Join("f2.txt")));
        EXPECT_EQ(dir.Read("f0.txt"), "dog 0");
        EXPECT_EQ(dir.Read("f2.txt"), "dog 2");
        EXPECT_EQ(replacer.FilesProcessed, 3);
        EXPECT_EQ(replacer.ReplacementsMade, 3);

        EXPECT_TRUE(Process(replacer, dir.Join("f3.txt")));
        // Saved by another program while it waits: that version stays and is not counted.
        dir.Write("f3.txt", "their cat, longer");
        EXPECT_TRUE(Process(replacer, dir.Join("f4.txt")));
    }  // the processor's end puts what waits in place
    EXPECT_EQ(dir.Read("f3.txt"), "their cat, longer");
    EXPECT_EQ(dir.Read("f4.txt"), "dog 4");
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir.Path()))
        entries += (void(e), 1);
    EXPECT_EQ(entries, 5u) << "a temporary file was left";
}
