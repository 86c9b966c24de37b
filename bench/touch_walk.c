/* The bare bound for Touch with the walk it must make: the same walk as Scrivox's (each folder
 * read once, its subfolders walked first, version-control folders left out), one status read per
 * matching name (a read-only or non-regular file is skipped) and one utimensat per file, relative
 * to the open folder. No store, no journal, no report.
 *
 *   touch_walk FOLDER 'FILTER;FILTER;...'
 */
#include "bare_walk.h"

#include <stdio.h>
#include <sys/stat.h>

static long files;

static void TouchFile(int folder, const char* name) {
    struct stat st;
    if (fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        !(st.st_mode & S_IWUSR))
        return;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    if (utimensat(folder, name, times, AT_SYMLINK_NOFOLLOW) == 0)
        ++files;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: touch_walk FOLDER 'FILTER;FILTER;...'\n", stderr);
        return 2;
    }
    SetFilters(argv[2]);
    Walk(AT_FDCWD, argv[1], TouchFile);
    printf("%ld files touched\n", files);
    return files > 0 ? 0 : 1;
}
