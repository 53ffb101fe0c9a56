#include "app/settings_store.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "app/file_lock.h"
#include "app/ini_text.h"

namespace mervok {

namespace {

// Settings files are small; anything beyond this is not a settings file and
// is neither loaded into memory nor rewritten.
constexpr std::size_t kMaxFileSize = 64u << 20;

// GetString hands back what fits a 512-byte buffer with its NUL.
constexpr std::size_t kMaxStringLength = 511;

SettingsStore::BeforeReplaceHook gBeforeReplaceHook;

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : mFd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (mFd >= 0) {
            ::close(mFd);
        }
    }
    int Get() const { return mFd; }
    // Closes now, for callers that need to know that the close worked.
    bool Close() {
        const int fd = std::exchange(mFd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int mFd;
};

// The whole file, or nullopt when it cannot be read as a regular file of a
// sane size.
std::optional<std::string> ReadBytes(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMaxFileSize) {
        return std::nullopt;
    }
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > kMaxFileSize) {
            return std::nullopt;
        }
    }
    return bytes;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A fresh, unused name beside target, opened for writing.
std::pair<std::string, int> CreateTempBeside(const std::string& target, mode_t mode) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target);
    const std::string prefix = (folder == "/" ? "" : folder) + "/." + NameOf(target) + ".tmp-" +
                               std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        std::string name = prefix + "-" + std::to_string(counter.fetch_add(1)) + "-" +
                           std::to_string(static_cast<unsigned long long>(ticks) % 1000000);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            return {std::move(name), fd};
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {{}, -1};
}

// The file that a write really replaces: a symbolic link is followed, so
// that the link stays and its target gets the new contents.
std::optional<std::string> ResolveTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

// Reads the file, lets edit change the text, and replaces the file with the
// result: temporary file beside it, flushed to disk, renamed over it. Any
// failure leaves the old file as it was.
template <typename EditText>
bool Rewrite(const std::string& path, EditText edit) {
    const auto target = ResolveTarget(path);
    if (!target || target->empty()) {
        return false;
    }
    // Another process's write between our read and our replace would be lost.
    const FileLockBeside lock(*target);
    if (!lock.MayWrite()) {
        return false;
    }
    struct stat info {};
    const bool exists = ::stat(target->c_str(), &info) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    std::string text;
    if (exists) {
        // The rename below would replace even a file we may not write, so
        // the file's own permission is checked first. A file without any
        // write bit counts as read-only for every user, root included.
        if (!S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 ||
            ::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) {
            return false;
        }
        auto bytes = ReadBytes(*target);
        if (!bytes) {
            return false;
        }
        text = std::move(*bytes);
    }

    switch (edit(text)) {
        case ini::EditResult::Invalid:
            return false;
        case ini::EditResult::Unchanged:
            return true;
        case ini::EditResult::Changed:
            break;
    }

    auto [tempPath, fd] = CreateTempBeside(*target, exists ? 0600 : 0666);
    if (fd < 0) {
        return false;
    }
    FileDescriptor temp(fd);
    bool ok = WriteAll(temp.Get(), text);
    if (ok && exists) {
        // Ownership may only be kept when we may give it away; the mode always.
        [[maybe_unused]] const int ignored = ::fchown(temp.Get(), info.st_uid, info.st_gid);
        ok = ::fchmod(temp.Get(), info.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(temp.Get()) == 0;
    ok = temp.Close() && ok;
    if (ok && gBeforeReplaceHook) {
        ok = gBeforeReplaceHook(tempPath);
    }
    ok = ok && ::rename(tempPath.c_str(), target->c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    // Makes the rename itself durable; the new contents are complete either way.
    FileDescriptor folder(::open(FolderOf(*target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) {
        ::fsync(folder.Get());
    }
    return true;
}

// Quotes around a whole value are dropped on reading, as the classic
// functions do: "'a b'" and "\"a b\"" both read as a b.
std::string_view WithoutQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The leading decimal integer: blanks, an optional sign, digits. Digits
// beyond the 32-bit range wrap around, as they do in the classic function.
int LeadingInteger(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::uint32_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10u + static_cast<std::uint32_t>(text[pos] - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int>(value);
}

}  // namespace

SettingsStore::SettingsStore(std::string path) : mPath(std::move(path)) {}

void SettingsStore::SetBeforeReplaceHookForTesting(BeforeReplaceHook hook) {
    gBeforeReplaceHook = std::move(hook);
}

int SettingsStore::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    const auto text = ReadBytes(mPath);
    if (!text) {
        return defaultValue;
    }
    const auto value = ini::FindValue(*text, section, key);
    if (!value) {
        return defaultValue;
    }
    return LeadingInteger(WithoutQuotes(*value));
}

std::string SettingsStore::GetString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const {
    const auto text = ReadBytes(mPath);
    const auto value = text ? ini::FindValue(*text, section, key) : std::nullopt;
    if (value) {
        return std::string(WithoutQuotes(*value).substr(0, kMaxStringLength));
    }
    // The classic function drops trailing blanks of the default.
    defaultValue = defaultValue.substr(0, defaultValue.find('\0')).substr(0, kMaxStringLength);
    while (!defaultValue.empty() && defaultValue.back() == ' ') {
        defaultValue.remove_suffix(1);
    }
    return std::string(defaultValue);
}

bool SettingsStore::WriteString(std::string_view section, std::string_view key,
                                std::optional<std::string_view> value) {
    return Rewrite(mPath,
                   [&](std::string& text) { return ini::SetValue(text, section, key, value); });
}

std::size_t SettingsStore::ReadSection(std::string_view section, std::string& buffer) const {
    if (buffer.empty()) {
        return 0;
    }
    if (buffer.size() == 1) {
        buffer[0] = '\0';
        return 0;
    }
    const auto text = ReadBytes(mPath);
    // Room for every text and its NUL, and for the NUL that ends the list.
    const std::vector<std::string> entries =
        text ? ini::SectionEntries(*text, section, buffer.size() - 1) : std::vector<std::string>{};
    std::size_t used = 0;
    for (const std::string& entry : entries) {
        std::copy(entry.begin(), entry.end(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
        used += entry.size();
        buffer[used++] = '\0';
    }
    buffer[used] = '\0';
    if (entries.empty()) {
        buffer[1] = '\0';  // an empty list is two NULs
    }
    return used;
}

bool SettingsStore::WriteSection(std::string_view section,
                                 std::optional<std::string_view> entries) {
    std::optional<std::vector<std::string_view>> list;
    if (entries) {
        list = ini::SplitEntryList(*entries);
    }
    return Rewrite(mPath,
                   [&](std::string& text) { return ini::ReplaceSection(text, section, list); });
}

}  // namespace mervok
