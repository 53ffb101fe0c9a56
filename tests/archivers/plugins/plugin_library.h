#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archiver.h"
#include "support/files.h"

namespace mervok::test {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// One of the built archiver libraries, loaded from the program folder with
// dlopen: the whole C API, FindNext and the entry record included, which the
// program's own binding does not call.
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
    std::string mPrefix;
    void* mHandle = nullptr;
};

// Every name FindFirst("")/FindNext give for an archive, in order.
std::vector<std::string> ListNames(const PluginLibrary& library, const std::string& path);

// The read-me text the fixture script stores.
std::string ReadmeText();

}  // namespace mervok::test
