#pragma once

#include <cstdint>
#include <string>

namespace mervok {

// An open archive of one archiver library; nullptr when it could not be opened.
using ArchiveHandle = void*;

// The calls of the common archiver API that this program makes, for one
// library. The real libraries are bound by name (ArchiverLibrary); tests put a
// fake in their place. A call that cannot reach its library fails the way the
// API's own failure looks: version 0, no archive, no match.
class ArchiverApi {
  public:
    virtual ~ArchiverApi() = default;

    // Version times 100; 0 when the library cannot be loaded or called.
    virtual std::int16_t GetVersion() = 0;
    virtual int GetRunning() = 0;
    virtual int GetCursorMode() = 0;
    virtual int SetCursorMode(int mode) = 0;
    // Non-zero: the file is an archive of this library's format.
    virtual int CheckArchive(const std::string& path, int mode) = 0;
    virtual ArchiveHandle OpenArchive(void* window, const std::string& path,
                                      std::uint32_t mode) = 0;
    // 0: an entry matching the blank-separated wildcards exists.
    virtual int FindFirst(ArchiveHandle archive, const std::string& wildcards) = 0;
    virtual int CloseArchive(ArchiveHandle archive) = 0;
    // True when the library promises that calls on different handles may run
    // on different threads at once. Without that promise a caller keeps to
    // one look-up at a time through the library.
    virtual bool IndependentHandles() { return false; }
};

// The three libraries a search may use. A null pointer counts as absent.
struct ArchiverSet {
    ArchiverApi* lha = nullptr;
    ArchiverApi* zip = nullptr;
    ArchiverApi* cab = nullptr;
};

}  // namespace mervok
