// Trees that a walk may meet in the wild: paths longer than the platform takes, names of any
// bytes, link loops, unreadable files and folders, FIFOs and devices, a huge sparse file, a huge
// folder. Every run ends, every file is old or new, and only what succeeded is counted.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/Run.h"
#include "framework/TTime.h"
#include "tests/fault/FaultSupport.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kTimeout = 60;

JobSettings Find(const std::string& folder, const std::string& filter, bool backups) {
    JobSettings job;
    job.folder = folder;
    job.filter = filter;
    job.findText = "needle";
    job.replaceText = "PIN";
    job.caseSensitive = true;
    job.createBackups = backups;
    return job;
}

JobSettings Touch(const std::string& folder, const std::string& filter) {
    JobSettings job = Find(folder, filter, false);
    job.action = Action::Touch;
    job.touchTime = TimeFromUnix(2000000000, 0);
    return job;
}

// Every regular file below `fd`, by path relative to it, with its content; reached through
// descriptors, so paths of any length are read.
void ReadTreeAt(int fd, const std::string& prefix, std::map<std::string, std::string>& files) {
    DIR* dir = ::fdopendir(::dup(fd));
    ASSERT_NE(dir, nullptr);
    std::vector<std::pair<std::string, unsigned char>> entries;
    while (const dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            entries.emplace_back(e->d_name, e->d_type);
    ::closedir(dir);
    for (const auto& [name, type] : entries) {
        if (type == DT_DIR) {
            int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
            ASSERT_GE(sub, 0) << prefix + name;
            ReadTreeAt(sub, prefix + name + "/", files);
            ::close(sub);
        } else if (type == DT_REG) {
            int f = ::openat(fd, name.c_str(), O_RDONLY);
            ASSERT_GE(f, 0) << prefix + name;
            std::string content;
            char buffer[4096];
            for (ssize_t n; (n = ::read(f, buffer, sizeof buffer)) > 0;)
                content.append(buffer, size_t(n));
            ::close(f);
            files[prefix + name] = content;
        }
    }
}

std::map<std::string, std::string> ReadTree(const std::string& root) {
    std::map<std::string, std::string> files;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_GE(fd, 0);
    ReadTreeAt(fd, "", files);
    ::close(fd);
    return files;
}

void MakeFileAt(int dirFd, const std::string& name, const std::string& content) {
    int f = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(f, 0) << name;
    ASSERT_EQ(::write(f, content.data(), content.size()), ssize_t(content.size()));
    ::close(f);
}

std::string BackupOf(const std::string& rel) {
    size_t slash = rel.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    return rel.substr(0, start) + "Backup of " + rel.substr(start);
}

// Twenty-four levels of 200 characters, with files at every level, deeper than any path the
// platform takes: the walk acts relative to open folders, so every file is finished, with its
// backup.
TEST(FaultHostileTree, PathsBeyondThePlatformLimitAreFinishedToo) {
    TempDir dir;
    const std::string component(200, 'p');
    int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string rel;
    std::vector<std::string> names;
    for (int level = 0; level < 24; ++level) {
        // Names that put the path near and over the limit at the levels where it is reached.
        for (size_t length : {size_t(1), size_t(60), size_t(120), size_t(180)}) {
            std::string name = "f" + std::string(length, 'n') + ".c";
            MakeFileAt(fd, name, "a needle, another needle");
            names.push_back(rel + name);
        }
        ASSERT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
        int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        rel += component + "/";
    }
    ::close(fd);
    TempDir tmp;
    ::setenv("TMPDIR", tmp.Path().c_str(), 1);
    auto counts = RunJobInChild(Find(dir.Path(), "*.c", true), kTimeout);
    ::unsetenv("TMPDIR");
    ASSERT_TRUE(counts);

    auto files = ReadTree(dir.Path());
    int64_t finished = 0;
    for (const std::string& name : names) {
        const size_t length = dir.Path().size() + 1 + name.size();
        ASSERT_TRUE(files.count(name)) << length;
        const bool isNew = files[name] == "a PIN, another PIN";
        EXPECT_TRUE(isNew || files[name] == "a needle, another needle") << length;
        EXPECT_EQ(files.count(BackupOf(name)) > 0, isNew) << length;
        if (isNew) {
            EXPECT_EQ(files[BackupOf(name)], "a needle, another needle") << length;
        }
        EXPECT_TRUE(isNew) << length;
        finished += isNew ? 1 : 0;
    }
    EXPECT_EQ(files.size(), names.size() + size_t(finished));  // nothing else, no temporary file
    EXPECT_EQ(counts->filesProcessed, finished);
    EXPECT_EQ(counts->replacementsMade, 2 * finished);
    EXPECT_TRUE(ListTree(tmp.Path()).empty());
    // Too deep for a path: removed from the inside out.
    EXPECT_EQ(std::system(("rm -rf '" + dir.Join(component) + "'").c_str()), 0);
}

// Every byte but '/' and NUL, alone and in runs, and byte strings that are not UTF-8, in file
// and folder names.
TEST(FaultHostileTree, NamesOfAnyBytesAreFoundReplacedAndBackedUp) {
    TempDir dir;
    std::vector<std::string> names;
    for (int b = 1; b < 256; ++b)
        if (b != '/')
            names.push_back("n" + std::string(1, char(b)) + ".c");
    for (int first = 1; first < 256; first += 64) {
        std::string run = "r";
        for (int b = first; b < first + 64 && b < 256; ++b)
            if (b != '/')
                run += char(b);
        names.push_back(run + ".c");
    }
    for (const char* bad : {"\xc3\x28", "\xe2\x82", "\xed\xa0\x80", "\xf8\x88\x80\x80\x80",
                            "\xc0\xaf", "\xfe\xff", " ", "*?;\\"})
        names.push_back(std::string("\xff") + bad + ".c");
    const std::string folder = "odd \x01\x7f\x80\xff\xc0\xaf dir";
    dir.MakeFolder(folder);
    std::vector<std::string> all;
    for (const std::string& n : names) {
        for (const std::string& rel : {n, folder + "/" + n}) {
            ASSERT_TRUE(WriteFileBytes(dir.Join(rel), "needle in " + rel)) << rel;
            all.push_back(rel);
        }
    }
    auto counts = RunJobInChild(Find(dir.Path(), "*.c", true), kTimeout);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->filesProcessed, int64_t(all.size()));
    EXPECT_EQ(counts->replacementsMade, int64_t(all.size()));
    auto files = ReadTree(dir.Path());
    EXPECT_EQ(files.size(), 2 * all.size());  // each file and its backup, nothing else
    for (const std::string& rel : all) {
        EXPECT_EQ(files[rel], "PIN in " + rel) << rel;
        EXPECT_EQ(files[BackupOf(rel)], "needle in " + rel) << rel;
    }
}

