#include "app/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
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
    explicit FileDescriptor(int fd = -1) : mFd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }
    int Get() const { return mFd; }
    void Reset(int fd) {
        Close();
        mFd = fd;
    }
    // Closes now, for callers that need to know that the close worked.
    bool Close() {
        const int fd = std::exchange(mFd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int mFd;
};

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

// A settings file opened for reading after the checks of SettingsTrust: its
// folder held open, so that what was checked is what is written, and the file
// itself unless it does not exist (or the folder does not).
struct OpenedSettings {
    SettingsTrust trust = SettingsTrust::Usable;
    FileDescriptor folder;
    std::string name;
    FileDescriptor file;
    int openError = 0;  // errno of the file's open
    struct stat info {};
};

// The folder's checks only; OpenFile then opens the file itself.
void OpenFolder(const std::string& path, OpenedSettings& opened) {
    const uid_t user = ::geteuid();
    const std::string folder = FolderOf(path);
    opened.name = NameOf(path);
    struct stat info {};
    // A link is checked before it is followed: it counts as its maker's.
    if (::lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && info.st_uid != user &&
        info.st_uid != 0) {
        opened.trust = SettingsTrust::FolderNotOwned;
        return;
    }
    opened.folder.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.folder.Get() < 0 || opened.name.empty()) {
        opened.folder.Close();
        return;
    }
    if (::fstat(opened.folder.Get(), &info) != 0 || info.st_uid != user) {
        opened.trust = SettingsTrust::FolderNotOwned;
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        opened.trust = SettingsTrust::FolderOpenToOthers;
    }
    if (opened.trust != SettingsTrust::Usable) {
        opened.folder.Close();
    }
}

