#include "archivers/archiver_library.h"

#include <dlfcn.h>

#include "archivers/plugins/archiver.h"

namespace mervok {

// The entry points of one library; a null pointer for each one that is
// missing, all null when the file could not be loaded.
struct ArchiverLibrary::Entries {
    void* module = nullptr;
    std::uint16_t (*getVersion)() = nullptr;
    int (*getRunning)() = nullptr;
    int (*getCursorMode)() = nullptr;
    int (*setCursorMode)(int) = nullptr;
    int (*checkArchive)(const char*, int) = nullptr;
    void* (*openArchive)(void*, const char*, std::uint32_t) = nullptr;
    int (*findFirst)(void*, const char*, INDIVIDUALINFO*) = nullptr;
    int (*closeArchive)(void*) = nullptr;
    const int* independentHandles = nullptr;
};

namespace {

// folder, a separator unless it ends with one, and the library's file name:
// always a path, so that dlopen never searches the system's folders.
std::string InFolder(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path += name;
}

template <typename Function>
void BindEntry(void* module, const std::string& prefix, const char* name, Function& entry) {
    const std::string symbol = prefix + name;
    // dlsym hands back a data pointer; POSIX guarantees it converts to a
    // function pointer.
    entry = reinterpret_cast<Function>(dlsym(module, symbol.c_str()));
}

}  // namespace

ArchiverLibrary::ArchiverLibrary(std::string path, std::string prefix)
    : mPath(std::move(path)), mPrefix(std::move(prefix)) {}

ArchiverLibrary::~ArchiverLibrary() {
    if (mEntries && mEntries->module) {
        dlclose(mEntries->module);
    }
}

const ArchiverLibrary::Entries& ArchiverLibrary::Bind() {
    std::call_once(mOnce, [this] {
        auto entries = std::make_unique<Entries>();
        // RTLD_LOCAL: the three libraries export the same kinds of names
        // under different prefixes and must not resolve into each other.
        entries->module = dlopen(mPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (entries->module) {
            void* module = entries->module;
            BindEntry(module, mPrefix, "GetVersion", entries->getVersion);
            BindEntry(module, mPrefix, "GetRunning", entries->getRunning);
            BindEntry(module, mPrefix, "GetCursorMode", entries->getCursorMode);
            BindEntry(module, mPrefix, "SetCursorMode", entries->setCursorMode);
            BindEntry(module, mPrefix, "CheckArchive", entries->checkArchive);
            BindEntry(module, mPrefix, "OpenArchive", entries->openArchive);
            BindEntry(module, mPrefix, "FindFirst", entries->findFirst);
            BindEntry(module, mPrefix, "CloseArchive", entries->closeArchive);
            entries->independentHandles =
                static_cast<const int*>(dlsym(module, (mPrefix + "IndependentHandles").c_str()));
        }
        mEntries = std::move(entries);
    });
    return *mEntries;
}

bool ArchiverLibrary::IsLoaded() {
    return Bind().module != nullptr;
}

std::int16_t ArchiverLibrary::GetVersion() {
    const auto& entries = Bind();
    return entries.getVersion ? static_cast<std::int16_t>(entries.getVersion()) : 0;
}

int ArchiverLibrary::GetRunning() {
    // An unreachable library is never busy, so that nobody waits for it.
    const auto& entries = Bind();
    return entries.getRunning ? entries.getRunning() : 0;
}

int ArchiverLibrary::GetCursorMode() {
    const auto& entries = Bind();
    return entries.getCursorMode ? entries.getCursorMode() : 0;
}

int ArchiverLibrary::SetCursorMode(int mode) {
    const auto& entries = Bind();
    return entries.setCursorMode ? entries.setCursorMode(mode) : -1;
}

int ArchiverLibrary::CheckArchive(const std::string& path, int mode) {
    const auto& entries = Bind();
    return entries.checkArchive ? entries.checkArchive(path.c_str(), mode) : 0;
}

ArchiveHandle ArchiverLibrary::OpenArchive(void* window, const std::string& path,
                                           std::uint32_t mode) {
    const auto& entries = Bind();
    return entries.openArchive ? entries.openArchive(window, path.c_str(), mode) : nullptr;
}

int ArchiverLibrary::FindFirst(ArchiveHandle archive, const std::string& wildcards) {
    const auto& entries = Bind();
    if (!entries.findFirst) {
        return -1;
    }
    // Filled by the library and never read: only whether an entry matched counts.
    INDIVIDUALINFO info{};
    return entries.findFirst(archive, wildcards.c_str(), &info);
}

int ArchiverLibrary::CloseArchive(ArchiveHandle archive) {
    const auto& entries = Bind();
    return entries.closeArchive ? entries.closeArchive(archive) : -1;
}

bool ArchiverLibrary::IndependentHandles() {
    const auto& entries = Bind();
    return entries.independentHandles != nullptr && *entries.independentHandles != 0;
}

ArchiverLibraries::ArchiverLibraries(std::string_view folder)
    : mLha(InFolder(folder, kUnlhaLibraryName), std::string(kUnlhaPrefix)),
      mZip(InFolder(folder, kUnzipLibraryName), std::string(kUnzipPrefix)),
      mCab(InFolder(folder, kCabLibraryName), std::string(kCabPrefix)) {}

}  // namespace mervok
