// The options of one run, end to end: what they change, that they are never stored, and what
// the program prints and exits with.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/ReferenceScanner.h"
#include "tests/ui/ScrivoxCliFixture.h"

namespace {

const std::string kDefaults = std::string("REGEDIT4\n\n") +
                              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\Options]\n"
                              "\"Subfolders\"=\"yes\"\n\"CaseSensitive\"=\"yes\"\n"
                              "\"WholeWords\"=\"yes\"\n\"CreateBackups\"=\"no\"\n"
                              "\"Action\"=dword:00000001\n\"KeepDates\"=\"no\"\n"
                              "\"Binary\"=\"no\"\n";

std::string OptionsOf(const std::string& reg) {
    const size_t at = reg.find("Scrivox\\Options]");
    if (at == std::string::npos)
        return "";
    std::string options = reg.substr(at, reg.find("\n\n", at) - at);
    while (!options.empty() && options.back() == '\n')
        options.pop_back();
    return options;
}

int64_t MtimeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtim.tv_sec;
}

// -i, --substrings and -b change the run, -l lists exactly the changed files with their counts,
// and the stored options stay as they were.
TEST_F(ScrivoxCli, RunOnlyOptionsChangeTheRunAndAreNeverStored) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.c", "Token tokens TOKEN"}, {"sub/b.c", "my_token"}, {"c.c", "nothing"}};
    for (const auto& [name, content] : files)
        tree_.Write(name, content);
    WriteUserReg(kDefaults);
    Result r = Run({"-ibl", "--substrings", tree_.Path(), "*.c", "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "sub/b.c:1\na.c:3\n3 files processed.\n4 replacements made.\n");
    for (const auto& [name, content] : files)
        EXPECT_EQ(tree_.Read(name), ReferenceReplace(content, "token", "T", false, false).output);
    EXPECT_TRUE(tree_.Exists("Backup of a.c"));
    EXPECT_TRUE(tree_.Exists("sub/Backup of b.c"));
    EXPECT_EQ(OptionsOf(UserReg()), OptionsOf(kDefaults));

    // --whole-words --case-sensitive --no-backup over the stored opposites, quietly.
    WriteUserReg(std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\") +
                 "Options]\n\"CaseSensitive\"=\"no\"\n\"WholeWords\"=\"no\"\n"
                 "\"CreateBackups\"=\"yes\"\n");
    const std::string stored = OptionsOf(UserReg());
    tree_.Write("d.c", "x X xx");
    r = Run({"-qw", "--case-sensitive", "--no-backup", tree_.Path(), "d.c", "x", "y"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(tree_.Read("d.c"), "y X xx");
    EXPECT_FALSE(tree_.Exists("Backup of d.c"));
    EXPECT_NE(OptionsOf(UserReg()).find(stored.substr(stored.find('\n'))), std::string::npos);
}

// Without a store the defaults hold (case-sensitive, whole words), and the store is neither
// read nor written: absent it stays absent, present it stays byte for byte as it was.
TEST_F(ScrivoxCli, NoStoreNeitherReadsNorWritesTheStore) {
    tree_.Write("a.c", "token Token tokens");
    Result r = Run({"--no-store", tree_.Path(), "*.c", "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tree_.Read("a.c"), "T Token tokens");
    EXPECT_FALSE(home_.Exists("scrivox"));

    const std::string reg = kDefaults + "\"Ignored\"=\"because\"\n";
    WriteUserReg(reg);
    tree_.Write("a.c", "token Token tokens");
    r = Run({"--no-store", "-r-", "-i", tree_.Path(), "*.c", "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tree_.Read("a.c"), "T T tokens");
    EXPECT_EQ(UserReg(), reg);
}

TEST_F(ScrivoxCli, AnEmptyReplaceDeletesTheText) {
    tree_.Write("a.txt", "one, two, one");
    Result r = Run({"--substrings", tree_.Path(), "*.txt", "one", ""});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tree_.Read("a.txt"), ", two, ");
    EXPECT_EQ(r.out, "1 file processed.\n2 replacements made.\n");
    // No empty entry in the histories.
    EXPECT_EQ(UserReg().find("History Lists\\Replace"), std::string::npos);
}

// --touch with a time, local or in seconds since 1970, needs no FIND or REPLACE and leaves the
// stored action alone; --find runs Find though Touch is stored.
TEST_F(ScrivoxCli, TouchAtAGivenTimeAndFindOverAStoredTouch) {
    tree_.Write("a.txt", "token");
    tree_.Write("sub/b.txt", "token");
    WriteUserReg(kDefaults);
    Result r = Run({"--touch=@1600000000", "-l", tree_.Path(), "*.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "sub/b.txt\na.txt\n2 files processed.\n");
    EXPECT_EQ(MtimeOf(tree_.Join("a.txt")), 1600000000);
    EXPECT_EQ(MtimeOf(tree_.Join("sub/b.txt")), 1600000000);
    EXPECT_EQ(tree_.Read("a.txt"), "token");
    EXPECT_NE(UserReg().find("\"Action\"=dword:00000001"), std::string::npos);

    env_ = "TZ=CET-1CEST,M3.5.0,M10.5.0/3";  // summer time on that date: two hours ahead
    r = Run({"--touch=2021-06-01 12:00:00", tree_.Path(), "a.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(MtimeOf(tree_.Join("a.txt")), 1622541600);

    WriteUserReg(std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\") +
                 "Options]\n\"Action\"=dword:00000002\n");
    r = Run({"--find", tree_.Path(), "a.txt", "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tree_.Read("a.txt"), "T");
    EXPECT_NE(UserReg().find("\"Action\"=dword:00000002"), std::string::npos);
}

// A file that cannot be done is named on standard error with the reason, the others are done
// and counted, and the exit code is 1; colour, when asked for, marks the list and the reason.
TEST_F(ScrivoxCli, FilesThatFailAreNamedAndTheExitCodeIsOne) {
    tree_.Write("a.c", "token");
    tree_.Write("b.c", "token");
    tree_.Write("Backup of a.c/in the way", "");  // a folder where the backup goes
    Result r = Run({"-b", "--color=always", "-l", tree_.Path(), "*.c", "token", "T"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "scrivox: " + tree_.Join("a.c") +
                         ": \033[31mcannot be backed up: Is a directory\033[0m\n");
    EXPECT_EQ(r.out,
              "\033[35mb.c\033[0m:\033[32m1\033[0m\n1 file processed.\n1 replacement made.\n");
    EXPECT_EQ(tree_.Read("a.c"), "token");
    EXPECT_EQ(tree_.Read("b.c"), "T");
}

// Binary files are left alone unless --binary says otherwise; standard error says how many, and
// with --list names each. --keep-dates keeps a changed file's time.
TEST_F(ScrivoxCli, BinaryFilesAndKeptDates) {
    tree_.Write("a.bin", std::string("cat\0", 4));
    tree_.Write("b.txt", "cat");
    WriteUserReg(kDefaults);
    Result r = Run({"-l", tree_.Path(), "*", "cat", "dog"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "b.txt:1\n1 file processed.\n1 replacement made.\n");
    EXPECT_EQ(r.err, "scrivox: " + tree_.Join("a.bin") + ": binary; left alone\n" +
                         "scrivox: 1 binary file left alone; --binary takes them too\n");
    EXPECT_EQ(tree_.Read("a.bin"), std::string("cat\0", 4));

    const int64_t before = MtimeOf(tree_.Join("a.bin")) - 100000;
    struct timespec times[2] = {{0, UTIME_OMIT}, {before, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree_.Join("a.bin").c_str(), times, 0), 0);
    r = Run({"--binary", "--keep-dates", tree_.Path(), "a.bin", "cat", "dog"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(tree_.Read("a.bin"), std::string("dog\0", 4));
    EXPECT_EQ(MtimeOf(tree_.Join("a.bin")), before);
    EXPECT_EQ(OptionsOf(UserReg()), OptionsOf(kDefaults));  // neither was stored
}

}  // namespace