// Folder links in a circle, links to the walk's own folders, file links in a circle and to
// nowhere: the walk ends, and each file is handed over once.
TEST(FaultHostileTree, LinkLoopsEnd) {
    TempDir dir;
    for (const char* rel : {"a/fa.c", "b/fb.c", "loop/f.c", "top.c"})
        dir.Write(rel, "needle");
    const std::pair<const char*, const char*> links[] = {
        {"a/tob", "../b"}, {"b/toa", "../a"}, {"loop/self", "."}, {"loop/up", ".."},
        {"l1.c", "l2.c"},  {"l2.c", "l1.c"},  {"me.c", "me.c"},   {"nowhere.c", "missing"}};
    for (const auto& [from, to] : links)
        ASSERT_EQ(::symlink(to, dir.Join(from).c_str()), 0) << from;
    auto counts = RunJobInChild(Find(dir.Path(), "*.c", false), kTimeout);
    ASSERT_TRUE(counts) << "the walk did not end";
    EXPECT_EQ(counts->filesProcessed, 4);
    EXPECT_EQ(counts->replacementsMade, 4);
    for (const char* rel : {"a/fa.c", "b/fb.c", "loop/f.c", "top.c"})
        EXPECT_EQ(dir.Read(rel), "PIN") << rel;
    counts = RunJobInChild(Touch(dir.Path(), "*.c"), kTimeout);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->filesProcessed, 4);
    EXPECT_EQ(ListTree(dir.Path()).size(), 15u);  // 3 folders, 4 files, 8 links
}

