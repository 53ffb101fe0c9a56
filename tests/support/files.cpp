#include "support/files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace mervok::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& base) {
    std::string pattern = base + "/mervok-test-XXXXXX";
    EXPECT_NE(::mkdtemp(pattern.data()), nullptr) << base;
    mPath = pattern;
}

TempFolder::~TempFolder() {
    std::error_code error;
    fs::permissions(mPath, fs::perms::owner_all, fs::perm_options::add, error);
    for (const auto& entry : fs::recursive_directory_iterator(mPath, error)) {
        if (!entry.is_symlink(error)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
    }
    fs::remove_all(mPath, error);
}

std::string TempFolder::Write(std::string_view relative, std::string_view content) const {
    const std::string path = File(relative);
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, content);
    return path;
}

void TempFolder::Write(std::initializer_list<const char*> relatives) const {
    for (const char* relative : relatives) {
        Write(relative);
    }
}

std::string TempFolder::Folder(std::string_view relative) const {
    if (relative.empty()) {
        return mPath + "/";
    }
    fs::create_directories(File(relative));
    return File(relative) + "/";
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int RunUnprivileged(const std::function<bool()>& body) {
    if (::geteuid() != 0) {
        return body() ? 1 : 0;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::setgid(65534) != 0 || ::setuid(65534) != 0 ? 2 : body() ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status) == 2 ? -1 : WEXITSTATUS(status);
}

}  // namespace mervok::testing
