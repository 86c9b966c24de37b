// Runs the built `scrivox` program as a user would, with its store in a folder of the test's own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "tests/support/LockHolder.h"
#include "tests/support/ReferenceScanner.h"
#include "tests/support/TempDir.h"
#include "tests/ui/ScrivoxCliFixture.h"

namespace {

constexpr const char* kOptionsKey = "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\Options]";

// A few hundred files with the token in every form: whole, embedded, other case, at the ends.
std::vector<std::string> MakeTree(const TempDir& tree) {
    std::mt19937 rng(7);
    const char* words[] = {"token",  "Token",   "TOKEN", "tokens", "my_token", "x",
                           "token9", "(token)", "\r\n",  "\n",     " ",        "."};
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        std::string name = "d" + std::to_string(i % 7) + "/e" + std::to_string(i % 3) + "/f" +
                           std::to_string(i) +
                           (i % 4 == 0   ? ".h"
                            : i % 4 == 1 ? ".c"
                                         : ".txt");
        std::string content;
        for (int w = static_cast<int>(rng() % 40); w > 0; --w)
            content += words[rng() % 12];
        tree.Write(name, content);
        names.push_back(name);
    }
    return names;
}

// A command line that cannot be run says why in one line and exits 2, having run and stored
// nothing; --help and --version go to standard output and exit 0.
TEST_F(ScrivoxCli, WrongCommandLinesSayWhyAndRunNothing) {
    tree_.Write("a.c", "token");
    tree_.Write("file.c", "token");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{},
         "scrivox: missing FOLDER and FILTER and FIND and REPLACE; scrivox --help shows the "
         "usage"},
        {{tree_.Path(), "*.c", "token"},
         "scrivox: missing REPLACE; scrivox --help shows the usage"},
        {{tree_.Path(), "", "token", "T"}, "scrivox: the filter is empty"},
        {{"", "*.c", "token", "T"}, "scrivox: the folder is empty"},
        {{tree_.Path(), "*.c", "", "T"}, "scrivox: the text to find is empty"},
        // What the shell makes of an unquoted *.c in a folder with two such files.
        {{tree_.Path(), "a.c", "file.c", "token", "T"},
         "scrivox: too many texts (5; FOLDER FILTER FIND REPLACE); quote the filter so that the "
         "shell does not expand it: '*.txt'"},
        {{"-y", tree_.Path(), "*.c", "token", "T"},
         "scrivox: unknown option '-y'; scrivox --help lists the options"},
        {{"-ix", tree_.Path(), "*.c", "token", "T"},
         "scrivox: unknown option '-x'; scrivox --help lists the options"},
        {{"--list=yes", tree_.Path(), "*.c", "token", "T"},
         "scrivox: option '--list' takes no value"},
        {{"--color=sometimes", tree_.Path(), "*.c", "token", "T"},
         "scrivox: unknown --color value 'sometimes'; use auto, always or never"},
        {{"--touch=tomorrow", tree_.Path(), "*.c"},
         "scrivox: bad time 'tomorrow'; give 'YYYY-MM-DD HH:MM[:SS]' (local time) or '@SECONDS' "
         "(since 1970, UTC)"},
        {{tree_.Join("missing"), "*.c", "token", "T"},
         "scrivox: cannot walk '" + tree_.Join("missing") + "': No such file or directory"},
        {{tree_.Join("a.c"), "*.c", "token", "T"},
         "scrivox: cannot walk '" + tree_.Join("a.c") + "': Not a directory"},
    };
    for (const auto& c : cases) {
        Result r = Run(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.err;
        EXPECT_EQ(r.out, "") << c.err;
        EXPECT_EQ(r.err, c.err + "\n");
    }
    EXPECT_EQ(UserReg(), "");  // nothing run, nothing stored
    EXPECT_EQ(tree_.Read("a.c"), "token");

    for (const char* help : {"--help", "-h"}) {
        Result r = Run({help, tree_.Path()});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind("usage: scrivox [OPTIONS]", 0), 0u);
        for (const char* option :
             {"--ignore-case", "--whole-words", "--backup", "--find", "--touch[=TIME]", "--list",
              "--quiet", "--no-store", "--color=WHEN", "Exit status", "user.reg"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
        EXPECT_EQ(r.err, "");
    }
    Result r = Run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "scrivox " SCRIVOX_VERSION "\n");
    EXPECT_EQ(UserReg(), "");
}

