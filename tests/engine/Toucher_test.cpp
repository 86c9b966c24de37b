#include "engine/Toucher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/FileRecurser.h"
#include "engine/Run.h"
#include "framework/FileTimes.h"
#include "framework/TFileName.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>

#include "framework/win32/WidePath.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/TFolder.h"
#endif

namespace fs = std::filesystem;

namespace {

const std::string kContent("line one\r\nline two\n\0binary\xff", 27);

TTime At(const TDateTime& dt, int64_t extraTicks = 0) {
    TTime t;
    EXPECT_TRUE(DateTimeToTime(dt, t)) << dt;
    t.ticks += extraTicks;
    return t;
}

FileTimes TimesOf(const std::string& path) {
    FileTimes times;
    EXPECT_TRUE(GetFileTimes(path, times)) << path;
    return times;
}

// The last-write time as the platform itself reports it, not through GetFileTimes.
TTime PlatformLastWrite(const std::string& path) {
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(WidePath(path).c_str(), &data);
    EXPECT_NE(find, INVALID_HANDLE_VALUE);
    ::FindClose(find);
    const FILETIME& ft = data.ftLastWriteTime;
    return TTime{static_cast<int64_t>((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime)};
#else
    struct stat st;
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return TimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
#endif
}

// Wine has no creation time of its own to keep: it reports the Unix file's last-write time.
bool CreationTimeIsKept() {
#ifdef _WIN32
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
#else
    return true;  // where the platform reports none, both sides are zero
#endif
}

class RecordingOwner final : public ReportOwner {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        shown.emplace_back(text, caption);
    }
    std::vector<std::pair<std::string, std::string>> shown;
};

struct TimeCase {
    const char* name;
    TTime time;
    // False where the file system may clamp the time to its own range.
    bool everywhere;
};

TEST(Toucher, ChangesOnlyTheLastWriteTimeExactly) {
    const TimeCase kCases[] = {
        {"fraction of a second", At({2024, 7, 15, 12, 0, 0}, 1234567), true},
        {"after signed 32-bit seconds", At({2038, 1, 19, 3, 14, 8}), true},
        {"after unsigned 32-bit seconds", At({2106, 2, 7, 6, 28, 16}, 100), true},
        {"just before 1970", At({1969, 12, 31, 23, 59, 59}, 5000000), true},
        {"first signed 32-bit second", At({1901, 12, 13, 20, 45, 52}), true},
        {"far future", At({2800, 1, 1, 0, 0, 0}), false},
        {"before 1900", At({1700, 6, 30, 12, 0, 0}), false},
    };
    TempDir dir;
    for (const TimeCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Join(std::string(c.name) + ".txt");
        WriteWholeFile(path, kContent);
        const FileTimes before = TimesOf(path);

        Toucher toucher(c.time);
        const bool touched = toucher.ProcessFile(TFileName(path));
        const FileTimes after = TimesOf(path);
        if (!c.everywhere && (!touched || after.lastWrite != c.time)) {
            std::cout << "  (this file system does not keep " << c.time << ")\n";
            continue;
        }
        ASSERT_TRUE(touched);
        EXPECT_EQ(toucher.FilesProcessed, 1);
        EXPECT_EQ(after.lastWrite, c.time);
        EXPECT_EQ(PlatformLastWrite(path), c.time);
        EXPECT_EQ(after.lastAccess, before.lastAccess);
        if (CreationTimeIsKept()) {
            EXPECT_EQ(after.creation, before.creation);
        }
        EXPECT_EQ(ReadWholeFile(path), kContent);
    }
}

TEST(Toucher, RunGivesEveryMatchingFileTheSameTime) {
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "sub/c.txt", "sub/deeper/d.txt", "skip.dat"})
        dir.Write(name, kContent);
    const TTime untouched = TimesOf(dir.Join("skip.dat")).lastWrite;
    JobSettings job;
    job.folder = dir.Path();
    job.filter = "*.txt";
    job.action = Action::Touch;
    job.touchTime = At({2041, 3, 4, 5, 6, 7});
    RecordingOwner owner;

    RunCounts counts = RunJob(job, &owner);
    EXPECT_EQ(counts.filesProcessed, 4);
    EXPECT_EQ(counts.replacementsMade, 0);
    for (const char* name : {"a.txt", "b.txt", "sub/c.txt", "sub/deeper/d.txt"})
        EXPECT_EQ(TimesOf(dir.Join(name)).lastWrite, job.touchTime) << name;
    EXPECT_EQ(TimesOf(dir.Join("skip.dat")).lastWrite, untouched);
    ASSERT_EQ(owner.shown.size(), 1u);
    EXPECT_EQ(owner.shown[0].first, "4 files processed.");
    EXPECT_EQ(owner.shown[0].second, "Replace");

    job.filter = "*.none";
    owner.shown.clear();
    EXPECT_EQ(RunJob(job, &owner).filesProcessed, 0);
    ASSERT_EQ(owner.shown.size(), 1u);
    EXPECT_EQ(owner.shown[0].first, "No files processed.");
    EXPECT_EQ(owner.shown[0].second, "Replace");
}

