// A session over the per-user tree's file: one read, writes kept back until Commit, and Commit
// made again over what other writers stored meanwhile.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "framework/RegistryKey.h"
#include "framework/RegistryTree.h"
#include "framework/posix/RegistryLock.h"
#include "tests/support/LockHolder.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempDir.h"

namespace {

using std::string;

constexpr char kBase[] = "HKEY_CURRENT_USER\\Software\\T";

// Every key and value the tests start from.
const string kSeed = string("REGEDIT4\n\n") + "[" + kBase +
                     "\\A]\n\"Keep\"=\"k\"\n\"Drop\"=\"d\"\n\n" + "[" + kBase +
                     "\\Gone]\n\"G\"=\"g\"\n\n" + "[" + kBase + "\\Gone\\Below]\n\n";

class RegistrySessionTest : public ::testing::Test {
protected:
    RegistrySessionTest() {
        ::mkdir(registry_.ConfigHome().c_str(), 0700);
        ::mkdir(Folder().c_str(), 0700);
        WriteWholeFile(File(), kSeed);
    }

    string Folder() const { return registry_.ConfigHome() + "/scrivox"; }
    string File() const { return Folder() + "/user.reg"; }

    // Enough to tell any write: a write renames a new file into place.
    string State() const {
        struct stat st;
        if (::stat(File().c_str(), &st) != 0)
            return "missing";
        return std::to_string(st.st_ino) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
               std::to_string(st.st_mtim.tv_nsec) + " " + ReadWholeFile(File());
    }
    bool Exists(const string& path) const {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0;
    }

    // Another process's store, as it replaces the file; a concurrent one holds the lock.
    void WriteAsAnotherWriter(void (*edit)(RegistryTree&)) const {
        RegistryTree tree = RegistryTree::Parse(ReadWholeFile(File()));
        edit(tree);
        WriteWholeFile(File() + ".other", tree.Format());
        ASSERT_EQ(::rename((File() + ".other").c_str(), File().c_str()), 0);
    }

    // Keys below kBase; "" is kBase itself.
    static string Below(const string& path) {
        return "Software\\T" + (path.empty() ? "" : "\\" + path);
    }
    static RegistryKey Key(const string& path) {
        RegistryKey key;
        EXPECT_TRUE(key.OpenOrCreate(RegistryKey(RegistryRoot::CurrentUser), Below(path))) << path;
        return key;
    }
    static RegistryKey Existing(const string& path) {
        RegistryKey key;
        (void)key.OpenExisting(RegistryKey(RegistryRoot::CurrentUser), Below(path));
        return key;
    }
    static bool Set(RegistryKey& key, const string& name, const string& text) {
        return key.SetValue(name, kRegString, text.c_str(), static_cast<uint32_t>(text.size() + 1));
    }
    static string Get(const string& path, const string& name) {
        StoredValue v = QueryStored(Existing(path), name);
        return v.found ? v.data.substr(0, v.data.size() - 1) : "<missing>";
    }

    // Writes of every kind.
    static void EditEverything() {
        RegistryKey a = Key("A");
        EXPECT_TRUE(Set(a, "New", "n"));
        EXPECT_TRUE(Set(a, "Keep", "k2"));
        EXPECT_TRUE(a.DeleteValue("Drop"));
        EXPECT_FALSE(a.DeleteValue("Drop"));  // nothing left to delete
        RegistryKey t = Key("");
        EXPECT_TRUE(t.DeleteKey("Gone"));
        EXPECT_FALSE(t.DeleteKey("Gone"));
        RegistryKey deep = Key("Made\\Deep");
        EXPECT_TRUE(Set(deep, "D", "d"));
    }

