// Whatever someone planted where the per-user tree's file lives: the store never hangs on it,
// never writes through it, and says what it found instead of using it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "framework/RegistryKey.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempDir.h"

namespace {

using std::string;

constexpr long long kLimit = 16 << 20;
constexpr char kKey[] = "Software\\T";
const string kSeed = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\T]\n\"a\"=\"x\"\n\n";

constexpr int kHung = -1;
constexpr int kKilled = -2;

// Runs `body` in a child process and gives its exit code; kHung when it has not ended within
// `limit`, so that a call that hangs fails its test instead of stopping the suite.
int InChildWithin(std::chrono::milliseconds limit, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0)
        return kKilled;
    if (child == 0)
        ::_exit(body());
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : kKilled;
        if (std::chrono::steady_clock::now() > end) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return kHung;
        }
        ::usleep(5000);
    }
}

class HostileRegistryFile : public ::testing::Test {
protected:
    HostileRegistryFile() {
        ::mkdir(registry_.ConfigHome().c_str(), 0700);
        ::mkdir(Folder().c_str(), 0700);
    }

    string Folder() const { return registry_.ConfigHome() + "/scrivox"; }
    string File() const { return Folder() + "/user.reg"; }

    // Enough to tell a rewrite (a new inode) or a write through (the content, the time); the
    // content by its hash, as it may be large.
    static string StateOf(const string& path) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            return "missing";
        string state = std::to_string(st.st_ino) + " " + std::to_string(st.st_mode) + " " +
                       std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode))
            state += " " + std::to_string(std::hash<string>()(ReadWholeFile(path)));
        return state;
    }
    static bool IsFifo(const string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

    static bool CanOpenKey() {
        RegistryKey key;
        return key.OpenExisting(RegistryKey(RegistryRoot::CurrentUser), kKey);
    }
    static bool Write(const string& name) {
        RegistryKey key;
        return key.OpenOrCreate(RegistryKey(RegistryRoot::CurrentUser), kKey) &&
               key.SetValue(name, kRegString, "v", 2);
    }
    static string Get(const string& name) {
        RegistryKey key;
        (void)key.OpenExisting(RegistryKey(RegistryRoot::CurrentUser), kKey);
        StoredValue v = QueryStored(key, name);
        return v.found ? v.data : "<missing>";
    }

    ScratchRegistry registry_;
};

TEST_F(HostileRegistryFile, AFifoAtTheFileReadsAsNothingAtOnceAndIsNeverReplaced) {
    ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);
    const int failures = InChildWithin(std::chrono::seconds(5), [&] {
        int failed = 0;
        {
            RegistrySession session;
            failed += CanOpenKey();
            failed += Write("a");
            failed += session.Problem() != RegistryProblem::NotRegularFile;
            failed += session.FilePath() != File();
            failed += !session.Commit();  // nothing was written, so nothing to store
        }
        failed += Write("b");  // and without a session
        return failed;
    });
    EXPECT_EQ(failures, 0) << "(" << kHung << " means it hung)";
    EXPECT_TRUE(IsFifo(File()));
    EXPECT_EQ(StateOf(File() + ".new"), "missing");
}

TEST_F(HostileRegistryFile, AFileOverTheLimitIsDamagedReportedAndNeverReplaced) {
    // Readable values first: nothing of a file over the limit is used.
    string text = kSeed;
    text.resize(kLimit, ';');
    text[kLimit - 1] = '\n';
    WriteWholeFile(File(), text);
    {
        RegistrySession session;  // at the limit exactly it is read
        EXPECT_EQ(Get("a"), string("x", 2));
        EXPECT_EQ(session.Problem(), RegistryProblem::None);
    }
    WriteWholeFile(File(), text + "\n");
    const string before = StateOf(File());
    {
        RegistrySession session;
        EXPECT_EQ(Get("a"), "<missing>");
        EXPECT_FALSE(Write("new"));
        EXPECT_EQ(session.Problem(), RegistryProblem::NotRegularFile);
        EXPECT_TRUE(session.Commit());
    }
    EXPECT_FALSE(Write("new"));
    EXPECT_EQ(StateOf(File()), before);
}

