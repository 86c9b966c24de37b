/* Makes the scale bench's tree fast: FILES small text files spread evenly over FOLDERS folders,
 * a hundred folders to a parent (FOLDER/gNNN/dNNNNN/). Eight names in ten take the bench's filter
 * (*.c, *.h, *.cpp, *.txt), the rest do not (*.md, *.o); every hundredth file holds TOKEN once.
 * The same arguments give the same tree. Prints what a run over it must report:
 *
 *   files=F folders=D listed=L listed_bytes=B token_files=T
 *
 *   gen_scale_tree FOLDER FILES FOLDERS TOKEN
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char* const kExtensions[10] = {".c", ".c", ".c", ".c", ".h", ".h", ".cpp", ".txt",
                                            ".md", ".o"};

static int MakeFolder(int parent, const char* name) {
    if (mkdirat(parent, name, 0755) != 0 && errno != EEXIST)
        return -1;
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fputs("usage: gen_scale_tree FOLDER FILES FOLDERS TOKEN\n", stderr);
        return 2;
    }
    const long files = atol(argv[2]), folders = atol(argv[3]);
    const char* token = argv[4];
    if (files < 1 || folders < 1 || folders > files) {
        fputs("gen_scale_tree: FILES and FOLDERS must be positive, FOLDERS at most FILES\n", stderr);
        return 2;
    }
    int root = MakeFolder(AT_FDCWD, argv[1]);
    if (root < 0) {
        perror(argv[1]);
        return 1;
    }
    long listed = 0, tokenFiles = 0, k = 0;
    long long listedBytes = 0;
    int group = -1;
    char name[64], text[512];
    for (long d = 0; d < folders; ++d) {
        if (d % 100 == 0) {
            if (group >= 0)
                close(group);
            snprintf(name, sizeof name, "g%03ld", d / 100);
            if ((group = MakeFolder(root, name)) < 0) {
                perror(name);
                return 1;
            }
        }
        snprintf(name, sizeof name, "d%05ld", d);
        const int folder = MakeFolder(group, name);
        if (folder < 0) {
            perror(name);
            return 1;
        }
        /* The remainder goes to the first folders, one each. */
        const long here = files / folders + (d < files % folders ? 1 : 0);
        for (long i = 0; i < here; ++i, ++k) {
            const char* extension = kExtensions[k % 10];
            snprintf(name, sizeof name, "item%07ld%s", k, extension);
            int n = snprintf(text, sizeof text,
                             "/* item %ld of the scale tree */\n"
                             "static const long item_value = %ld;\n"
                             "int item_%ld(int count) { return count * %ld + %ld; }\n%s%s%s",
                             k, k * 7919 % 100003, k, k % 97 + 1, k % 13,
                             k % 100 == 0 ? "void touch(void) { " : "",
                             k % 100 == 0 ? token : "", k % 100 == 0 ? "(); }\n" : "");
            const int fd = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0 || write(fd, text, (size_t)n) != n) {
                perror(name);
                return 1;
            }
            close(fd);
            if (k % 10 < 8) {
                ++listed;
                listedBytes += n;
                tokenFiles += k % 100 == 0;
            }
        }
        close(folder);
    }
    if (group >= 0)
        close(group);
    close(root);
    printf("files=%ld folders=%ld listed=%ld listed_bytes=%lld token_files=%ld\n", files, folders,
           listed, listedBytes, tokenFiles);
    return 0;
}
