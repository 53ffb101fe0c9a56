#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archiver.h"

namespace mervok::test {

// One of the built archiver libraries, loaded from the program folder with
// dlopen and called through dlsym like the program does.
class PluginLibrary {
  public:
    enum Kind { Lha, Zip, Cab };

    explicit PluginLibrary(Kind kind);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool Loaded() const { return mHandle != nullptr && OpenArchive != nullptr; }
    const std::string& Prefix() const { return mPrefix; }
    void* Symbol(const std::string& name) const;

    // The look-up the program makes: LHA and ZIP take the whole list in one
    // call, CAB one wildcard per call until one finds. 0 found, -1 none,
    // -2 not opened.
    int LookUp(const std::string& path, const std::string& wildcards) const;

    std::uint16_t (*GetVersion)() = nullptr;
    int (*GetRunning)() = nullptr;
    int (*GetCursorMode)() = nullptr;
    int (*SetCursorMode)(int) = nullptr;
    int (*CheckArchive)(const char*, int) = nullptr;
    HARC (*OpenArchive)(void*, const char*, std::uint32_t) = nullptr;
    int (*FindFirst)(HARC, const char*, INDIVIDUALINFO*) = nullptr;
    int (*FindNext)(HARC, INDIVIDUALINFO*) = nullptr;
    int (*CloseArchive)(HARC) = nullptr;

  private:
    Kind mKind;
    std::string mPrefix;
    void* mHandle = nullptr;
};

const char* LibraryFileName(PluginLibrary::Kind kind);

// Every name FindFirst("")/FindNext give for an archive, in order.
std::vector<std::string> ListNames(const PluginLibrary& library, const std::string& path);

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A fresh folder under the system's temporary folder (or under base),
// removed again at the end.
class TempFolder {
  public:
    TempFolder();
    explicit TempFolder(const std::filesystem::path& base);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    const std::filesystem::path& Path() const { return mPath; }

  private:
    std::filesystem::path mPath;
};

// Memory-backed when the system has it: for tests that write thousands of
// small variants of a file.
std::filesystem::path FastTempBase();

// The read-me text the fixture script stores.
std::string ReadmeText();

inline std::filesystem::path ArchiveFixtures() {
    return std::filesystem::path(MERVOK_TEST_DATA_DIR) / "archives";
}

}  // namespace mervok::test
