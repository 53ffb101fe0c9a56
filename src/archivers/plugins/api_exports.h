#pragma once

#include <cstdint>

#include "archive_session.h"
#include "archiver.h"

namespace mervok::plugin {

// Our version times 100.
inline constexpr std::uint16_t kArchiverVersion = MERVOK_VERSION_MAJOR * 100 + MERVOK_VERSION_MINOR;

inline int CheckArchive(const char* path, Format format) {
    return ArchiveSession::Check(path, format) ? 1 : 0;
}

inline HARC OpenArchive(const char* path, Format format) {
    return ArchiveSession::OpenChecked(path, format).release();
}

inline int FindFirst(HARC archive, const char* wildcards, INDIVIDUALINFO* info) {
    return archive ? static_cast<ArchiveSession*>(archive)->FindFirst(wildcards, info) : -1;
}

inline int FindNext(HARC archive, INDIVIDUALINFO* info) {
    return archive ? static_cast<ArchiveSession*>(archive)->FindNext(info) : -1;
}

inline int CloseArchive(HARC archive) {
    delete static_cast<ArchiveSession*>(archive);
    return 0;
}

}  // namespace mervok::plugin

// The nine exported calls of one library, and its promise on threads.
// Nothing here may throw across the C boundary: an allocation failure ends
// the call as "not an archive".
#define MERVOK_DEFINE_ARCHIVER_API(Prefix, format)                              \
    extern "C" {                                                                \
    uint16_t ARCHIVER_CALL Prefix##GetVersion(void) {                           \
        return mervok::plugin::kArchiverVersion;                                \
    }                                                                           \
    int ARCHIVER_CALL Prefix##GetRunning(void) {                                \
        return 0;                                                               \
    }                                                                           \
    int ARCHIVER_CALL Prefix##GetCursorMode(void) {                             \
        return 0;                                                               \
    }                                                                           \
    int ARCHIVER_CALL Prefix##SetCursorMode(int) {                              \
        return 0;                                                               \
    }                                                                           \
    int ARCHIVER_CALL Prefix##CheckArchive(const char* path, int) {             \
        try {                                                                   \
            return mervok::plugin::CheckArchive(path, format);                  \
        } catch (...) {                                                         \
            return 0;                                                           \
        }                                                                       \
    }                                                                           \
    HARC ARCHIVER_CALL Prefix##OpenArchive(void*, const char* path, uint32_t) { \
        try {                                                                   \
            return mervok::plugin::OpenArchive(path, format);                   \
        } catch (...) {                                                         \
            return nullptr;                                                     \
        }                                                                       \
    }                                                                           \
    int ARCHIVER_CALL Prefix##FindFirst(HARC archive, const char* wildcards,    \
                                        INDIVIDUALINFO* info) {                 \
        try {                                                                   \
            return mervok::plugin::FindFirst(archive, wildcards, info);         \
        } catch (...) {                                                         \
            return -1;                                                          \
        }                                                                       \
    }                                                                           \
    int ARCHIVER_CALL Prefix##FindNext(HARC archive, INDIVIDUALINFO* info) {    \
        try {                                                                   \
            return mervok::plugin::FindNext(archive, info);                     \
        } catch (...) {                                                         \
            return -1;                                                          \
        }                                                                       \
    }                                                                           \
    int ARCHIVER_CALL Prefix##CloseArchive(HARC archive) {                      \
        return mervok::plugin::CloseArchive(archive);                           \
    }                                                                           \
    const int Prefix##IndependentHandles = 1;                                   \
    }
