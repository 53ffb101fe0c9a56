/* A small library with the archiver API under the "Unlha" prefix, for tests
 * of the binding: it reports version 89 and knows one archive, "good.lzh",
 * holding README.TXT. */

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    uint32_t dwOriginalSize;
    uint32_t dwCompressedSize;
    uint32_t dwCRC;
    uint32_t uFlag;
    uint32_t uOSType;
    uint16_t wRatio;
    uint16_t wDate;
    uint16_t wTime;
    char szFileName[513];
    char dummy1[3];
    char szAttribute[8];
    char szMode[8];
} INDIVIDUALINFO;

static int gOpen;
static int gCursorMode = 1;
static void* gLastWindow;

static int EndsWith(const char* text, const char* end) {
    size_t t = strlen(text);
    size_t e = strlen(end);
    return t >= e && strcmp(text + t - e, end) == 0;
}

uint16_t UnlhaGetVersion(void) {
    return 89;
}
int UnlhaGetRunning(void) {
    return 0;
}
int UnlhaGetCursorMode(void) {
    return gCursorMode;
}
int UnlhaSetCursorMode(int mode) {
    gCursorMode = mode;
    return 0;
}
int UnlhaCheckArchive(const char* path, int mode) {
    return mode == 0 && EndsWith(path, ".lzh");
}

void* UnlhaOpenArchive(void* window, const char* path, uint32_t mode) {
    gLastWindow = window;
    if (mode != 0x800000 || !EndsWith(path, "/good.lzh")) {
        return NULL;
    }
    ++gOpen;
    return malloc(1);
}

int UnlhaFindFirst(void* archive, const char* wildcards, INDIVIDUALINFO* info) {
    if (archive == NULL || info == NULL) {
        return -1;
    }
    /* Fills the whole record, as a real library may. */
    memset(info, 0x5A, sizeof *info);
    strcpy(info->szFileName, "README.TXT");
    return strstr(wildcards, "*.TXT") != NULL ? 0 : -1;
}

int UnlhaFindNext(void* archive, INDIVIDUALINFO* info) {
    (void)archive;
    (void)info;
    return -1;
}

int UnlhaCloseArchive(void* archive) {
    if (archive == NULL) {
        return -1;
    }
    free(archive);
    --gOpen;
    return 0;
}

/* For the tests' own eyes. */
int TestOpenArchives(void) {
    return gOpen;
}
void* TestLastWindow(void) {
    return gLastWindow;
}
int TestCursorMode(void) {
    return gCursorMode;
}
