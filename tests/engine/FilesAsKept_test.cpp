// Files as people keep them: dates kept when asked, binary files left alone unless asked, UTF-16
// text found, excluded names and version-control folders never touched, by Find and Touch.
#include "engine/Run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/FileProcessorBase.h"
#include "framework/FileTimes.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using namespace std::string_literals;

class RecordingOwner final : public ReportOwner {
public:
    void ShowMessage(const std::string& text, const std::string&) override { report = text; }
    std::string report;
};

JobSettings Find(const std::string& folder, const std::string& filter) {
    JobSettings job;
    job.folder = folder;
    job.filter = filter;
    job.findText = "cat";
    job.replaceText = "dog";
    job.caseSensitive = true;
    return job;
}

TTime LastWrite(const std::string& path) {
    FileTimes times;
    EXPECT_TRUE(GetFileTimes(path, times)) << path;
    return times.lastWrite;
}

bool SetTime(const std::string& path, TTime time) {
    return SetLastWriteTime(path, time);
}

// A changed file keeps its last-write time when asked, whichever way its new content takes its
// place (a second hard link makes it an in-place rewrite), and its backup keeps it always.
TEST(FilesAsKept, KeepDatesKeepsTheLastWriteTimeOfChangedFiles) {
    TempDir dir;
    dir.Write("renamed.txt", "a cat");
    dir.Write("linked.txt", "a cat");
#ifdef _WIN32
    ASSERT_TRUE(
        CreateHardLinkA(dir.Join("other name").c_str(), dir.Join("linked.txt").c_str(), nullptr));
#else
    ASSERT_EQ(::link(dir.Join("linked.txt").c_str(), dir.Join("other name").c_str()), 0);
#endif
    const TTime old = TimeFromUnix(1500000000, 123400);
    for (const char* name : {"renamed.txt", "linked.txt"})
        ASSERT_TRUE(SetTime(dir.Join(name), old));
    JobSettings job = Find(dir.Path(), "*.txt");
    job.keepDates = true;
    job.createBackups = true;
    RunCounts counts = RunJob(job, nullptr);
    EXPECT_EQ(counts.filesProcessed, 2);
    for (const char* name : {"renamed.txt", "linked.txt"}) {
        EXPECT_EQ(dir.Read(name), "a dog") << name;
        EXPECT_EQ(LastWrite(dir.Join(name)), old) << name;
        EXPECT_EQ(LastWrite(dir.Join("Backup of "s + name)), old) << name;
    }
    // Without it, a changed file gets the time of the run.
    dir.Write("new.txt", "a cat");
    ASSERT_TRUE(SetTime(dir.Join("new.txt"), old));
    job.keepDates = false;
    job.filter = "new.txt";
    RunJob(job, nullptr);
    EXPECT_NE(LastWrite(dir.Join("new.txt")), old);
}

// A NUL among the first 64 KiB makes a file binary: Find leaves it unchanged and uncounted, and
// the report says how many; one past them, or UTF-16 text with its mark, is text.
TEST(FilesAsKept, BinaryFilesAreLeftAloneUnlessAsked) {
    TempDir dir;
    const std::string early = "a cat\0"s;
    const std::string late = std::string(64 * 1024, ' ') + "\0 a cat"s;
    const std::string utf16 =
        "\xFF\xFE"
        "c\0a\0t\0"s;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"early.bin", early}, {"late.bin", late}, {"utf16.bin", utf16}, {"text.bin", "a cat"}};
    for (const auto& [name, content] : files)
        dir.Write(name, content);
    RecordingOwner owner;
    RunCounts counts = RunJob(Find(dir.Path(), "*.bin"), &owner);
    EXPECT_EQ(counts.filesProcessed, 3);
    EXPECT_EQ(counts.binaryLeftAlone, 1);
    EXPECT_EQ(counts.failures, 0);
    EXPECT_EQ(owner.report, "3 files processed.\n3 replacements made.\n1 binary file left alone.");
    EXPECT_EQ(dir.Read("early.bin"), early);
    EXPECT_EQ(dir.Read("late.bin"), std::string(64 * 1024, ' ') + "\0 a dog"s);
    EXPECT_EQ(dir.Read("utf16.bin"),
              "\xFF\xFE"
              "d\0o\0g\0"s);

    JobSettings job = Find(dir.Path(), "early.bin");
    job.binaryFiles = true;
    counts = RunJob(job, &owner);
    EXPECT_EQ(counts.binaryLeftAlone, 0);
    EXPECT_EQ(owner.report, "1 file processed.\n1 replacement made.");
    EXPECT_EQ(dir.Read("early.bin"), "a dog\0"s);
}

// Names and folders left out, and version-control folders, are neither changed nor touched.
TEST(FilesAsKept, ExcludedNamesAndVersionControlFoldersAreLeftAsTheyAre) {
    TempDir dir;
    const std::vector<std::string> kept = {
        "app.min.js", "node_modules/lib.js", "sub/node_modules/x.js",
        ".git/HEAD",  "sub/.svn/a.js",       ".hg/hgrc"};
    for (const std::string& name : kept)
        dir.Write(name, "cat");
    dir.Write("app.js", "cat");
    dir.Write("sub/b.js", "cat");
    const TTime old = TimeFromUnix(1400000000, 0);
    for (const std::string& name : kept)
        ASSERT_TRUE(SetTime(dir.Join(name), old));
    for (Action action : {Action::Find, Action::Touch}) {
        JobSettings job = Find(dir.Path(), "*;!*.min.js;!node_modules/");
        job.action = action;
        job.touchTime = TimeFromUnix(1600000000, 0);
        EXPECT_EQ(RunJob(job, nullptr).filesProcessed, 2);
        for (const std::string& name : kept) {
            EXPECT_EQ(dir.Read(name), "cat") << name;
            EXPECT_EQ(LastWrite(dir.Join(name)), old) << name;
        }
    }
    EXPECT_EQ(dir.Read("app.js"), "dog");
    EXPECT_EQ(LastWrite(dir.Join("sub/b.js")), TimeFromUnix(1600000000, 0));
}

}  // namespace
