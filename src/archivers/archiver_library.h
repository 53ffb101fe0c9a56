#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "archivers/archiver_api.h"

namespace mervok {

// File names of the three archiver libraries in the program folder.
inline constexpr std::string_view kUnlhaLibraryName = "libunlha32.so";
inline constexpr std::string_view kUnzipLibraryName = "libunzip32.so";
inline constexpr std::string_view kCabLibraryName = "libcab32.so";

// Entry-point prefixes of the three libraries.
inline constexpr std::string_view kUnlhaPrefix = "Unlha";
inline constexpr std::string_view kUnzipPrefix = "UnZip";
inline constexpr std::string_view kCabPrefix = "Cab";

// One archiver library, loaded from a file and bound by name at its first
// call (from any thread, once). A missing file or entry point makes that call
// fail the way the API's own failure looks; it never crashes the program.
class ArchiverLibrary final : public ArchiverApi {
  public:
    // path: the library file; prefix: "Unlha", "UnZip" or "Cab".
    ArchiverLibrary(std::string path, std::string prefix);
    ~ArchiverLibrary() override;
    ArchiverLibrary(const ArchiverLibrary&) = delete;
    ArchiverLibrary& operator=(const ArchiverLibrary&) = delete;

    const std::string& Path() const { return mPath; }
    const std::string& Prefix() const { return mPrefix; }
    // Binds if not yet done; true when the file could be loaded.
    bool IsLoaded();

    std::int16_t GetVersion() override;
    int GetRunning() override;
    int GetCursorMode() override;
    int SetCursorMode(int mode) override;
    int CheckArchive(const std::string& path, int mode) override;
    ArchiveHandle OpenArchive(void* window, const std::string& path, std::uint32_t mode) override;
    int FindFirst(ArchiveHandle archive, const std::string& wildcards) override;
    int CloseArchive(ArchiveHandle archive) override;
    // Read from the library's <Prefix>IndependentHandles; false when it
    // exports none.
    bool IndependentHandles() override;

  private:
    struct Entries;
    const Entries& Bind();

    std::string mPath;
    std::string mPrefix;
    std::once_flag mOnce;
    std::unique_ptr<Entries> mEntries;
};

// The three libraries beside the program (or in any folder), ready to use.
class ArchiverLibraries {
  public:
    explicit ArchiverLibraries(std::string_view folder);

    ArchiverLibrary& Lha() { return mLha; }
    ArchiverLibrary& Zip() { return mZip; }
    ArchiverLibrary& Cab() { return mCab; }
    ArchiverSet Set() { return ArchiverSet{&mLha, &mZip, &mCab}; }

  private:
    ArchiverLibrary mLha;
    ArchiverLibrary mZip;
    ArchiverLibrary mCab;
};

}  // namespace mervok
