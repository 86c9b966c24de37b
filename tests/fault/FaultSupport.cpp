#include "tests/fault/FaultSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

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
