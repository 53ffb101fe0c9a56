/* The common archiver API as our three libraries provide it:
 *   libunlha32.so (prefix Unlha)  LHA (.lzh)
 *   libunzip32.so (prefix UnZip)  ZIP
 *   libcab32.so   (prefix Cab)    Microsoft cabinet
 * Each library reads its own format only, also behind a self-extracting
 * executable stub. A file is an archive of the format its outermost archive
 * has: the one it begins with or, for an executable, the first one behind the
 * stub. An archive stored inside another, or inside an archive of another kind
 * (RAR, 7z, gzip, ...), never makes the file count as its format. Only entry
 * headers are read; nothing is ever extracted.
 *
 * Threads: every handle is independent. Calls on different handles may run
 * on different threads at the same time; the libraries keep no global mutable
 * state, so GetRunning and GetCursorMode always report 0. One handle must not
 * be used by two threads at once. A library makes this promise by exporting
 * the data symbol <Prefix>IndependentHandles with a non-zero value. A caller
 * gives a library that does not export it one look-up at a time, from
 * CheckArchive or OpenArchive to CloseArchive, whatever thread it comes from.
 * A CheckArchive that answers yes keeps the file open for an OpenArchive of
 * the same path from the same thread, so that the pair opens it once; the next
 * CheckArchive or OpenArchive on that thread, or the thread's end, closes it.
 *
 * Entry names are compared as raw bytes, whatever their encoding (Shift-JIS,
 * CP437, UTF-8), and are returned that way in INDIVIDUALINFO.szFileName.
 */
#ifndef MERVOK_ARCHIVER_H
#define MERVOK_ARCHIVER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* On Windows the same calls use the WINAPI convention and take an HWND. */
#if defined(_WIN32)
#define ARCHIVER_CALL __stdcall
#if defined(MERVOK_BUILDING_ARCHIVER)
#define ARCHIVER_EXPORT __declspec(dllexport)
#else
#define ARCHIVER_EXPORT __declspec(dllimport)
#endif
#else
#define ARCHIVER_CALL
#define ARCHIVER_EXPORT __attribute__((visibility("default")))
#endif

typedef void* HARC; /* an open archive; NULL: the archive cannot be opened */

/* The mode OpenArchive is usually given; any mode opens for reading headers. */
#define ARCHIVER_OPEN_MODE_DEFAULT 0x800000u

typedef struct {
    uint32_t dwOriginalSize;   /* uncompressed size; 0xFFFFFFFF when it needs more bits */
    uint32_t dwCompressedSize; /* stored size, the same way; 0 when the format does not say (CAB) */
    uint32_t dwCRC;            /* CRC of the data as stored (LHA: CRC-16, ZIP: CRC-32), else 0 */
    uint32_t uFlag;            /* 0 */
    uint32_t uOSType;          /* 0 MS-DOS or Windows, 2 Unix, 4 Macintosh, 5 OS/2, 10 other */
    uint16_t wRatio;           /* compressed / original in per mille, from the full sizes;
                                  0 when unknown */
    uint16_t wDate;            /* DOS date: (year - 1980) << 9 | month << 5 | day */
    uint16_t wTime;            /* DOS time: hour << 11 | minute << 5 | second / 2 */
    char szFileName[513];      /* path inside the archive, raw bytes, NUL-terminated; a
                                  stored name ends at its first NUL */
    char dummy1[3];
    char szAttribute[8]; /* five letters R H S A D, or '-' where the attribute is off */
    char szMode[8];      /* method: "-lh5-", "deflate", "store", "MSZIP", "LZX", ... */
} INDIVIDUALINFO;

/* Every library has the same nine calls under its own prefix:
 *
 * GetVersion     version times 100 (100 = 1.00).
 * GetRunning     non-zero while busy: always 0.
 * GetCursorMode  always 0; SetCursorMode accepts and ignores its mode.
 * CheckArchive   non-zero when path is an archive of this library's format,
 *                plain or behind an executable stub; mode is ignored. Only
 *                regular files are opened: FIFOs and devices are refused.
 * OpenArchive    a handle, or NULL when path is not a readable archive of this
 *                format. window may be NULL.
 * FindFirst      looks for the first entry matching any of the blank-separated
 *                wildcards ('*' any run of bytes, '?' one byte, ASCII letters
 *                without regard to case). A wildcard without '/' or '\' is
 *                compared with the entry's last path component, so "*.TXT"
 *                matches "doc/guide.txt"; one with a separator is compared
 *                with the whole path, both separators counting as one. NULL,
 *                "" and "*.*" match every file. Folder entries never match,
 *                also those marked only by their attributes (ZIP).
 *                Fills info (may be NULL). 0: found; -1: no matching entry or
 *                the archive is unreadable from there on.
 * FindNext       the next match after the last one, same wildcards; 0 or -1.
 * CloseArchive   releases the handle; NULL is accepted. Returns 0.
 *
 * and one constant, IndependentHandles: 1 (see Threads above).
 */
#define ARCHIVER_DECLARE_API(Prefix)                                                         \
    ARCHIVER_EXPORT uint16_t ARCHIVER_CALL Prefix##GetVersion(void);                         \
    ARCHIVER_EXPORT int ARCHIVER_CALL Prefix##GetRunning(void);                              \
    ARCHIVER_EXPORT int ARCHIVER_CALL Prefix##GetCursorMode(void);                           \
    ARCHIVER_EXPORT int ARCHIVER_CALL Prefix##SetCursorMode(int mode);                       \
    ARCHIVER_EXPORT int ARCHIVER_CALL Prefix##CheckArchive(const char* path, int mode);      \
    ARCHIVER_EXPORT HARC ARCHIVER_CALL Prefix##OpenArchive(void* window, const char* path,   \
                                                           uint32_t mode);                   \
    ARCHIVER_EXPORT int ARCHIVER_CALL Prefix##FindFirst(HARC archive, const char* wildcards, \
                                                        INDIVIDUALINFO* info);               \
    ARCHIVER_EXPORT int ARCHIVER_CALL Prefix##FindNext(HARC archive, INDIVIDUALINFO* info);  \
    ARCHIVER_EXPORT int ARCHIVER_CALL Prefix##CloseArchive(HARC archive);                    \
    ARCHIVER_EXPORT extern const int Prefix##IndependentHandles;

ARCHIVER_DECLARE_API(Unlha)
ARCHIVER_DECLARE_API(UnZip)
ARCHIVER_DECLARE_API(Cab)

#ifdef __cplusplus
}
#endif

#endif /* MERVOK_ARCHIVER_H */