// Users keep dotfiles as links. Reading goes through the link; a write puts the new version in
// the link's place, and what the link pointed to stays as it was.
TEST_F(HostileRegistryFile, ALinkAtTheFileIsReadThroughButNeverWrittenThrough) {
    TempDir elsewhere;
    const string target = elsewhere.Join("dotfiles-user.reg");
    WriteWholeFile(target, kSeed);
    ASSERT_EQ(::symlink(target.c_str(), File().c_str()), 0);
    const string targetBefore = StateOf(target);

    EXPECT_EQ(Get("a"), string("x", 2));
    ASSERT_TRUE(Write("b"));
    EXPECT_EQ(StateOf(target), targetBefore);
    struct stat st;
    ASSERT_EQ(::lstat(File().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(Get("a"), string("x", 2));
    EXPECT_EQ(Get("b"), string("v", 2));

    // A link to a FIFO is no better than the FIFO.
    ASSERT_EQ(::unlink(File().c_str()), 0);
    ASSERT_EQ(::unlink(target.c_str()), 0);
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(target.c_str(), File().c_str()), 0);
    EXPECT_EQ(InChildWithin(std::chrono::seconds(5), [&] { return CanOpenKey() + Write("c"); }), 0);
    EXPECT_TRUE(IsFifo(target));
}

// Links planted where the writers' lock and the new version go, to a file elsewhere and to a
// name that does not exist yet, and a hard link where the new version goes: a write never
// creates, truncates or writes a file elsewhere, and user.reg stays whole. A link at the lock
// makes the write fail; anything at the new version's name is removed and made afresh.
TEST_F(HostileRegistryFile, LinksAtTheLockOrTheNewVersionAreNeverWrittenThrough) {
    TempDir elsewhere;
    const string precious = elsewhere.Join("precious");
    const string absent = elsewhere.Join("absent");
    WriteWholeFile(precious, "keep me\n");
    const string preciousBefore = StateOf(precious);
    WriteWholeFile(File(), kSeed);

    for (const string& target : {precious, absent}) {
        ASSERT_EQ(::symlink(target.c_str(), (File() + ".lock").c_str()), 0);
        const string before = StateOf(File());
        {
            RegistrySession session;
            EXPECT_TRUE(Write("x"));
            EXPECT_FALSE(session.Commit()) << target;
            EXPECT_EQ(session.Problem(), RegistryProblem::Unwritable);
        }
        EXPECT_FALSE(Write("y"));
        EXPECT_EQ(StateOf(File()), before);
        ASSERT_EQ(::unlink((File() + ".lock").c_str()), 0);
    }

    int version = 0;
    for (const string& target : {precious, absent, string()}) {
        if (target.empty())
            ASSERT_EQ(::link(precious.c_str(), (File() + ".new").c_str()), 0);
        else
            ASSERT_EQ(::symlink(target.c_str(), (File() + ".new").c_str()), 0);
        const string name = "v" + std::to_string(version++);
        ASSERT_TRUE(Write(name)) << target;
        EXPECT_EQ(Get(name), string("v", 2));
        EXPECT_EQ(Get("a"), string("x", 2));
        EXPECT_EQ(StateOf(File() + ".new"), "missing");
    }
    EXPECT_EQ(StateOf(precious), preciousBefore);
    EXPECT_EQ(StateOf(absent), "missing");
}

TEST_F(HostileRegistryFile, AFifoAtTheLockMakesWritesFailAtOnce) {
    WriteWholeFile(File(), kSeed);
    const string before = StateOf(File());
    ASSERT_EQ(::mkfifo((File() + ".lock").c_str(), 0600), 0);
    EXPECT_EQ(InChildWithin(std::chrono::seconds(5), [&] { return Write("b") ? 1 : 0; }), 0)
        << "(" << kHung << " means it hung)";
    EXPECT_TRUE(IsFifo(File() + ".lock"));
    EXPECT_EQ(StateOf(File()), before);
}

}  // namespace
