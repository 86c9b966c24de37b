#include "ui/DoCommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/FileProcessorBase.h"
#include "framework/FileTimes.h"
#include "settings/TRegConfigFile.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempDir.h"

namespace {

struct Shown {
    std::string text, caption;
};

class RecordingOwner final : public ReportOwner {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        shown.push_back({text, caption});
    }
    std::vector<Shown> shown;
};

// Find with every option on but backups, as a first start has them.
JobSettings FindInputs(const std::string& folder) {
    JobSettings in;
    ApplyOptions(StoredOptions(), in);
    in.folder = folder;
    in.filter = "*.txt";
    in.findText = "cat";
    in.replaceText = "dog";
    return in;
}

DoHow How(TConfigFile& store, ReportOwner* owner) {
    DoHow how;
    how.store = &store;
    how.reportTo = owner;
    return how;
}

TEST(DoCommand, ChecksInputsInOrderAndOnlyTheFirstFailureCounts) {
    struct Case {
        const char* folder;
        const char* filter;
        const char* find;
        const char* replace;
        Action action;
        const char* message;
    } cases[] = {
        {"", "", "", "", Action::Find, "Enter folder."},
        {"", "*.c", "a", "b", Action::Touch, "Enter folder."},
        {"d", "", "", "", Action::Find, "Enter filter."},
        {"d", "*.c", "", "", Action::Find, "Enter search string."},
        {"d", "*.c", "a", "", Action::Find, "Enter replace string."},
        {"d", "*.c", "a", "", Action::Find, "deletes"},
        {"d", "*.c", "", "", Action::Touch, nullptr},
        {"d", "*.c", "a", "b", Action::Find, nullptr},
        // The folder is looked for last, whatever the action.
        {"missing", "", "a", "b", Action::Find, "Enter filter."},
        {"missing", "*.c", "a", "b", Action::Find, "Folder not found."},
        {"missing", "*.c", "", "", Action::Touch, "Folder not found."},
        {"a.txt", "*.c", "a", "b", Action::Find, "Folder not found."},
    };
    TempDir dir;
    dir.Write("a.txt", "a file, not a folder");
    for (const Case& c : cases) {
        JobSettings in;
        in.folder = std::string(c.folder) == "d" ? dir.Path() : *c.folder ? dir.Join(c.folder) : "";
        in.filter = c.filter;
        in.findText = c.find;
        in.replaceText = c.replace;
        in.action = c.action;
        if (c.message && std::string(c.message) == "deletes") {
            EXPECT_FALSE(CheckDoInputs(in, true));  // the command line's empty replace text
            continue;
        }
        auto message = CheckDoInputs(in);
        if (c.message)
            EXPECT_EQ(message, std::string(c.message));
        else
            EXPECT_FALSE(message);
    }
}

TEST(DoCommand, FirstStartOptionsAndActionValues) {
    ScratchRegistry scratch;
    TRegConfigFile store(scratch.Name());
    StoredOptions o = ReadStoredOptions(store);
    EXPECT_TRUE(o.subfolders && o.caseSensitive && o.wholeWords);
    EXPECT_FALSE(o.createBackups);
    EXPECT_EQ(o.action, Action::Find);
    EXPECT_TRUE(store.HasSection(kOptionsSection));  // reading leaves the empty key behind

    for (int stored : {0, 1, 3, -1, 2}) {
        ASSERT_TRUE(store.WriteInteger(kOptionsSection, "Action", stored));
        EXPECT_EQ(ReadStoredOptions(store).action, stored == 2 ? Action::Touch : Action::Find);
    }
}

