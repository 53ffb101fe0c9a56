#include "support/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

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

std::string Fixture(const std::string& relative) {
    return std::string(MERVOK_TEST_DATA_DIR) + "/" + relative;
}

void CopyFixture(const std::string& archive, const std::string& target) {
    fs::create_directories(fs::path(target).parent_path());
    fs::copy_file(Fixture("archives/" + archive), target, fs::copy_options::overwrite_existing);
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

int Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
          const std::string& out, const std::string& err) {
    std::vector<std::string> variables = environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view text(*variable);
        if (std::none_of(environment.begin(), environment.end(), [&](const std::string& mine) {
                return text.starts_with(mine.substr(0, mine.find('=') + 1));
            })) {
            variables.emplace_back(text);
        }
    }
    const auto pointers = [](const std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (const std::string& text : texts) {
            result.push_back(const_cast<char*>(text.c_str()));
        }
        result.push_back(nullptr);
        return result;
    };
    std::vector<char*> argv = pointers(arguments), envp = pointers(variables);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const auto& [fd, file] : {std::pair{1, &out}, std::pair{2, &err}}) {
        if (!file->empty()) {
            posix_spawn_file_actions_addopen(&actions, fd, file->c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
    }
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << "cannot start " << arguments[0];
    return error == 0 ? pid : 0;
}

std::vector<std::vector<std::string>> ManifestRows(const std::string& archives) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream manifest(ReadBytes(archives + "/manifest.tsv"));
    for (std::string line; std::getline(manifest, line);) {
        std::vector<std::string> cell;
        std::istringstream cells(line);
        for (std::string text; std::getline(cells, text, '\t');) {
            cell.push_back(text);
        }
        if (line.starts_with('#') || cell.size() < 7) {
            continue;
        }
        std::istringstream parts(cell[1] == "-" ? cell[0] : cell[1]);
        cell.emplace_back();
        for (std::string part; std::getline(parts, part, '+');) {
            cell.back() += ReadBytes(archives + "/" + part);
        }
        rows.push_back(std::move(cell));
    }
    return rows;
}

bool CatchesSignal(int pid, int signal) {
    std::istringstream status(ReadBytes("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigCgt:")) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
        }
    }
    return false;
}

}  // namespace mervok::testing
