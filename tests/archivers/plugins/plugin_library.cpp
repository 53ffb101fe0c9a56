#include "plugin_library.h"

#include <type_traits>

namespace mervok::test {

PluginLibrary::PluginLibrary(Kind kind) {
    const char* prefixes[] = {"Unlha", "UnZip", "Cab"};
    const char* files[] = {"libunlha32.so", "libunzip32.so", "libcab32.so"};
    mPrefix = prefixes[kind];
    mHandle =
        dlopen((std::string(MERVOK_DIST_DIR) + "/" + files[kind]).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (mHandle == nullptr) {
        return;
    }
    auto bind = [this](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(Symbol(name));
    };
    bind(GetVersion, "GetVersion");
    bind(GetRunning, "GetRunning");
    bind(GetCursorMode, "GetCursorMode");
    bind(SetCursorMode, "SetCursorMode");
    bind(CheckArchive, "CheckArchive");
    bind(OpenArchive, "OpenArchive");
    bind(FindFirst, "FindFirst");
    bind(FindNext, "FindNext");
    bind(CloseArchive, "CloseArchive");
}

PluginLibrary::~PluginLibrary() {
    if (mHandle != nullptr) {
        dlclose(mHandle);
    }
}

void* PluginLibrary::Symbol(const std::string& name) const {
    return mHandle ? dlsym(mHandle, (mPrefix + name).c_str()) : nullptr;
}

std::vector<std::string> ListNames(const PluginLibrary& library, const std::string& path) {
    std::vector<std::string> names;
    HARC archive = library.OpenArchive(nullptr, path.c_str(), ARCHIVER_OPEN_MODE_DEFAULT);
    if (archive == nullptr) {
        return names;
    }
    INDIVIDUALINFO info{};
    for (int r = library.FindFirst(archive, "", &info); r == 0 && names.size() < 100000;
         r = library.FindNext(archive, &info)) {
        names.emplace_back(info.szFileName);
    }
    library.CloseArchive(archive);
    return names;
}

std::string ReadmeText() {
    std::string text;
    for (int i = 1; i <= 40; ++i) {
        text += "Line " + std::to_string(i) + " of the read-me text.\n";
    }
    return text;
}

}  // namespace mervok::test
