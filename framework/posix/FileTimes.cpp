#include "framework/FileTimes.h"

#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>

#include "framework/FileError.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"

namespace {

TTime FromTimespec(const struct timespec& ts) {
    return TimeFromUnix(ts.tv_sec, ts.tv_nsec);
}

}  // namespace

bool GetFileTimes(const std::string& path, FileTimes& times) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    times.creation = TTime{};
    times.lastAccess = FromTimespec(st.st_atim);
    times.lastWrite = FromTimespec(st.st_mtim);
    return true;
}

namespace {

bool SetLastWriteTimeAt(int folder, const char* name, bool walked, int64_t seconds,
                        int64_t nanoseconds) {
    if (static_cast<int64_t>(static_cast<time_t>(seconds)) != seconds) {
        errno = EOVERFLOW;
        return SystemFailure();
    }
    // A plain path must name a regular file, through links as the user named it. A walk name
    // was a regular file when the walk read its status just now; its name is not followed
    // again, so that whatever took it since (a link to elsewhere included) changes nothing
    // outside the folder.
    struct stat st;
    if (!walked && ::fstatat(folder, name, &st, 0) != 0)
        return SystemFailure();
    if (!walked && !S_ISREG(st.st_mode))
        return Failure(FileProblem::NotRegularFile);
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;  // last access stays as it is
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    return ::utimensat(folder, name, times, walked ? AT_SYMLINK_NOFOLLOW : 0) == 0 ||
           SystemFailure();
}

bool SetLastWriteTimeAt(const TFileName& file, int64_t seconds, int64_t nanoseconds) {
    if (const TFolder* holder = file.Holder())
        return SetLastWriteTimeAt(holder->Descriptor(), file.NameInHolder(), true, seconds,
                                  nanoseconds);
    return SetLastWriteTimeAt(AT_FDCWD, file.FullPath().c_str(), false, seconds, nanoseconds);
}

}  // namespace

bool SetLastWriteTime(const std::string& path, TTime time) {
    int64_t seconds, nanoseconds;
    TimeToUnix(time, seconds, nanoseconds);
    return SetLastWriteTimeAt(AT_FDCWD, path.c_str(), false, seconds, nanoseconds);
}

bool SetLastWriteTime(const TFileName& file, TTime time) {
    int64_t seconds, nanoseconds;
    TimeToUnix(time, seconds, nanoseconds);
    return SetLastWriteTimeAt(file, seconds, nanoseconds);
}

bool SetLastWriteStamp(const TFileName& file, int64_t lastWrite) {
    // Nanoseconds since 1970, as the stamp has them.
    const int64_t below = (lastWrite % 1000000000 + 1000000000) % 1000000000;
    return SetLastWriteTimeAt(file, (lastWrite - below) / 1000000000, below);
}
