/* Preloaded into QEMU by reactos_tier.py: the speaker track named in OVT_UNBUFFERED
 * is written as it plays, not in stdio blocks, so that the host dates
 * each tone by its arrival. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static FILE* unbuffered(FILE* f, const char* path) {
    const char* want = getenv("OVT_UNBUFFERED");
    if (f && want && strcmp(path, want) == 0) setvbuf(f, NULL, _IONBF, 0);
    return f;
}

FILE* fopen64(const char* path, const char* mode) {
    FILE* (*real)(const char*, const char*) = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen64");
    return unbuffered(real(path, mode), path);
}

FILE* fopen(const char* path, const char* mode) {
    FILE* (*real)(const char*, const char*) = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen");
    return unbuffered(real(path, mode), path);
}
