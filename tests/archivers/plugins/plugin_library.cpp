#include "plugin_library.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace mervok::test {

const char* LibraryFileName(PluginLibrary::Kind kind) {
    const char* files[] = {"libunlha32.so", "libunzip32.so", "libcab32.so"};
    return files[kind];
}

PluginLibrary::PluginLibrary(Kind kind) : mKind(kind) {
    const char* prefixes[] = {"Unlha", "UnZip", "Cab"};
    mPrefix = prefixes[kind];
    std::string path = std::string(MERVOK_DIST_DIR) + "/" + LibraryFileName(kind);
    mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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

int PluginLibrary::LookUp(const std::string& path, const std::string& wildcards) const {
    HARC archive = OpenArchive(nullptr, path.c_str(), ARCHIVER_OPEN_MODE_DEFAULT);
    if (archive == nullptr) {
        CloseArchive(nullptr);
        return -2;
    }
    INDIVIDUALINFO info{};
    int result = -1;
    if (mKind == Cab) {
        std::istringstream words(wildcards);
        std::string word;
        while (result != 0 && words >> word) {
            result = FindFirst(archive, word.c_str(), &info) == 0 ? 0 : -1;
        }
    } else {
        result = FindFirst(archive, wildcards.c_str(), &info) == 0 ? 0 : -1;
    }
    CloseArchive(archive);
    return result;
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

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

TempFolder::TempFolder() : TempFolder(std::filesystem::temp_directory_path()) {}

TempFolder::TempFolder(const std::filesystem::path& base) {
    std::string pattern = (base / "mervok-plugins-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        mPath = pattern;
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!mPath.empty()) {
        std::filesystem::remove_all(mPath, ignored);
    }
}

std::filesystem::path FastTempBase() {
    std::error_code ignored;
    if (std::filesystem::is_directory("/dev/shm", ignored) && access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

}  // namespace mervok::test
