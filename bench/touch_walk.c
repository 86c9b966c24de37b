/* The bare bound for Touch with the walk it must make: the same walk as Scrivox's (each folder
 * read once, its subfolders walked first, version-control folders left out), one status read per
 * matching name (a read-only or non-regular file is skipped) and one utimensat per file, relative
 * to the open folder. No store, no journal, no report.
 *
 *   touch_walk FOLDER 'FILTER;FILTER;...'
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

enum { kListing = 64 * 1024 };

static char* filters[64];
static int nfilters;
static long files;

static int Matches(const char* name) {
    for (int i = 0; i < nfilters; ++i)
        if (fnmatch(filters[i], name, FNM_CASEFOLD) == 0)
            return 1;
    return 0;
}

static int IsVersionControl(const char* name) {
    static const char* const kNames[] = {".git", ".hg", ".svn", ".bzr", "_darcs"};
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        if (strcmp(name, kNames[i]) == 0)
            return 1;
    return 0;
}

static void TouchFile(int folder, const char* name) {
    struct stat st;
    if (fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        !(st.st_mode & S_IWUSR))
        return;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    if (utimensat(folder, name, times, AT_SYMLINK_NOFOLLOW) == 0)
        ++files;
}

static void Walk(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    /* One read of the folder: its names are kept, its subfolders walked first, then its files. */
    size_t size = 0, capacity = kListing;
    char* listing = malloc(capacity);
    long n;
    while (listing && (n = syscall(SYS_getdents64, fd, listing + size, capacity - size)) > 0) {
        size += (size_t)n;
        if (capacity - size < kListing / 2) {
            capacity *= 2;
            char* grown = realloc(listing, capacity);
            if (!grown)
                break;
            listing = grown;
        }
    }
    for (size_t at = 0; listing && at < size;) {
        struct dirent64* e = (struct dirent64*)(listing + at);
        at += e->d_reclen;
        if (e->d_type == DT_DIR && strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0 &&
            !IsVersionControl(e->d_name))
            Walk(fd, e->d_name);
    }
    for (size_t at = 0; listing && at < size;) {
        struct dirent64* e = (struct dirent64*)(listing + at);
        at += e->d_reclen;
        if ((e->d_type == DT_REG || e->d_type == DT_UNKNOWN) && e->d_name[0] != '.' &&
            Matches(e->d_name))
            TouchFile(fd, e->d_name);
    }
    free(listing);
    close(fd);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: touch_walk FOLDER 'FILTER;FILTER;...'\n", stderr);
        return 2;
    }
    for (char* item = strtok(argv[2], ";"); item && nfilters < 64; item = strtok(NULL, ";"))
        filters[nfilters++] = item;
    Walk(AT_FDCWD, argv[1]);
    printf("%ld files touched\n", files);
    return files > 0 ? 0 : 1;
}
