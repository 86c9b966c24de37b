#include "tests/fault/FaultSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "framework/posix/UniqueFd.h"

extern char** environ;

namespace fs = std::filesystem;

struct timespec Now() {
    struct timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

double SecondsSince(const struct timespec& start) {
    struct timespec t = Now();
    return double(t.tv_sec - start.tv_sec) + double(t.tv_nsec - start.tv_nsec) / 1e9;
}

ChildOutcome WaitForChild(pid_t pid, double timeoutSeconds) {
    ChildOutcome outcome;
    const struct timespec start = Now();
    int status = 0;
    for (;;) {
        pid_t got = ::wait4(pid, &status, WNOHANG, &outcome.usage);
        if (got == pid)
            break;
        if (got < 0 && errno != EINTR)
            return outcome;
        if (!outcome.timedOut && SecondsSince(start) > timeoutSeconds) {
            outcome.timedOut = true;
            ::kill(pid, SIGKILL);
        }
        ::usleep(1000);
    }
    outcome.exited = WIFEXITED(status);
    outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return outcome;
}

ChildOutcome RunInChild(const std::function<int()>& body, double timeoutSeconds) {
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());  // no atexit handlers or gtest output from the child
    if (pid < 0)
        return ChildOutcome{};
    return WaitForChild(pid, timeoutSeconds);
}

std::optional<RunCounts> RunJobInChild(const JobSettings& job,
                                       double timeoutSeconds,
                                       std::optional<uid_t> uid) {
    int fds[2];
    if (::pipe(fds) != 0)
        return std::nullopt;
    ChildOutcome outcome = RunInChild(
        [&] {
            ::close(fds[0]);
            if (uid && !DropTo(*uid))
                return 3;
            RunCounts counts = RunJob(job, nullptr);
            return ::write(fds[1], &counts, sizeof counts) == ssize_t(sizeof counts) ? 0 : 4;
        },
        timeoutSeconds);
    ::close(fds[1]);
    RunCounts counts;
    bool got = ::read(fds[0], &counts, sizeof counts) == ssize_t(sizeof counts);
    ::close(fds[0]);
    if (!got || !outcome.exited || outcome.exitCode != 0)
        return std::nullopt;
    return counts;
}

std::optional<uid_t> NobodyUid() {
    const struct passwd* pw = ::getpwnam("nobody");
    if (!pw || pw->pw_uid == 0)
        return std::nullopt;
    return pw->pw_uid;
}

bool DropTo(uid_t uid) {
    const struct passwd* pw = ::getpwuid(uid);
    return pw && ::setgroups(0, nullptr) == 0 && ::setgid(pw->pw_gid) == 0 && ::setuid(uid) == 0;
}

pid_t Spawn(const std::vector<std::string>& argv,
            const std::map<std::string, std::string>& env,
            const std::string& cwd,
            const std::string& outFile) {
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string s(*e);
        if (env.count(s.substr(0, s.find('='))) == 0)
            envStrings.push_back(s);
    }
    for (const auto& [name, value] : env)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings(argv);
    for (std::string& s : argStrings)
        args.push_back(s.data());
    args.push_back(nullptr);
    const std::string out = outFile.empty() ? "/dev/null" : outFile;

    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = ::open("/dev/null", O_RDONLY);
    if (fd < 0 || in < 0 || ::chdir(cwd.c_str()) != 0)
        ::_exit(126);
    ::dup2(in, 0);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
}

ScopedTmpfs::ScopedTmpfs(const std::string& folder, const std::string& options) : folder_(folder) {
    mounted_ =
        ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    if (!mounted_)
        error_ = std::strerror(errno);
}

ScopedTmpfs::~ScopedTmpfs() {
    if (mounted_)
        ::umount2(folder_.c_str(), MNT_DETACH);
}

std::map<std::string, TreeEntry> ListTree(const std::string& root) {
    std::map<std::string, TreeEntry> tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string path = it->path().string();
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        TreeEntry e;
        e.kind = S_ISREG(st.st_mode)   ? TreeEntry::File
                 : S_ISDIR(st.st_mode) ? TreeEntry::Folder
                 : S_ISLNK(st.st_mode) ? TreeEntry::Link
                                       : TreeEntry::Other;
        e.inode = st.st_ino;
        e.links = st.st_nlink;
        e.size = uint64_t(st.st_size);
        e.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        if (e.kind == TreeEntry::Link)
            e.linkTarget = fs::read_symlink(path, ec).string();
        tree[path.substr(root.size() + 1)] = e;
    }
    return tree;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string content;
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            if (n < 0)
                return std::nullopt;
            return content;
        }
        content.append(buffer, size_t(n));
    }
}

