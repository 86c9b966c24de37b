/* What a run changed in a tree too big to compare with a copy: walks FOLDER (links not followed)
 * and counts its files and bytes, the files a run over it takes (FILTER's names without regard
 * to case, regular, not hidden, writable by the owner: as read_loop), and which of them the run
 * changed. A file or folder changed when its status-change time is at or after SINCE's last-write
 * time: SINCE is a file made just before the run, on the same clock as the tree's times, so any
 * write, rename or time set since shows. A listed file's last-write time is "in the window" when
 * it lies within a second of SINCE and UNTIL (a file made just after the run): Touch may set
 * whole seconds. Prints one line:
 *
 *   files=F bytes=B listed=L listed_bytes=LB listed_changed=LC listed_in_window=LW
 *   others_changed=OC folders=D folders_changed=DC
 *
 *   tree_changes FOLDER 'FILTER;FILTER;...' SINCE UNTIL
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char* filters[64];
static int nfilters;
static long long since, until;  /* nanoseconds */
static long files, listed, listedChanged, listedInWindow, othersChanged, folders, foldersChanged;
static long long bytes, listedBytes;

static long long Nanoseconds(struct timespec t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

static int Matches(const char* name) {
    for (int i = 0; i < nfilters; ++i)
        if (fnmatch(filters[i], name, FNM_CASEFOLD) == 0)
            return 1;
    return 0;
}

static void Count(const char* name, const struct stat* st) {
    const int changed = Nanoseconds(st->st_ctim) >= since;
    ++files;
    bytes += st->st_size;
    if (name[0] == '.' || !(st->st_mode & S_IWUSR) || !Matches(name)) {
        othersChanged += changed;
        return;
    }
    const long long m = Nanoseconds(st->st_mtim);
    ++listed;
    listedBytes += st->st_size;
    listedChanged += changed;
    listedInWindow += m >= since - 1000000000LL && m <= until + 1000000000LL;
}

static int Walk(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd < 0 ? NULL : fdopendir(fd);
    struct stat st;
    if (!dir || fstat(fd, &st) != 0) {
        perror(name);
        if (fd >= 0)
            close(fd);
        return 0;
    }
    ++folders;
    foldersChanged += Nanoseconds(st.st_ctim) >= since;
    int ok = 1;
    for (struct dirent* e; ok && (e = readdir(dir));) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
            continue;
        if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            perror(e->d_name);
            ok = 0;
        } else if (S_ISDIR(st.st_mode)) {
            ok = Walk(fd, e->d_name);
        } else if (S_ISREG(st.st_mode)) {
            Count(e->d_name, &st);
        } else {
            othersChanged += Nanoseconds(st.st_ctim) >= since;
        }
    }
    closedir(dir);
    return ok;
}

static int TimeOf(const char* path, long long* t) {
    struct stat st;
    if (stat(path, &st) != 0) {
        perror(path);
        return 0;
    }
    *t = Nanoseconds(st.st_mtim);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fputs("usage: tree_changes FOLDER 'FILTER;FILTER;...' SINCE UNTIL\n", stderr);
        return 2;
    }
    for (char* item = strtok(argv[2], ";"); item && nfilters < 64; item = strtok(NULL, ";"))
        filters[nfilters++] = item;
    if (!TimeOf(argv[3], &since) || !TimeOf(argv[4], &until) || !Walk(AT_FDCWD, argv[1]))
        return 1;
    printf("files=%ld bytes=%lld listed=%ld listed_bytes=%lld listed_changed=%ld "
           "listed_in_window=%ld others_changed=%ld folders=%ld folders_changed=%ld\n",
           files, bytes, listed, listedBytes, listedChanged, listedInWindow, othersChanged,
           folders, foldersChanged);
    return 0;
}
