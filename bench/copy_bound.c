/* The bare bound for a replace run: reads every file of a NUL-separated list once, and for each
 * file that holds TEXT writes a copy of it into a new file beside it; then one syncfs, then one
 * rename of each copy over its file. What a crash-safe rewrite cannot do without, and nothing
 * else: no scan beyond the search, no replacement, no journal. The copies hold the old content,
 * so the tree's content is as it was afterwards (their mode is mkstemp's). Prints the files read
 * and the files rewritten.
 *
 *   copy_bound LIST TEXT
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

struct Copy {
    char* file;
    char* temp;
};

/* The whole file in `*data`, grown as needed; its length, or -1. */
static ssize_t ReadWhole(const char* name, char** data, size_t* capacity) {
    int fd = open(name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t size = 0;
    for (;;) {
        if (*capacity - size < 65536) {
            *capacity = *capacity * 2 + 65536;
            char* grown = realloc(*data, *capacity);
            if (!grown) {
                close(fd);
                return -1;
            }
            *data = grown;
        }
        ssize_t n = read(fd, *data + size, *capacity - size);
        if (n < 0) {
            close(fd);
            return -1;
        }
        if (n == 0)
            break;
        size += (size_t)n;
    }
    close(fd);
    return (ssize_t)size;
}

/* A new file beside `file` holding `size` bytes of `data`; its name, or NULL. */
static char* WriteBeside(const char* file, const char* data, size_t size) {
    char* folder = strdup(file);
    char* temp = NULL;
    if (!folder || asprintf(&temp, "%s/.copy_bound-XXXXXX", dirname(folder)) < 0) {
        free(folder);
        return NULL;
    }
    free(folder);
    int fd = mkostemp(temp, O_CLOEXEC);
    if (fd < 0) {
        free(temp);
        return NULL;
    }
    for (size_t at = 0; at < size;) {
        ssize_t n = write(fd, data + at, size - at);
        if (n <= 0) {
            close(fd);
            unlink(temp);
            free(temp);
            return NULL;
        }
        at += (size_t)n;
    }
    close(fd);
    return temp;
}

int main(int argc, char** argv) {
    if (argc != 3 || !argv[2][0]) {
        fputs("usage: copy_bound LIST TEXT\n", stderr);
        return 2;
    }
    FILE* list = fopen(argv[1], "rb");
    if (!list) {
        perror(argv[1]);
        return 1;
    }
    const char* text = argv[2];
    const size_t textSize = strlen(text);
    char* name = NULL;
    size_t nameCapacity = 0;
    char* data = NULL;
    size_t capacity = 0;
    struct Copy* copies = NULL;
    size_t ncopies = 0, copiesCapacity = 0;
    long read = 0;
    int failed = 0;
    while (getdelim(&name, &nameCapacity, '\0', list) > 0) {
        ssize_t size = ReadWhole(name, &data, &capacity);
        if (size < 0) {
            perror(name);
            failed = 1;
            continue;
        }
        ++read;
        if (!memmem(data, (size_t)size, text, textSize))
            continue;
        char* temp = WriteBeside(name, data, (size_t)size);
        if (!temp) {
            perror(name);
            failed = 1;
            continue;
        }
        if (ncopies == copiesCapacity) {
            copiesCapacity = copiesCapacity * 2 + 256;
            struct Copy* grown = realloc(copies, copiesCapacity * sizeof *copies);
            if (!grown)
                return 1;
            copies = grown;
        }
        copies[ncopies].file = strdup(name);
        copies[ncopies].temp = temp;
        ++ncopies;
    }
    fclose(list);
    /* One wait for the disk for all the copies, as Scrivox's grouped flush does. */
    if (ncopies > 0) {
        int fd = open(copies[0].temp, O_RDONLY | O_CLOEXEC);
        if (fd < 0 || syncfs(fd) != 0) {
            perror("syncfs");
            failed = 1;
        }
        if (fd >= 0)
            close(fd);
    }
    for (size_t i = 0; i < ncopies; ++i) {
        if (rename(copies[i].temp, copies[i].file) != 0) {
            perror(copies[i].file);
            unlink(copies[i].temp);
            failed = 1;
        }
        free(copies[i].file);
        free(copies[i].temp);
    }
    printf("%ld files read, %zu rewritten\n", read, ncopies);
    free(copies);
    free(data);
    free(name);
    return failed;
}
