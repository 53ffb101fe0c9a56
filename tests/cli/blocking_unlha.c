/* An LHA library for the interrupt test of mervok-search. Every archive it is
 * asked about holds a document, but a look-up in an archive whose name
 * contains "block" first creates the file "waiting-NAME" beside that archive
 * and then waits until a file "release" appears there. */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef struct {
    uint32_t dwOriginalSize, dwCompressedSize, dwCRC, uFlag, uOSType;
    uint16_t wRatio, wDate, wTime;
    char szFileName[513], dummy1[3], szAttribute[8], szMode[8];
} INDIVIDUALINFO;

uint16_t UnlhaGetVersion(void) { return 100; }
int UnlhaGetRunning(void) { return 0; }
int UnlhaGetCursorMode(void) { return 0; }
int UnlhaSetCursorMode(int mode) { (void)mode; return 0; }
int UnlhaCheckArchive(const char* path, int mode) { (void)path; (void)mode; return 1; }

void* UnlhaOpenArchive(void* window, const char* path, uint32_t mode) {
    (void)window;
    (void)mode;
    return strdup(path);
}

static void SiblingPath(const char* path, const char* name, char* out, size_t size) {
    const char* slash = strrchr(path, '/');
    int folder = slash ? (int)(slash - path + 1) : 0;
    snprintf(out, size, "%.*s%s", folder, path, name);
}

int UnlhaFindFirst(void* archive, const char* wildcards, INDIVIDUALINFO* info) {
    const char* path = archive;
    (void)wildcards;
    if (strstr(path, "block")) {
        char waiting[4096], release[4096], marker_name[600];
        const char* slash = strrchr(path, '/');
        snprintf(marker_name, sizeof marker_name, "waiting-%s", slash ? slash + 1 : path);
        SiblingPath(path, marker_name, waiting, sizeof waiting);
        SiblingPath(path, "release", release, sizeof release);
        FILE* marker = fopen(waiting, "w");
        if (marker) fclose(marker);
        /* Bounded: a broken test must not hang the run for ever. */
        for (int i = 0; i < 6000 && access(release, F_OK) != 0; ++i) {
            struct timespec pause = {0, 10 * 1000 * 1000};
            nanosleep(&pause, NULL);
        }
    }
    memset(info, 0, sizeof *info);
    strcpy(info->szFileName, "README.TXT");
    return 0;
}

int UnlhaFindNext(void* archive, INDIVIDUALINFO* info) { (void)archive; (void)info; return -1; }
int UnlhaCloseArchive(void* archive) { free(archive); return 0; }
