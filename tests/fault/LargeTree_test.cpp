// Sizes far beyond the usual: a 5 GiB sparse file and a folder of 100,000 files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "engine/Run.h"
#include "framework/TTime.h"
#include "tests/fault/FaultSupport.h"
#include "tests/support/TempDir.h"

namespace {

constexpr uint64_t GiB = 1ull << 30;

JobSettings Job(const std::string& folder, const std::string& filter, Action action) {
    JobSettings job;
    job.folder = folder;
    job.filter = filter;
    job.action = action;
    job.findText = "needle";
    job.replaceText = "PINPIN";  // as long as the find text: the length never changes
    job.caseSensitive = true;
    job.binaryFiles = true;  // a sparse file reads as zeros: binary
    job.touchTime = TimeFromUnix(2000000000, 0);
    return job;
}

uint64_t AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kib = 0;
    while (meminfo >> key >> kib)
        if (key == "MemAvailable:")
            return kib * 1024;
    return 0;
}

uint64_t FreeSpace(const std::string& folder) {
    struct statvfs vfs;
    return ::statvfs(folder.c_str(), &vfs) == 0 ? uint64_t(vfs.f_bavail) * vfs.f_frsize : 0;
}

// Touch leaves it sparse; Find reads all 5 GiB to replace its last six bytes, keeps its length,
// and its memory stays that of a few blocks. The file lives on a tmpfs of its own when one can
// be mounted (and memory allows), so that its rewritten 5 GiB never reach the disk.
TEST(FaultLargeTree, SparseFiveGiBFileKeepsItsLengthInBoundedMemory) {
    const uint64_t kLength = 5 * GiB;
    TempDir dir;
    dir.MakeFolder("disk");
    const std::string folder = dir.Join("disk");
    std::unique_ptr<ScopedTmpfs> mount;
    if (AvailableMemory() > kLength + 3 * GiB)
        mount = std::make_unique<ScopedTmpfs>(folder, "size=" + std::to_string(kLength + GiB));
    if ((!mount || !mount->Mounted()) && FreeSpace(folder) < 2 * kLength + GiB)
        GTEST_SKIP() << "no room for the rewritten file";
    const std::string path = folder + "/big.c";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    bool made =
        ::ftruncate(fd, off_t(kLength)) == 0 && ::pwrite(fd, "needle", 6, off_t(kLength - 6)) == 6;
    ::close(fd);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    if (!made || uint64_t(st.st_blocks) * 512 > (1 << 20))
        GTEST_SKIP() << "no sparse files here";
    const blkcnt_t sparseBlocks = st.st_blocks;

    auto counts = RunJobInChild(Job(folder, "*.c", Action::Touch), 60);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->filesProcessed, 1);
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(uint64_t(st.st_size), kLength);
    EXPECT_EQ(st.st_blocks, sparseBlocks);
    EXPECT_EQ(st.st_mtim.tv_sec, 2000000000);

    // A forked child starts with its parent's peak; what Find adds to it is measured.
    struct rusage parent;
    ASSERT_EQ(::getrusage(RUSAGE_SELF, &parent), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ChildOutcome outcome = RunInChild(
        [&] {
            RunCounts c = RunJob(Job(folder, "*.c", Action::Find), nullptr);
            return ::write(fds[1], &c, sizeof c) == ssize_t(sizeof c) ? 0 : 4;
        },
        600);
    ::close(fds[1]);
    RunCounts found{-1, -1};
    EXPECT_EQ(::read(fds[0], &found, sizeof found), ssize_t(sizeof found));
    ::close(fds[0]);
    ASSERT_TRUE(outcome.exited && outcome.exitCode == 0);
    EXPECT_EQ(found.filesProcessed, 1);
    EXPECT_EQ(found.replacementsMade, 1);
    const long growthKiB = outcome.usage.ru_maxrss - parent.ru_maxrss;
    EXPECT_LT(growthKiB, 64 * 1024) << "peak resident memory grew by " << growthKiB << " KiB";

    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(uint64_t(st.st_size), kLength);
    char tail[4096];
    fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::pread(fd, tail, sizeof tail, off_t(kLength - sizeof tail)), ssize_t(sizeof tail));
    ::close(fd);
    EXPECT_EQ(std::string(tail + sizeof tail - 6, 6), "PINPIN");
    EXPECT_EQ(std::string(tail, sizeof tail - 6), std::string(sizeof tail - 6, '\0'));
    EXPECT_EQ(::unlink(path.c_str()), 0);  // 5 GiB go now, not with the folder
}

// The walk lists the folder once per filter; only the few names that match are opened.
TEST(FaultLargeTree, HundredThousandEmptyFilesWithAFilterThatMatchesFew) {
    TempDir dir;
    int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    char name[32];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(name, sizeof name, "e%05d.c", i);
        int f = ::openat(fd, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(f, 0) << name;
        ::close(f);
    }
    ::close(fd);
    auto counts = RunJobInChild(Job(dir.Path(), "e0000?.c;e9999?.c;*.h", Action::Find), 300);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->filesProcessed, 20);
    EXPECT_EQ(counts->replacementsMade, 0);
}

}  // namespace