TEST(DoCommand, RefusalStoresNothingAndRunsNothing) {
    ScratchRegistry scratch;
    TRegConfigFile store(scratch.Name());
    TempDir dir;
    dir.Write("a.txt", "cat");
    JobSettings in = FindInputs(dir.Path());
    in.replaceText.clear();
    in.subfolders = false;
    RecordingOwner owner;
    DoOutcome out = DoCommand(in, How(store, &owner));
    EXPECT_EQ(out.refusal, std::string("Enter replace string."));
    EXPECT_TRUE(owner.shown.empty());
    EXPECT_TRUE(store.EntryNames(kOptionsSection).empty());
    in = FindInputs(dir.Join("gone"));
    out = DoCommand(in, How(store, &owner));
    EXPECT_EQ(out.refusal, std::string("Folder not found."));
    EXPECT_TRUE(owner.shown.empty());
    EXPECT_TRUE(store.EntryNames(kOptionsSection).empty());
    EXPECT_EQ(dir.Read("a.txt"), "cat");
}

TEST(DoCommand, FindStoresItsOptionsRunsAndReportsOnce) {
    ScratchRegistry scratch;
    TRegConfigFile store(scratch.Name());
    TempDir dir;
    dir.Write("a.txt", "cat cat");
    dir.Write("b.txt", "none");
    JobSettings in = FindInputs(dir.Path());
    in.subfolders = false;
    in.caseSensitive = false;
    in.wholeWords = false;
    in.createBackups = true;
    RecordingOwner owner;
    DoOutcome out = DoCommand(in, How(store, &owner));
    ASSERT_FALSE(out.refusal);
    EXPECT_EQ(out.counts.filesProcessed, 2);
    EXPECT_EQ(out.counts.replacementsMade, 2);
    ASSERT_EQ(owner.shown.size(), 1u);
    EXPECT_EQ(owner.shown[0].text, "2 files processed.\n2 replacements made.");
    EXPECT_EQ(owner.shown[0].caption, "Replace");
    EXPECT_EQ(dir.Read("a.txt"), "dog dog");
    EXPECT_EQ(dir.Read("Backup of a.txt"), "cat cat");

    StoredOptions o = ReadStoredOptions(store);
    EXPECT_FALSE(o.subfolders || o.caseSensitive || o.wholeWords);
    EXPECT_TRUE(o.createBackups);
    EXPECT_EQ(store.ReadInteger(kOptionsSection, "Action", 0), 1);
    char text[20];
    store.ReadString(kOptionsSection, "CreateBackups", text, sizeof text, nullptr);
    EXPECT_STREQ(text, "yes");
}

TEST(DoCommand, TouchKeepsTheFindOptionsAndAnUnattendedRunShowsNothing) {
    ScratchRegistry scratch;
    TRegConfigFile store(scratch.Name());
    TempDir dir;
    dir.Write("a.txt", "content");
    JobSettings in = FindInputs(dir.Path());
    ASSERT_FALSE(DoCommand(in, How(store, nullptr)).refusal);  // Find, all options on but backups

    JobSettings touch;
    touch.folder = dir.Path();
    touch.filter = "*.txt";
    touch.action = Action::Touch;
    touch.subfolders = false;
    touch.caseSensitive = touch.wholeWords = false;  // hidden in Touch: not stored
    touch.createBackups = true;
    TDateTime picked{2001, 3, 1, 13, 45, 30};
    ASSERT_TRUE(DateTimeToTime(picked, touch.touchTime));
    DoOutcome out = DoCommand(touch, How(store, nullptr));
    EXPECT_EQ(out.counts.filesProcessed, 1);

    StoredOptions o = ReadStoredOptions(store);
    EXPECT_EQ(o.action, Action::Touch);
    EXPECT_FALSE(o.subfolders);
    EXPECT_TRUE(o.caseSensitive && o.wholeWords);
    EXPECT_FALSE(o.createBackups);
    FileTimes times;
    ASSERT_TRUE(GetFileTimes(dir.Join("a.txt"), times));
    EXPECT_EQ(times.lastWrite, touch.touchTime);
    EXPECT_EQ(dir.Read("a.txt"), "content");
}

}  // namespace
