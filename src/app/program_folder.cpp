#include "app/program_folder.h"

#include <filesystem>
#include <system_error>

namespace mervok {

std::string WithTrailingSeparator(std::string folder) {
    if (folder.empty() || folder.back() != kSeparator) {
        folder += kSeparator;
    }
    return folder;
}

std::string PathInFolder(std::string_view folder, std::string_view name) {
    std::string path = WithTrailingSeparator(std::string(folder));
    path += name;
    return path;
}

namespace {

std::filesystem::path ExecutablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

}  // namespace

std::string ProgramFolder() {
    return WithTrailingSeparator(ExecutablePath().parent_path().string());
}

std::string ProgramFileName() {
    return ExecutablePath().filename().string();
}

}  // namespace mervok