TEST(Toucher, MissingFilesAndFoldersAreNotCounted) {
    TempDir dir;
    dir.MakeFolder("folder.txt");
    const TTime folderTime = TimesOf(dir.Join("folder.txt")).lastWrite;
    Toucher toucher(At({2030, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(toucher.ProcessFile(TFileName(dir.Join("missing.txt"))));
    EXPECT_FALSE(toucher.ProcessFile(TFileName(dir.Join("folder.txt"))));
    EXPECT_EQ(toucher.FilesProcessed, 0);
    EXPECT_EQ(TimesOf(dir.Join("folder.txt")).lastWrite, folderTime);
}

TEST(Toucher, LargeSparseFileKeepsItsLength) {
    TempDir dir;
    const std::string path = dir.Join("big.bin");
    const uint64_t kLength = (3ull << 30) + 123;
#ifdef _WIN32
    {
        HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD bytes = 0;
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(kLength);
        bool sparse =
            ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &bytes, nullptr) != 0;
        bool made = sparse && ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
        ::CloseHandle(h);
        if (!made)
            GTEST_SKIP() << "no sparse files in the temporary folder";
    }
#else
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        bool made = ::ftruncate(fd, static_cast<off_t>(kLength)) == 0;
        ::close(fd);
        struct stat st;
        if (!made || ::stat(path.c_str(), &st) != 0 || uint64_t(st.st_blocks) * 512 >= kLength)
            GTEST_SKIP() << "no sparse files in the temporary folder";
    }
#endif
    Toucher toucher(At({2050, 5, 6, 7, 8, 9}));
    ASSERT_TRUE(toucher.ProcessFile(TFileName(path)));
    EXPECT_EQ(fs::file_size(path), kLength);
    EXPECT_EQ(TimesOf(path).lastWrite, toucher.Time);
}

#ifdef _WIN32
// Another program's handle, with or without sharing, keeps the file from being touched.
TEST(Toucher, FileHeldOpenByAnotherHandleIsSkipped) {
    TempDir dir;
    const std::string path = dir.Join("held.txt");
    for (DWORD share : {DWORD(0), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
        SCOPED_TRACE(share);
        WriteWholeFile(path, kContent);
        const TTime before = TimesOf(path).lastWrite;
        Toucher toucher(At({2031, 2, 3, 4, 5, 6}));
        HANDLE other = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, share, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(toucher.ProcessFile(TFileName(path)));
        EXPECT_EQ(toucher.FilesProcessed, 0);
        EXPECT_EQ(TimesOf(path).lastWrite, before);
        ::CloseHandle(other);
        EXPECT_TRUE(toucher.ProcessFile(TFileName(path)));
        EXPECT_EQ(toucher.FilesProcessed, 1);
    }
}
#endif

#ifndef _WIN32
int64_t OwnMtimeNs(const std::string& path) {
    struct stat st;
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

TEST(Toucher, LinkToAFileGivesItsTargetTheTime) {
    TempDir dir;
    dir.Write("target.dat", kContent);
    ASSERT_EQ(::symlink("target.dat", dir.Join("link.c").c_str()), 0);
    const int64_t linkTime = OwnMtimeNs(dir.Join("link.c"));
    JobSettings job;
    job.folder = dir.Path();
    job.filter = "*.c";
    job.action = Action::Touch;
    job.touchTime = At({2033, 3, 3, 3, 3, 3});
    RecordingOwner owner;
    EXPECT_EQ(RunJob(job, &owner).filesProcessed, 1);
    EXPECT_EQ(TimesOf(dir.Join("target.dat")).lastWrite, job.touchTime);
    EXPECT_EQ(OwnMtimeNs(dir.Join("link.c")), linkTime);
}

// Keeps a copy of every name it is handed, as a processor that remembers names would, and
// touches through the copy, after putting a FIFO or a folder in place of fifo.c and folder.c.
class KeepingToucher final : public FileProcessorBase {
public:
    explicit KeepingToucher(TTime time) : toucher(time) {}
    bool ProcessFile(const TFileName& file) override {
        const std::string& path = file.FullPath();
        const std::string_view name = file.NameAndExtension();
        if (name == "fifo.c" || name == "folder.c") {
            EXPECT_EQ(::unlink(path.c_str()), 0);
            EXPECT_EQ(name == "fifo.c" ? ::mkfifo(path.c_str(), 0644) : ::mkdir(path.c_str(), 0755),
                      0);
        }
        kept.push_back(file);
        return toucher.ProcessFile(kept.back());
    }
    void ShowResult(ReportOwner&) override {}
    Toucher toucher;
    std::vector<TFileName> kept;
};

// A copy of a walk name carries neither the walk's status read nor its open folder: a FIFO or
// folder that took the name after the walk saw a file there is found out and left alone, and a
// copy used after the walk reaches its file by path, not through a descriptor that the walk has
// closed and that may by now be another folder's.
TEST(Toucher, CopiesOfWalkNamesAreCheckedAgainAndGoByPath) {
    TempDir dir;
    for (const char* name :
         {"kept/a.c", "kept/sub/b.c", "kept/fifo.c", "kept/folder.c", "decoy/a.c", "decoy/b.c"})
        dir.Write(name, kContent);
    KeepingToucher processor(At({2031, 1, 1, 0, 0, 0}));
    FileRecurser walker(dir.Join("kept"), "*.c", true, &processor);
    ASSERT_TRUE(walker.Recurse());
    ASSERT_EQ(processor.kept.size(), 4u);
    EXPECT_EQ(processor.toucher.FilesProcessed, 2);
    for (const char* name : {"kept/fifo.c", "kept/folder.c"})
        EXPECT_NE(TimesOf(dir.Join(name)).lastWrite, processor.toucher.Time) << name;

    // The walk's descriptors are free again: these folders take them.
    std::vector<TFolder> decoys(4);
    for (TFolder& decoy : decoys)
        ASSERT_TRUE(decoy.Open(dir.Join("decoy")));
    const TTime later = At({2032, 2, 2, 2, 2, 2});
    int touched = 0;
    for (const TFileName& name : processor.kept)
        touched += SetLastWriteTime(name, later) ? 1 : 0;
    EXPECT_EQ(touched, 2);
    for (const char* name : {"kept/a.c", "kept/sub/b.c"})
        EXPECT_EQ(TimesOf(dir.Join(name)).lastWrite, later) << name;
    for (const char* name : {"decoy/a.c", "decoy/b.c"})
        EXPECT_NE(TimesOf(dir.Join(name)).lastWrite, later) << name;
}
#endif

}  // namespace
