/* The bare bound for a replace run: reads every file of a NUL-separated list once, and for each
 * file that holds TEXT writes a copy of it into a new file beside it; then one syncfs, then one
 * rename of each copy over its file. What a crash-safe rewrite cannot do without, and nothing
 * else: no scan beyond the search, no replacement, no journal. The copies hold the old content,
 * so the tree's content is as it was afterwards (their mode is mkstemp's). Prints the files read
 * and the files rewritten.
 *
 *   copy_bound LIST TEXT
 *   copy_bound --changed CHANGED LIST
 *
 * With --changed, the files that change are those named in CHANGED (NUL-separated, as LIST),
 * worked out before the timed run: for a caseless whole-word replace, where no plain byte search
 * says which files change, the bound then does less than any search, and stays a bound.
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

/* The names of a NUL-separated list, sorted for bsearch. */
struct Names {
    char** names;
    size_t count;
};

static int CompareNames(const void* a, const void* b) {
    return strcmp(*(char* const*)a, *(char* const*)b);
}

static int ReadNames(const char* path, struct Names* out) {
    FILE* f = fopen(path, "rb");
    if (!f)
        return 0;
    char* name = NULL;
    size_t nameCapacity = 0, capacity = 0;
    int ok = 1;
    while (ok && getdelim(&name, &nameCapacity, '\0', f) > 0) {
        if (out->count == capacity) {
            capacity = capacity * 2 + 256;
            char** grown = realloc(out->names, capacity * sizeof *grown);
            if (!grown) {
                ok = 0;
                break;
            }
            out->names = grown;
        }
        if (!(out->names[out->count++] = strdup(name)))
            ok = 0;
    }
    free(name);
    fclose(f);
    if (ok)
        qsort(out->names, out->count, sizeof *out->names, CompareNames);
    return ok;
}

static int Listed(const struct Names* names, const char* name) {
    return bsearch(&name, names->names, names->count, sizeof *names->names, CompareNames) != NULL;
}

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
    struct Names changed = {NULL, 0};
    const int byList = argc == 4 && strcmp(argv[1], "--changed") == 0;
    if ((argc != 3 && !byList) || !argv[2][0]) {
        fputs("usage: copy_bound LIST TEXT | copy_bound --changed CHANGED LIST\n", stderr);
        return 2;
    }
    if (byList && !ReadNames(argv[2], &changed)) {
        perror(argv[2]);
        return 1;
    }
    const char* listPath = byList ? argv[3] : argv[1];
    FILE* list = fopen(listPath, "rb");
    if (!list) {
        perror(listPath);
        return 1;
    }
    const char* text = byList ? NULL : argv[2];
    const size_t textSize = text ? strlen(text) : 0;
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
        if (text ? !memmem(data, (size_t)size, text, textSize) : !Listed(&changed, name))
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
    for (size_t i = 0; i < changed.count; ++i)
        free(changed.names[i]);
    free(changed.names);
    return failed;
}
