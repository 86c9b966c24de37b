/* The bare bound for Touch with the walk it must make: the same directory reads as Scrivox's
 * walk (each folder read once for its subfolders, then once more per filter, so that files made
 * meanwhile are found), one status read per matching name (a read-only or non-regular file is
 * skipped) and one utimensat per file, relative to the open folder. No store, no report.
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

enum { kBuffer = 32 * 1024 };

static char* filters[64];
static int nfilters;
static long touched;
static const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};

static void walk(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    char* buffer = malloc(kBuffer);
    /* Subfolders first, entered as they are found. */
    long n;
    while ((n = syscall(SYS_getdents64, fd, buffer, kBuffer)) > 0) {
        for (long at = 0; at < n;) {
            struct dirent64* e = (struct dirent64*)(buffer + at);
            at += e->d_reclen;
            if (e->d_type == DT_DIR && strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
                /* The child reads its own folder; this one's position is kept by the kernel. */
                walk(fd, e->d_name);
            }
        }
    }
    for (int f = 0; f < nfilters; ++f) {
        if (lseek(fd, 0, SEEK_SET) != 0)
            break;
        while ((n = syscall(SYS_getdents64, fd, buffer, kBuffer)) > 0) {
            for (long at = 0; at < n;) {
                struct dirent64* e = (struct dirent64*)(buffer + at);
                at += e->d_reclen;
                struct stat st;
                if (e->d_name[0] == '.' || fnmatch(filters[f], e->d_name, FNM_CASEFOLD) != 0 ||
                    fstatat(fd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode) ||
                    !(st.st_mode & S_IWUSR))
                    continue;
                if (utimensat(fd, e->d_name, times, 0) == 0)
                    ++touched;
            }
        }
    }
    free(buffer);
    close(fd);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: touch_walk FOLDER 'FILTER;FILTER;...'\n", stderr);
        return 2;
    }
    for (char* f = strtok(argv[2], ";"); f && nfilters < 64; f = strtok(NULL, ";"))
        filters[nfilters++] = f;
    walk(AT_FDCWD, argv[1]);
    printf("%ld files touched\n", touched);
    return 0;
}