// Permissions bind only users other than root: as root the run drops to `nobody`.
TEST(FaultHostileTree, UnreadableFilesAndFoldersFailAlone) {
    TempDir dir, tmp;
    std::optional<uid_t> uid;
    if (::geteuid() == 0) {
        uid = NobodyUid();
        if (!uid)
            GTEST_SKIP() << "no unprivileged user to run as";
    }
    const std::map<std::string, mode_t> files = {{"ok.c", 0644},        {"unreadable.c", 0200},
                                                 {"readonly.c", 0444},  {"noread/in.c", 0644},
                                                 {"noexec/in.c", 0644}, {"nowrite/in.c", 0644}};
    for (const auto& [rel, mode] : files)
        dir.Write(rel, "needle");
    if (uid) {
        for (const std::string& d : {dir.Path(), tmp.Path()})
            ASSERT_EQ(std::system(("chown -R " + std::to_string(*uid) + " '" + d + "'").c_str()),
                      0);
    }
    for (const auto& [rel, mode] : files)
        ASSERT_EQ(::chmod(dir.Join(rel).c_str(), mode), 0);
    ASSERT_EQ(::chmod(dir.Join("noread").c_str(), 0300), 0);
    ASSERT_EQ(::chmod(dir.Join("noexec").c_str(), 0600), 0);
    ASSERT_EQ(::chmod(dir.Join("nowrite").c_str(), 0555), 0);

    // A folder that takes no new file gets its content through the temporary folder.
    ::setenv("TMPDIR", tmp.Path().c_str(), 1);
    auto counts = RunJobInChild(Find(dir.Path(), "*.c", false), kTimeout, uid);
    ::unsetenv("TMPDIR");
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->filesProcessed, 2);  // ok.c and nowrite/in.c
    EXPECT_EQ(counts->replacementsMade, 2);
    // Told as failures: unreadable.c, which the walk cannot open but still hands over, and the
    // folder noread, which cannot be listed; readonly.c is skipped, as asked.
    EXPECT_EQ(counts->failures, 2);
    for (const char* folder : {"noread", "noexec", "nowrite"})
        ::chmod(dir.Join(folder).c_str(), 0755);
    for (const auto& [rel, mode] : files) {
        ::chmod(dir.Join(rel).c_str(), 0644);
        const bool finished = rel == "ok.c" || rel == "nowrite/in.c";
        EXPECT_EQ(dir.Read(rel), finished ? "PIN" : "needle") << rel;
    }
    EXPECT_TRUE(ListTree(tmp.Path()).empty());
    EXPECT_EQ(ListTree(dir.Path()).size(), files.size() + 3);
}

// A user's run over another user's file it may write (0666) cannot give the backup that owner:
// the backup is then the running user's alone, without the set-group-id bit, so that it gives
// nobody more than the original did.
TEST(FaultHostileTree, BackupWhoseOwnerCannotBeGivenIsItsOwnersAlone) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the file belongs to another user than the run's";
    const std::optional<uid_t> uid = NobodyUid();
    if (!uid)
        GTEST_SKIP() << "no unprivileged user to run as";
    TempDir dir;
    dir.Write("shared.c", "a needle");
    ASSERT_EQ(::chown(dir.Path().c_str(), *uid, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(::chmod(dir.Join("shared.c").c_str(), 02666), 0);
    auto counts = RunJobInChild(Find(dir.Path(), "*.c", true), kTimeout, uid);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->filesProcessed, 1);
    EXPECT_EQ(dir.Read("shared.c"), "a PIN");
    struct stat file, backup;
    ASSERT_EQ(::stat(dir.Join("shared.c").c_str(), &file), 0);
    ASSERT_EQ(::stat(dir.Join("Backup of shared.c").c_str(), &backup), 0);
    EXPECT_EQ(file.st_uid, 0u);  // rewritten in place: still root's
    EXPECT_EQ(backup.st_uid, *uid);
    EXPECT_EQ(backup.st_mode & 07777, 0600u);
    EXPECT_EQ(dir.Read("Backup of shared.c"), "a needle");
}

// FIFOs, devices and sockets, under their own names and through links, are neither read nor
// touched: the runs end, count nothing but the one file, and leave every entry as it was.
TEST(FaultHostileTree, FifosAndDevicesAreNeverOpened) {
    TempDir dir;
    dir.Write("real.c", "needle");
    ASSERT_EQ(::mkfifo(dir.Join("pipe.c").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("pipe.c", dir.Join("topipe.c").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.Join("zero.c").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/urandom", dir.Join("random.c").c_str()), 0);
    if (::mknod(dir.Join("device.c").c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0)
        std::printf("no device node of its own (not root): links to devices only\n");
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir.Join("socket.c");
    if (socketPath.size() < sizeof address.sun_path) {
        std::strcpy(address.sun_path, socketPath.c_str());
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    const auto before = ListTree(dir.Path());

    auto counts = RunJobInChild(Find(dir.Path(), "*.c", true), kTimeout);
    ASSERT_TRUE(counts) << "Find did not end";
    EXPECT_EQ(counts->filesProcessed, 1);
    counts = RunJobInChild(Touch(dir.Path(), "*.c"), kTimeout);
    ASSERT_TRUE(counts) << "Touch did not end";
    EXPECT_EQ(counts->filesProcessed, 2);  // real.c and its backup
    ::close(sock);

    auto after = ListTree(dir.Path());
    EXPECT_EQ(after.size(), before.size() + 1);
    EXPECT_TRUE(after.count("Backup of real.c"));
    for (const auto& [rel, entry] : before) {
        if (rel == "real.c")
            continue;
        EXPECT_EQ(after[rel].kind, entry.kind) << rel;
        EXPECT_EQ(after[rel].inode, entry.inode) << rel;
        EXPECT_EQ(after[rel].mtimeNs, entry.mtimeNs) << rel << " was touched";
    }
}

}  // namespace
