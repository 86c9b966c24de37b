// Find on a 4 MiB tmpfs that cannot take every file's new content: the files that do not fit
// keep their old content whole, the others are finished and reported, and no space stays taken.
#include <gtest/gtest.h>

#include <sys/statvfs.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "engine/FileProcessorBase.h"
#include "engine/Run.h"
#include "engine/RunReport.h"
#include "tests/fault/FaultSupport.h"
#include "tests/support/TempDir.h"

namespace {

constexpr size_t KiB = 1024;

class RecordingOwner final : public ReportOwner {
public:
    void ShowMessage(const std::string& text, const std::string&) override {
        shown.push_back(text);
    }
    std::vector<std::string> shown;
};

class FaultDiskFull : public ::testing::Test {
protected:
    void SetUp() override {
        base_.MakeFolder("disk");
        disk_ = base_.Join("disk");
        mount_ = std::make_unique<ScopedTmpfs>(disk_, "size=4m,mode=0755");
        if (!mount_->Mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here: " << mount_->Error();
    }

    uint64_t Free() const {
        struct statvfs vfs;
        EXPECT_EQ(::statvfs(disk_.c_str(), &vfs), 0);
        return uint64_t(vfs.f_bavail) * vfs.f_frsize;
    }

    std::string Path(const std::string& name) const { return disk_ + "/" + name; }

    void Put(const std::string& name, const std::string& content) {
        ASSERT_TRUE(WriteFileBytes(Path(name), content)) << name;
        files_[name] = content;
    }

    // Fills the disk until exactly `free` bytes are left.
    void LeaveFree(uint64_t free) {
        const uint64_t now = Free();
        ASSERT_GT(now, free);
        Put("ballast.dat", std::string(size_t(now - free), 'z'));
        ASSERT_EQ(Free(), free);
    }

    RunCounts Run(const std::string& find,
                  const std::string& replace,
                  bool backups,
                  RecordingOwner& owner) {
        JobSettings job;
        job.folder = disk_;
        job.filter = "*.c";
        job.findText = find;
        job.replaceText = replace;
        job.caseSensitive = true;
        job.createBackups = backups;
        return RunJob(job, &owner);
    }

    // Every file whole and as expected, and only the expected names on the disk.
    void ExpectDisk(const std::map<std::string, std::string>& expected) {
        std::map<std::string, std::string> found;
        for (const auto& [rel, entry] : ListTree(disk_))
            found[rel] = ReadFileBytes(Path(rel)).value_or("<unreadable>");
        EXPECT_EQ(found.size(), expected.size());
        for (const auto& [name, content] : expected) {
            auto it = found.find(name);
            if (it == found.end())
                ADD_FAILURE() << name << " is missing";
            else
                EXPECT_TRUE(it->second == content)
                    << name << ": " << it->second.size() << " bytes, expected " << content.size();
        }
        for (const auto& [name, content] : found)
            EXPECT_TRUE(expected.count(name)) << "stray " << name;
    }

    TempDir base_;
    std::string disk_;
    std::unique_ptr<ScopedTmpfs> mount_;
    std::map<std::string, std::string> files_;
};

// "abab...", `bytes` long: every pair a match of "ab".
std::string Pairs(size_t bytes) {
    std::string s;
    while (s.size() < bytes)
        s += "ab";
    return s;
}

// Every file's new content is twice its old, and 1,300 KiB are free: the small files fit, big.c
// (new 1,600 KiB) never does, whatever the order.
TEST_F(FaultDiskFull, FilesThatDoNotFitKeepTheirOldContent) {
    std::map<std::string, std::string> expected;
    for (int i = 0; i < 10; ++i) {
        std::string name = "s" + std::to_string(i) + ".c";
        Put(name, Pairs(4 * KiB));
        expected[name] = Pairs(8 * KiB);
    }
    const int64_t replacements = 10 * 2 * KiB;
    Put("plain.c", "no match here");
    Put("big.c", Pairs(800 * KiB));
    LeaveFree(1300 * KiB);
    const uint64_t freeBefore = Free();

    RecordingOwner owner;
    RunCounts counts = Run("ab", "abab", false, owner);

    for (const auto& [name, content] : files_)
        if (!expected.count(name))
            expected[name] = content;  // failed or without a match: as it was
    ExpectDisk(expected);
    EXPECT_EQ(counts.filesProcessed, 11);  // the small files and plain.c
    EXPECT_EQ(counts.replacementsMade, replacements);
    EXPECT_EQ(owner.shown, std::vector<std::string>{ReplaceReportText(11, replacements)});
    // Only the small files grew; no temporary file lives on, not even unlinked but open.
    EXPECT_EQ(Free(), freeBefore - 10 * 4 * KiB);
}

// Regression: a file rewritten in place (here, one with a second name) was emptied, then
// written, so a full disk left it cut short. Its new content (1,024 KiB) fits in the 1,300 KiB
// free as a copy, but not a second time over its own 512 KiB.
TEST_F(FaultDiskFull, InPlaceRewriteIsNotCutShortByAFullDisk) {
    Put("hl.c", Pairs(512 * KiB));
    ASSERT_EQ(::link(Path("hl.c").c_str(), Path("hl.txt").c_str()), 0);
    files_["hl.txt"] = files_["hl.c"];
    LeaveFree(1300 * KiB);
    const uint64_t freeBefore = Free();

    RecordingOwner owner;
    RunCounts counts = Run("ab", "abab", false, owner);

    ExpectDisk(files_);
    EXPECT_EQ(counts.filesProcessed, 0);
    EXPECT_EQ(Free(), freeBefore);
}

// A backup that does not fit stops its file before the file is touched; the new content itself
// would have fitted.
TEST_F(FaultDiskFull, BackupThatDoesNotFitLeavesTheFileAlone) {
    Put("shrink.c", Pairs(1024 * KiB));
    Put("t.c", "abab abab");
    LeaveFree(900 * KiB);
    const uint64_t freeBefore = Free();

    RecordingOwner owner;
    RunCounts counts = Run("abab", "ab", true, owner);

    auto expected = files_;
    expected["t.c"] = "ab ab";
    expected["Backup of t.c"] = "abab abab";
    ExpectDisk(expected);
    EXPECT_EQ(counts.filesProcessed, 1);
    EXPECT_EQ(counts.replacementsMade, 2);
    EXPECT_EQ(Free(), freeBefore - 4 * KiB);  // the backup of t.c, one page
}

}  // namespace
