#pragma once

// Real files in a temporary folder.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace mervok::testing {

class TempFolder {
  public:
    explicit TempFolder(const std::string& base = "/tmp") {
        std::string pattern = base + "/mervok-test-XXXXXX";
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
        mPath = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        // Tests take permissions away; give them back so that all can go.
        fs::permissions(mPath, fs::perms::owner_all, fs::perm_options::add, error);
        for (const auto& entry : fs::recursive_directory_iterator(mPath, error)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
        fs::remove_all(mPath, error);
    }

    const std::string& Path() const { return mPath; }
    std::string File(std::string_view name) const { return mPath + "/" + std::string(name); }

  private:
    std::string mPath;
};

inline void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// body() as an ordinary user: as root (whom permissions do not stop) in a
// child that has become "nobody", else right here. 1 or 0 for its answer, -1
// when the child could not give up root.
template <typename Body>
int RunUnprivileged(Body body) {
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
