/* The walk of the bare bounds (read_loop, touch_walk), as Scrivox walks: each folder read once,
 * its subfolders walked first (version-control folders left out), then each of its names that is
 * a file or may be one, not hidden (no leading '.') and matching one of the filters without
 * regard to case, handed to OnFile relative to the open folder. Links are not followed. */
#ifndef SCRIVOX_BENCH_BARE_WALK_H
#define SCRIVOX_BENCH_BARE_WALK_H

#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

enum { kListing = 64 * 1024 };

static char* filters[64];
static int nfilters;

/* Splits FILTER;FILTER;... in place. */
static void SetFilters(char* text) {
    for (char* item = strtok(text, ";"); item && nfilters < 64; item = strtok(NULL, ";"))
        filters[nfilters++] = item;
}

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

static void Walk(int parent, const char* name, void (*OnFile)(int folder, const char* name)) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
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
            Walk(fd, e->d_name, OnFile);
    }
    for (size_t at = 0; listing && at < size;) {
        struct dirent64* e = (struct dirent64*)(listing + at);
        at += e->d_reclen;
        if ((e->d_type == DT_REG || e->d_type == DT_UNKNOWN) && e->d_name[0] != '.' &&
            Matches(e->d_name))
            OnFile(fd, e->d_name);
    }
    free(listing);
    close(fd);
}

#endif
