/* dlsym_exports LIBRARY NODE SYMBOL...: every SYMBOL is found in LIBRARY by
 * name (dlsym, as the client finds the plugin's exports) and in version NODE
 * (dlvsym), at the same address. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>

int main(int argc, char **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s LIBRARY NODE SYMBOL...\n", argv[0]);
        return 2;
    }
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    int failures = 0;
    for (int i = 3; i < argc; ++i) {
        void *plain = dlsym(library, argv[i]);
        void *versioned = dlvsym(library, argv[i], argv[2]);
        if (!plain || plain != versioned) {
            printf("FAIL %s: dlsym %p, dlvsym %s %p\n", argv[i], plain, argv[2], versioned);
            ++failures;
        }
    }
    printf("%d of %d exports found by dlsym and in %s\n", argc - 3 - failures, argc - 3, argv[2]);
    /* Not closed: GTK+ keeps its type system for the life of the process. */
    return failures ? 1 : 0;
}
