#pragma once

// Small helpers for tests that work on real settings files in a temporary
// folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace mervok::testing {

// A fresh folder under /tmp, removed with everything in it afterwards.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/mervok-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        mPath = made ? made : "";
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code error;
        // Tests take permissions away; give them back so that all can go.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(mPath, error)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        }
        std::filesystem::permissions(mPath, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(mPath, error);
    }

    const std::string& Path() const { return mPath; }
    std::string File(std::string_view name) const { return mPath + "/" + std::string(name); }

  private:
    std::string mPath;
};

inline void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs body as an ordinary user and gives its result. As root (where
// permissions do not stop writes) body runs in a child process that has
// become "nobody"; otherwise it runs here. Returns -1 when the child could
// not give up root.
template <typename Body>
int RunUnprivileged(Body body) {
    if (::geteuid() != 0) {
        return body() ? 1 : 0;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        ::_exit(body() ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    const int code = WEXITSTATUS(status);
    return code == 2 ? -1 : code;
}

}  // namespace mervok::testing
