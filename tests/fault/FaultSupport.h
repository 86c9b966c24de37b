#pragma once

// What the fault tests share on POSIX: child processes with a deadline, a size-limited tmpfs,
// and a view of a tree that does not follow links.

#include <sys/resource.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/Run.h"

struct ChildOutcome {
    bool timedOut = false;
    bool exited = false;  // else killed by `signal`
    int exitCode = -1;
    int signal = 0;
    struct rusage usage {};
};

// Waits for `pid`, killing it when it outlives `timeoutSeconds`.
ChildOutcome WaitForChild(pid_t pid, double timeoutSeconds);

// Runs `body` in a forked child whose exit code is body's result. A child that hangs is killed
// after `timeoutSeconds`, so that a run that blocks (on a FIFO, a device) fails the test instead
// of stalling it.
ChildOutcome RunInChild(const std::function<int()>& body, double timeoutSeconds);

// RunJob in a forked child, under the user `uid` when one is given (root dropping its rights, so
// that permissions mean something). Nothing when the child failed or timed out.
std::optional<RunCounts> RunJobInChild(const JobSettings& job,
                                       double timeoutSeconds,
                                       std::optional<uid_t> uid = std::nullopt);

// The unprivileged user that root runs permission tests as, if the system has one.
std::optional<uid_t> NobodyUid();

// Makes this process that user, without root's groups. For a forked child.
bool DropTo(uid_t uid);

// Starts `argv[0]` with `argv` and these variables added to the environment, in `cwd`, its
// standard output and error going to `outFile` (or nowhere).
pid_t Spawn(const std::vector<std::string>& argv,
            const std::map<std::string, std::string>& env,
            const std::string& cwd,
            const std::string& outFile = "");

// A tmpfs with a size limit, unmounted (lazily, so that a failed test cannot keep it) when the
// object ends. Mounting needs root or a user namespace; Mounted() says whether it worked.
class ScopedTmpfs {
public:
    ScopedTmpfs(const std::string& folder, const std::string& options);
    ~ScopedTmpfs();
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }

private:
    std::string folder_;
    bool mounted_ = false;
    std::string error_;
};

// One entry of a tree as lstat sees it; paths relative to the root, "/" separated.
struct TreeEntry {
    enum Kind { File, Folder, Link, Other } kind = Other;
    uint64_t inode = 0;
    uint64_t links = 0;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    std::string linkTarget;
};

std::map<std::string, TreeEntry> ListTree(const std::string& root);

// Whole-file read and write with plain descriptors; no exception, nothing cached. Write rewrites
// an existing file in place, so that hard links keep sharing it.
std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& content);

// Whether a name is one of the run's hidden temporary files.
bool IsRunTempName(const std::string& name);

double SecondsSince(const struct timespec& start);
struct timespec Now();

// How some paths look, links not followed: each entry's kind, content (hashed), inode, mode,
// owner, group, last-write and status-change times. Taken again later, it says what changed, so
// that a test can show that a run left everything outside its tree alone.
class VictimSnapshot {
public:
    // `path` and, when it is a folder and `recursive`, everything below it.
    void Add(const std::string& path, bool recursive = true);
    // The same paths as they are now.
    VictimSnapshot Retake() const;
    // One line per entry that changed, appeared or vanished since `earlier`.
    std::vector<std::string> ChangesSince(const VictimSnapshot& earlier) const;

private:
    struct Entry {
        mode_t mode = 0;  // kind and permissions
        uid_t uid = 0;
        gid_t gid = 0;
        uint64_t inode = 0;
        int64_t mtimeNs = 0;
        int64_t ctimeNs = 0;
        uint64_t contentHash = 0;
        std::string linkTarget;
    };
    void AddEntry(const std::string& path);

    std::vector<std::pair<std::string, bool>> roots_;
    std::map<std::string, Entry> entries_;
};

// Another user of the machine: a forked child that becomes `uid` and does `step` over and over,
// as fast as it can, until stopped. The step runs in the child of a single-threaded program, so
// it may use whatever it captured; its system calls are what the attack is.
class ScopedAttacker {
public:
    ScopedAttacker(uid_t uid, std::function<void()> step);
    ~ScopedAttacker();
    ScopedAttacker(const ScopedAttacker&) = delete;
    ScopedAttacker& operator=(const ScopedAttacker&) = delete;

    // Whether the child became the user and took its first step.
    bool Started() const { return started_; }
    // Ends the loop and reaps the child, killed if it does not end within seconds. The steps it
    // took, or -1 when it never started or hung.
    long long Stop();

private:
    struct Shared {
        std::atomic<int> stop{0};
        std::atomic<int> started{0};
        std::atomic<long long> steps{0};
    };
    static_assert(std::atomic<long long>::is_always_lock_free, "shared between processes");

    Shared* shared_ = nullptr;
    pid_t pid_ = -1;
    bool started_ = false;
    long long steps_ = -1;
};
