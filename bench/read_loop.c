/* The bare bound for a run that finds nothing: walks the tree once, each folder read once, and
 * reads every file whose name matches one of the filters, in large blocks, doing nothing else.
 * It takes the files Scrivox takes: names matched without regard to case, regular, not hidden
 * (no leading '.'), writable by the owner; hidden folders are entered, links are not followed,
 * version-control folders are left out.
 * Prints the files and bytes read, so that a bench can check it read what Scrivox read.
 *
 *   read_loop FOLDER 'FILTER;FILTER;...'
 */
#include "bare_walk.h"

#include <stdio.h>
#include <sys/stat.h>

enum { kBlock = 1024 * 1024 };

static char* block;
static long files;
static long long bytes;

static void ReadFile(int folder, const char* name) {
    int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        return;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR)) {
        ssize_t n;
        while ((n = read(fd, block, kBlock)) > 0)
            bytes += n;
        ++files;
    }
    close(fd);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: read_loop FOLDER 'FILTER;FILTER;...'\n", stderr);
        return 2;
    }
    SetFilters(argv[2]);
    block = malloc(kBlock);
    if (!block)
        return 1;
    Walk(AT_FDCWD, argv[1], ReadFile);
    printf("%ld files, %lld bytes\n", files, bytes);
    free(block);
    return files > 0 ? 0 : 1;
}