void OpenFile(OpenedSettings& opened) {
    if (opened.trust != SettingsTrust::Usable || opened.folder.Get() < 0) {
        return;
    }
    opened.file.Reset(::openat(opened.folder.Get(), opened.name.c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (opened.file.Get() < 0) {
        opened.openError = errno;
        if (errno == ELOOP) {
            opened.trust = SettingsTrust::FileNotOwned;
        }
        return;
    }
    if (::fstat(opened.file.Get(), &opened.info) != 0 || opened.info.st_uid != ::geteuid()) {
        opened.trust = SettingsTrust::FileNotOwned;
        opened.file.Close();
    }
}

void OpenSettings(const std::string& path, OpenedSettings& opened) {
    OpenFolder(path, opened);
    OpenFile(opened);
}

// The whole file, or nullopt when it cannot be read as a regular file of a
// sane size.
std::optional<std::string> ReadAll(const OpenedSettings& opened) {
    if (opened.file.Get() < 0 || !S_ISREG(opened.info.st_mode) ||
        static_cast<std::uint64_t>(opened.info.st_size) > kMaxFileSize) {
        return std::nullopt;
    }
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(opened.file.Get(), chunk, sizeof chunk);
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

std::optional<std::string> ReadBytes(const std::string& path) {
    OpenedSettings opened;
    OpenSettings(path, opened);
    return ReadAll(opened);
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

// A fresh, unused name in the folder, beside the file, opened for writing.
std::pair<std::string, int> CreateTempIn(int folder, const std::string& name, mode_t mode) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix = "." + name + ".tmp-" + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        std::string temp = prefix + "-" + std::to_string(counter.fetch_add(1)) + "-" +
                           std::to_string(static_cast<unsigned long long>(ticks) % 1000000);
        const int fd = ::openat(folder, temp.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            return {std::move(temp), fd};
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {{}, -1};
}

// Reads the file, lets edit change the text (told whether the file exists),
// and replaces the file with the result: temporary file in the same folder,
// flushed to disk, renamed over it. Any failure leaves the old file as it was.
// A new file (NewOnly) is linked into place instead, never over one that
// appeared meanwhile, and needs no lock.
enum class Replace { Always, NewOnly };

template <typename EditText>
bool Rewrite(const std::string& path, EditText edit, Replace mode = Replace::Always) {
    // Another process's write between our read and our replace would be
    // lost; the lock file is made only where the file is usable, in the very
    // folder checked, and the file is opened again under the lock (a writer
    // before us may have replaced it).
    OpenedSettings opened;
    OpenSettings(path, opened);
    if (opened.trust != SettingsTrust::Usable || opened.folder.Get() < 0) {
        return false;
    }
    const std::optional<FileLockBeside> lock =
        mode == Replace::Always
            ? std::optional<FileLockBeside>(std::in_place, opened.name, opened.folder.Get())
            : std::nullopt;
    if (lock && !lock->MayWrite()) {
        return false;
    }
    OpenFile(opened);
    if (opened.trust != SettingsTrust::Usable) {
        return false;
    }
    const bool exists = opened.file.Get() >= 0;
    if (!exists && opened.openError != ENOENT) {
        return false;
    }
    std::string text;
    if (exists) {
        // The rename below would replace even a file we may not write, so
        // the file's own permission is checked first; it is ours, so the
        // owner's write bit decides, for root too.
        if (!S_ISREG(opened.info.st_mode) || (opened.info.st_mode & S_IWUSR) == 0) {
            return false;
        }
        auto bytes = ReadAll(opened);
        if (!bytes) {
            return false;
        }
        text = std::move(*bytes);
    }

    switch (edit(text, exists)) {
        case ini::EditResult::Invalid:
            return false;
        case ini::EditResult::Unchanged:
            return true;
        case ini::EditResult::Changed:
            break;
    }

    const int folder = opened.folder.Get();
    auto [tempName, fd] = CreateTempIn(folder, opened.name, exists ? 0600 : 0666);
    if (fd < 0) {
        return false;
    }
    FileDescriptor temp(fd);
    bool ok = WriteAll(temp.Get(), text);
    if (ok && exists) {
        // The group may only be kept when we belong to it; the mode always.
        [[maybe_unused]] const int ignored =
            ::fchown(temp.Get(), static_cast<uid_t>(-1), opened.info.st_gid);
        ok = ::fchmod(temp.Get(), opened.info.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(temp.Get()) == 0;
    ok = temp.Close() && ok;
    if (ok && gBeforeReplaceHook) {
        ok = gBeforeReplaceHook(FolderOf(path) + "/" + tempName);
    }
    // rename() replaces whatever the name is, a link included, and never
    // follows it.
    if (mode == Replace::NewOnly) {
        // EEXIST: another start made it meanwhile, and it is kept. A file
        // system without hard links (FAT, some network and FUSE ones) refuses
        // the link; a rename that never replaces does the same there.
        ok = ok && (::linkat(folder, tempName.c_str(), folder, opened.name.c_str(), 0) == 0 ||
                    errno == EEXIST ||
                    ::renameat2(folder, tempName.c_str(), folder, opened.name.c_str(),
                                RENAME_NOREPLACE) == 0 ||
                    errno == EEXIST);
        ::unlinkat(folder, tempName.c_str(), 0);
        return ok;
    }
    ok = ok && ::renameat(folder, tempName.c_str(), folder, opened.name.c_str()) == 0;
    if (!ok) {
        ::unlinkat(folder, tempName.c_str(), 0);
        return false;
    }
    // Makes the rename itself durable; the new contents are complete either way.
    ::fsync(folder);
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

SettingsTrust SettingsStore::Trust() const {
    OpenedSettings opened;
    OpenSettings(mPath, opened);
    return opened.trust;
}

bool SettingsStore::WriteString(std::string_view section, std::string_view key,
                                std::optional<std::string_view> value) {
    return WriteStrings({{section, key, value}});
}

bool SettingsStore::WriteStrings(const std::vector<SettingsValue>& values) {
    return Rewrite(mPath, [&](std::string& text, bool) {
        auto result = ini::EditResult::Unchanged;
        for (const SettingsValue& value : values) {
            switch (ini::SetValue(text, value.section, value.key, value.value)) {
                case ini::EditResult::Invalid:
                    return ini::EditResult::Invalid;
                case ini::EditResult::Changed:
                    result = ini::EditResult::Changed;
                    break;
                case ini::EditResult::Unchanged:
                    break;
            }
        }
        return result;
    });
}

bool SettingsStore::CreateIfMissing(std::string_view contents) {
    return Rewrite(
        mPath,
        [&](std::string& text, bool exists) {
            if (exists) {
                return ini::EditResult::Unchanged;
            }
            text = contents;
            return ini::EditResult::Changed;
        },
        Replace::NewOnly);
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
    return Rewrite(
        mPath, [&](std::string& text, bool) { return ini::ReplaceSection(text, section, list); });
}

}  // namespace mervok