bool WriteFileBytes(const std::string& path, const std::string& content) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return ::close(fd) == 0;
}

bool IsRunTempName(const std::string& name) {
    return name.rfind(".scrivox-", 0) == 0 && name.size() >= 13 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0;
}

namespace {

// FNV-1a: enough to tell one content from another that no one chose to collide with it.
uint64_t HashOfFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    uint64_t hash = 14695981039346656037ull;
    if (!fd)
        return 0;
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(fd.Get(), buffer, sizeof buffer)) > 0;)
        for (ssize_t i = 0; i < n; ++i)
            hash = (hash ^ uint8_t(buffer[i])) * 1099511628211ull;
    return hash;
}

int64_t Nanoseconds(const struct timespec& t) {
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

void VictimSnapshot::Add(const std::string& path, bool recursive) {
    roots_.emplace_back(path, recursive);
    AddEntry(path);
    if (!recursive)
        return;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        AddEntry(it->path().string());
}

void VictimSnapshot::AddEntry(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return;
    Entry e;
    e.mode = st.st_mode;
    e.uid = st.st_uid;
    e.gid = st.st_gid;
    e.inode = st.st_ino;
    e.mtimeNs = Nanoseconds(st.st_mtim);
    e.ctimeNs = Nanoseconds(st.st_ctim);
    std::error_code ec;
    if (S_ISREG(st.st_mode))
        e.contentHash = HashOfFile(path);
    else if (S_ISLNK(st.st_mode))
        e.linkTarget = fs::read_symlink(path, ec).string();
    entries_[path] = e;
}

VictimSnapshot VictimSnapshot::Retake() const {
    VictimSnapshot now;
    for (const auto& [path, recursive] : roots_)
        now.Add(path, recursive);
    return now;
}

std::vector<std::string> VictimSnapshot::ChangesSince(const VictimSnapshot& earlier) const {
    std::vector<std::string> changes;
    for (const auto& [path, was] : earlier.entries_) {
        auto it = entries_.find(path);
        if (it == entries_.end()) {
            changes.push_back(path + ": gone");
            continue;
        }
        const Entry& is = it->second;
        std::string what;
        auto note = [&](bool differs, const char* field) {
            if (differs)
                what += std::string(what.empty() ? "" : ", ") + field;
        };
        note(is.inode != was.inode, "inode");
        note((is.mode & S_IFMT) != (was.mode & S_IFMT), "kind");
        note((is.mode & 07777) != (was.mode & 07777), "mode");
        note(is.uid != was.uid || is.gid != was.gid, "owner");
        note(is.contentHash != was.contentHash, "content");
        note(is.linkTarget != was.linkTarget, "link target");
        note(is.mtimeNs != was.mtimeNs, "last-write time");
        note(is.ctimeNs != was.ctimeNs, "status-change time");
        if (!what.empty())
            changes.push_back(path + ": " + what);
    }
    for (const auto& [path, entry] : entries_)
        if (earlier.entries_.count(path) == 0)
            changes.push_back(path + ": appeared");
    return changes;
}

ScopedAttacker::ScopedAttacker(uid_t uid, std::function<void()> step) {
    void* memory =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    shared_ = new (memory) Shared;
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // The death signal is set after the drop, which clears it; a test that dies takes its
        // attacker along.
        if (!DropTo(uid) || ::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(3);
        step();
        shared_->steps = 1;
        shared_->started = 1;
        while (shared_->stop.load(std::memory_order_relaxed) == 0) {
            step();
            shared_->steps.fetch_add(1, std::memory_order_relaxed);
        }
        ::_exit(0);
    }
    if (pid_ < 0)
        return;
    const struct timespec start = Now();
    while (shared_->started == 0 && SecondsSince(start) < 10) {
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // it could not become the user
            return;
        }
        ::usleep(200);
    }
    started_ = shared_->started != 0;
}

long long ScopedAttacker::Stop() {
    if (pid_ > 0) {
        shared_->stop = 1;
        ChildOutcome outcome = WaitForChild(std::exchange(pid_, -1), 10);
        const bool ended = outcome.exited && outcome.exitCode == 0;
        steps_ = started_ && ended ? shared_->steps.load() : -1;
    }
    return steps_;
}

ScopedAttacker::~ScopedAttacker() {
    Stop();
    if (shared_) {
        shared_->~Shared();
        ::munmap(shared_, sizeof(Shared));
    }
}