TEST_F(ScrivoxCli, FindRunChangesTheTreeAndKeepsOptionsAndHistories) {
    auto names = MakeTree(tree_);
    std::vector<std::string> before;
    for (auto& n : names)
        before.push_back(tree_.Read(n));

    Result r = Run({tree_.Path(), "*.c;*.h", "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    long long files = 0, replacements = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        bool matched = names[i].size() > 2 && names[i].substr(names[i].size() - 2) != "xt";
        // The stored defaults: case sensitive, whole words.
        ReferenceResult ref = ReferenceReplace(before[i], "token", "T", true, true);
        EXPECT_EQ(tree_.Read(names[i]), matched ? ref.output : before[i]) << names[i];
        if (matched) {
            ++files;
            replacements += ref.replacements;
        }
    }
    EXPECT_EQ(r.out, std::to_string(files) + " files processed.\n" + std::to_string(replacements) +
                         " replacements made.\n");

    std::string reg = UserReg();
    EXPECT_EQ(reg.rfind("REGEDIT4", 0), 0u);
    EXPECT_NE(
        reg.find(std::string(kOptionsKey) +
                 "\n\"Subfolders\"=\"yes\"\n\"CaseSensitive\"=\"yes\"\n\"WholeWords\"=\"yes\"\n"
                 "\"CreateBackups\"=\"no\"\n\"Action\"=dword:00000001\n"),
        std::string::npos)
        << reg;
    EXPECT_NE(reg.find("History Lists\\Filter]\n\"Count\"=dword:00000001\n\"Value0\"=\"*.c;*.h\""),
              std::string::npos);
    EXPECT_NE(reg.find("History Lists\\Replace]\n\"Count\"=dword:00000001\n\"Value0\"=\"T\""),
              std::string::npos);

    // The next run puts its texts on top; a text equal but for case replaces the old entry.
    ASSERT_EQ(Run({tree_.Path(), "*.C;*.H", "nothing", "T"}).exitCode, 0);
    reg = UserReg();
    EXPECT_NE(reg.find("History Lists\\Filter]\n\"Count\"=dword:00000001\n\"Value0\"=\"*.C;*.H\""),
              std::string::npos)
        << reg;
    EXPECT_NE(reg.find("History Lists\\Find]\n\"Count\"=dword:00000002\n\"Value0\"=\"nothing\"\n"
                       "\"Value1\"=\"token\""),
              std::string::npos)
        << reg;
}

TEST_F(ScrivoxCli, StoredTouchTouchesEveryMatchingFileAtTheSameSecond) {
    auto names = MakeTree(tree_);
    WriteUserReg(std::string("REGEDIT4\n\n") + kOptionsKey + "\n\"Action\"=dword:00000002\n");
    time_t start = std::time(nullptr);
    Result r = Run({"-r+", tree_.Path(), "*.txt", "unused", "unused"});
    time_t end = std::time(nullptr);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    size_t touched = 0;
    struct timespec first = {0, 0};
    for (auto& n : names) {
        if (n.substr(n.size() - 4) != ".txt")
            continue;
        struct stat st;
        ASSERT_EQ(::stat(tree_.Join(n).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_nsec, 0);
        EXPECT_GE(st.st_mtim.tv_sec, start);
        EXPECT_LE(st.st_mtim.tv_sec, end);
        if (touched++ == 0)
            first = st.st_mtim;
        EXPECT_EQ(st.st_mtim.tv_sec, first.tv_sec);
    }
    EXPECT_EQ(r.out, std::to_string(touched) + " files processed.\n");
    std::string reg = UserReg();
    EXPECT_NE(reg.find("\"Action\"=dword:00000002"), std::string::npos);
    EXPECT_EQ(reg.find("CaseSensitive"), std::string::npos);  // Touch leaves Find options alone
}

TEST_F(ScrivoxCli, SubfolderSwitchDecidesAndIsStored) {
    tree_.Write("top.c", "token");
    tree_.Write("sub/low.c", "token");
    Result r = Run({"-r-", tree_.Path(), "*.c", "token", "T"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1 file processed.\n1 replacement made.\n");
    EXPECT_EQ(tree_.Read("sub/low.c"), "token");
    EXPECT_NE(UserReg().find("\"Subfolders\"=\"no\""), std::string::npos);
    // Without the switch the stored choice holds.
    r = Run({tree_.Path(), "*.c", "T", "token"});
    EXPECT_EQ(r.out, "1 file processed.\n1 replacement made.\n");
}

TEST_F(ScrivoxCli, DamagedStoreStillGivesACleanRun) {
    tree_.Write("a.c", "Token token");
    WriteUserReg(std::string("garbage\x01\xff\n[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scr") +
                 "\n\"Action\"=dword:zz\n" + kOptionsKey + "\n\"CaseSensitive\"=\"no\"\n" +
                 "\"WholeWords\"=hex:zz,\n\"Subfolders\n" + std::string(5000, '[') + "\n");
    Result r = Run({tree_.Path(), "*.c", "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 file processed.\n2 replacements made.\n");  // CaseSensitive "no" was read
    EXPECT_EQ(tree_.Read("a.c"), "T T");
    std::string reg = UserReg();
    EXPECT_EQ(reg.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(reg.find("\"CaseSensitive\"=\"no\""), std::string::npos);
}

// A FIFO where the store file goes: the run neither waits on it nor replaces it, and uses the
// stored options' defaults (case-sensitive whole words).
TEST_F(ScrivoxCli, AStoreFileThatIsNoRegularFileIsLeftAloneWithAWarning) {
    tree_.Write("a.c", "token Token tokens");
    home_.MakeFolder("scrivox");
    const std::string file = home_.Join("scrivox/user.reg");
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    Result r = Run({tree_.Path(), "*.c", "token", "T"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1 file processed.\n1 replacement made.\n");
    EXPECT_EQ(r.err, "scrivox: warning: " + file +
                         " is not a regular file of at most 16 MiB; its settings are ignored\n");
    struct stat st;
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Another program holds the store's lock and does not let go: after its 10 seconds' wait the
// program says so and stops before the run.
TEST_F(ScrivoxCli, AStoreLockedForMoreThanTenSecondsStopsTheRunBeforeItStarts) {
    tree_.Write("a.c", "token");
    home_.MakeFolder("scrivox");
    const std::string file = home_.Join("scrivox/user.reg");
    LockHolder holder(file + ".lock");
    ASSERT_TRUE(holder.Holding());
    const time_t start = std::time(nullptr);
    Result r = Run({tree_.Path(), "*.c", "token", "T"});
    const time_t end = std::time(nullptr);
    EXPECT_TRUE(holder.Release());

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "scrivox: cannot store the options in " + file +
                         ": another program has held its lock (" + file +
                         ".lock) for more than 10 seconds; nothing was run\n");
    EXPECT_GE(end - start, 9);
    EXPECT_EQ(tree_.Read("a.c"), "token");
    EXPECT_EQ(UserReg(), "");
}

TEST_F(ScrivoxCli, ARunWithTheSameTextsAndOptionsLeavesTheStoreFileAlone) {
    tree_.Write("a.c", "nothing to find");
    ASSERT_EQ(Run({"-r-", tree_.Path(), "*.c", "token", "T"}).exitCode, 0);
    struct stat before, after;
    ASSERT_EQ(::stat(home_.Join("scrivox/user.reg").c_str(), &before), 0);
    ASSERT_EQ(Run({"-r-", tree_.Path(), "*.c", "token", "T"}).exitCode, 0);
    ASSERT_EQ(::stat(home_.Join("scrivox/user.reg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// A run stopped midway keeps its options: they are on disk before the run starts, and the
// histories only after it. The program is held at its report, after the run, by a full pipe.
TEST_F(ScrivoxCli, OptionsAreStoredBeforeTheRunAndHistoriesAfterIt) {
    tree_.Write("a.c", "token");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    ASSERT_EQ(::fcntl(out[1], F_SETFL, O_NONBLOCK), 0);
    const std::string page(4096, 'x');
    size_t filled = 0;
    for (size_t step : {page.size(), size_t(1)})
        for (ssize_t n; (n = ::write(out[1], page.data(), step)) > 0;)
            filled += size_t(n);
    ASSERT_EQ(::fcntl(out[1], F_SETFL, 0), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::setenv("XDG_CONFIG_HOME", home_.Path().c_str(), 1);
        ::setenv("XDG_STATE_HOME", home_.Join("state").c_str(), 1);
        ::execl(SCRIVOX_CLI_PATH, "scrivox", "-r-", tree_.Path().c_str(), "*.c", "token", "T",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    for (int i = 0; i < 10000 && tree_.Read("a.c") != "T"; ++i)
        ::usleep(1000);
    ASSERT_EQ(tree_.Read("a.c"), "T");
    const std::string during = UserReg();
    EXPECT_NE(during.find("\"Subfolders\"=\"no\""), std::string::npos) << during;
    EXPECT_EQ(during.find("History Lists"), std::string::npos) << during;

    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, size_t(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report.substr(filled), "1 file processed.\n1 replacement made.\n");
    EXPECT_NE(
        UserReg().find("History Lists\\Find]\n\"Count\"=dword:00000001\n\"Value0\"=\"token\""),
        std::string::npos);
}

}  // namespace
