/* The bare bound for Touch: sets the last-write time of every file named in a NUL-separated
 * list to now, leaving the access time alone, with one utimensat call per file and nothing else.
 *
 *   touch_loop LIST
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: touch_loop LIST\n", stderr);
        return 2;
    }
    FILE* list = fopen(argv[1], "rb");
    if (!list) {
        perror(argv[1]);
        return 1;
    }
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    char* name = NULL;
    size_t capacity = 0;
    int failed = 0;
    while (getdelim(&name, &capacity, '\0', list) > 0) {
        if (utimensat(AT_FDCWD, name, times, 0) != 0) {
            perror(name);
            failed = 1;
        }
    }
    free(name);
    fclose(list);
    return failed;
}