    ScratchRegistry registry_;
};

TEST_F(RegistrySessionTest, ReadsSeeTheSessionsWritesWhichReachTheFileOnlyAtCommit) {
    const string before = State();
    string committed;
    {
        RegistrySession session;
        EditEverything();
        EXPECT_EQ(Get("A", "New"), "n");
        EXPECT_EQ(Get("A", "Keep"), "k2");
        EXPECT_EQ(Get("A", "Drop"), "<missing>");
        EXPECT_FALSE(Existing("Gone\\Below").IsOpen());
        EXPECT_EQ(Get("Made\\Deep", "D"), "d");
        EXPECT_EQ(State(), before) << "written before Commit";

        ASSERT_TRUE(session.Commit());
        committed = ReadWholeFile(File());
        EXPECT_NE(committed, kSeed);
        const string after = State();
        EXPECT_TRUE(session.Commit());  // nothing new to write
        EXPECT_EQ(State(), after);
    }
    // The same calls without a session store the same file.
    WriteWholeFile(File(), kSeed);
    EditEverything();
    EXPECT_EQ(ReadWholeFile(File()), committed);
}

TEST_F(RegistrySessionTest, TheFileIsReadOnceAndWritesThatChangeNothingStoreNothing) {
    {
        RegistrySession session;
        EXPECT_EQ(Get("A", "Keep"), "k");
        // Gone, and not missed: the session answers from what it read. Should anything write,
        // the file would be back.
        ASSERT_EQ(::unlink(File().c_str()), 0);
        RegistryKey a = Key("A");
        EXPECT_EQ(Get("A", "Drop"), "d");
        EXPECT_TRUE(Set(a, "Keep", "k"));
        EXPECT_TRUE(Set(a, "Drop", "d"));
        RegistryKey below = Key("Gone\\Below");
        EXPECT_TRUE(session.Commit());
    }
    EXPECT_FALSE(Exists(File()));
    EXPECT_FALSE(Exists(File() + ".lock")) << "the lock was taken";
}

// Another process stores its changes between the session's read and its Commit, holding the
// writers' lock while Commit waits for it: both sides' changes are kept, the session's last.
TEST_F(RegistrySessionTest, CommitKeepsWhatAnotherWriterStoredMeanwhile) {
    RegistrySession session;
    RegistryKey a = Key("A");
    EXPECT_TRUE(Set(a, "Mine", "m"));
    EXPECT_TRUE(Set(a, "Both", "session"));
    EXPECT_TRUE(a.DeleteValue("Drop"));
    EXPECT_TRUE(Key("").DeleteKey("Gone\\Below"));

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Raw calls only: this process has inherited the session.
        const int lock = ::open((File() + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1)
            ::_exit(1);
        ::usleep(50 * 1000);  // long enough for Commit to be waiting on the lock
        WriteAsAnotherWriter([](RegistryTree& tree) {
            RegistryTree::Key* key = tree.Find(string(kBase) + "\\A");
            key->SetValue("Theirs", kRegString, string("t\0", 2));
            key->SetValue("Both", kRegString, string("theirs\0", 7));
            bool created = false;
            tree.FindOrCreate(string(kBase) + "\\Gone\\Below\\Theirs", created);
            tree.FindOrCreate(string(kBase) + "\\Other", created);
        });
        ::_exit(testing::Test::HasFailure() ? 1 : 0);
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(session.Commit());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    RegistryTree stored = RegistryTree::Parse(ReadWholeFile(File()));
    EXPECT_TRUE(stored.Find(string(kBase) + "\\Other"));
    EXPECT_FALSE(stored.Find(string(kBase) + "\\Gone\\Below"));  // deleted again, with theirs
    EXPECT_TRUE(stored.Find(string(kBase) + "\\Gone"));
    // The session now reads what the file holds.
    EXPECT_EQ(Get("A", "Theirs"), "t");
    EXPECT_EQ(Get("A", "Mine"), "m");
    EXPECT_EQ(Get("A", "Both"), "session");
    EXPECT_EQ(Get("A", "Drop"), "<missing>");
    EXPECT_TRUE(Existing("Other").IsOpen());
}

// Another process holds the writers' lock and does not let go: Commit gives up after the wait
// (shortened here from its 10 seconds), says why, and leaves the file as it was.
TEST_F(RegistrySessionTest, ALockHeldTooLongMakesCommitGiveUpAndSaySo) {
    struct ShortWait {
        ShortWait() { SetRegistryLockWait(std::chrono::milliseconds(300)); }
        ~ShortWait() { SetRegistryLockWait(usual); }
        const std::chrono::milliseconds usual = RegistryLockWait();
    } shortWait;
    LockHolder holder(File() + ".lock");
    ASSERT_TRUE(holder.Holding());
    const string before = State();
    {
        RegistrySession session;
        RegistryKey a = Key("A");
        EXPECT_TRUE(Set(a, "New", "n"));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(session.Commit());
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(session.Problem(), RegistryProblem::Locked);
        EXPECT_GE(waited, std::chrono::milliseconds(300));
        EXPECT_LT(waited, std::chrono::seconds(5));
        EXPECT_EQ(State(), before);
        EXPECT_EQ(Get("A", "New"), "<missing>");  // dropped, and the file read again
        EXPECT_EQ(session.Problem(), RegistryProblem::None);
    }
    RegistryKey outside = Key("A");
    EXPECT_FALSE(Set(outside, "Outside", "o"));  // without a session too
    EXPECT_EQ(State(), before);

    EXPECT_TRUE(holder.Release());
    RegistryKey a = Key("A");
    EXPECT_TRUE(Set(a, "After", "a"));  // let go: the next write goes through
    EXPECT_EQ(Get("A", "After"), "a");
}

TEST_F(RegistrySessionTest, AWriteIntoAKeyDeletedMeanwhileIsLostAndCommitSaysSo) {
    RegistrySession session;
    RegistryKey gone = Key("Gone");
    RegistryKey a = Key("A");
    EXPECT_TRUE(Set(gone, "Late", "l"));
    EXPECT_TRUE(Set(a, "Kept", "k"));
    WriteAsAnotherWriter([](RegistryTree& tree) { tree.Remove(string(kBase) + "\\Gone"); });
    EXPECT_FALSE(session.Commit());
    EXPECT_EQ(Get("A", "Kept"), "k");
    EXPECT_FALSE(Existing("Gone").IsOpen());
    EXPECT_EQ(RegistryTree::Parse(ReadWholeFile(File())).Find(string(kBase) + "\\Gone"), nullptr);
}

TEST_F(RegistrySessionTest, AFailedCommitLeavesTheFileWholeAndDropsItsWrites) {
    RegistrySession session;
    RegistryKey a = Key("A");
    EXPECT_TRUE(Set(a, "Lost", "l"));
    // Where the new file is made stands a folder: the write fails, for root too.
    ASSERT_EQ(::mkdir((File() + ".new").c_str(), 0700), 0);
    const string before = State();
    EXPECT_FALSE(session.Commit());
    EXPECT_EQ(State(), before);
    EXPECT_EQ(Get("A", "Lost"), "<missing>");  // read again from the file

    ASSERT_EQ(::rmdir((File() + ".new").c_str()), 0);
    EXPECT_TRUE(Set(a, "Next", "n"));
    EXPECT_TRUE(session.Commit());
    const string text = ReadWholeFile(File());
    EXPECT_NE(text.find("\"Next\"=\"n\""), string::npos);
    EXPECT_EQ(text.find("Lost"), string::npos);
}

TEST_F(RegistrySessionTest, AFileUnreadableAtCommitIsNotReplaced) {
    RegistrySession session;
    RegistryKey a = Key("A");
    EXPECT_TRUE(Set(a, "New", "n"));
    // A folder in the file's place cannot be read, for root too.
    ASSERT_EQ(::rename(File().c_str(), (File() + ".saved").c_str()), 0);
    ASSERT_EQ(::mkdir(File().c_str(), 0700), 0);
    EXPECT_FALSE(session.Commit());
    EXPECT_TRUE(Exists(File() + "/."));
    // The session reads the file again, and fails, and its writes with it.
    EXPECT_FALSE(Existing("A").IsOpen());
    EXPECT_FALSE(Set(a, "Other", "o"));
}

}  // namespace
