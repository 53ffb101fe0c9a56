#include "file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mervok::plugin {

std::unique_ptr<FileReader> FileReader::Open(const char* path) {
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    struct stat checked {};
    if (::stat(path, &checked) != 0 || !S_ISREG(checked.st_mode)) {
        return nullptr;
    }
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    // The path may have been replaced since it was checked.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_size < 0 ||
        opened.st_dev != checked.st_dev || opened.st_ino != checked.st_ino) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileReader>(
        new FileReader(fd, static_cast<std::uint64_t>(opened.st_size)));
}

FileReader::~FileReader() {
    ::close(mFd);
}

namespace {
constexpr std::size_t kCacheBlock = 8u << 10;
}

std::size_t FileReader::ReadAt(std::uint64_t offset, void* out, std::size_t count) const {
    if (offset >= mSize || count == 0) {
        return 0;
    }
    if (count > mSize - offset) {
        count = static_cast<std::size_t>(mSize - offset);
    }
    if (count <= kCacheBlock / 2) {
        if (mCache.empty() || offset < mCacheStart ||
            offset + count > mCacheStart + mCache.size()) {
            mCache.resize(
                static_cast<std::size_t>(std::min<std::uint64_t>(kCacheBlock, mSize - offset)));
            mCacheStart = offset;
            std::size_t got = ReadDirect(offset, mCache.data(), mCache.size());
            mCache.resize(got);
            if (got < count) {
                count = got;
            }
        }
        std::memcpy(out, mCache.data() + (offset - mCacheStart), count);
        return count;
    }
    return ReadDirect(offset, out, count);
}

std::size_t FileReader::ReadDirect(std::uint64_t offset, void* out, std::size_t count) const {
    if (mBytesRead >= mReadLimit) {
        return 0;
    }
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, mReadLimit - mBytesRead));
    auto* dest = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(mFd, dest + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    mBytesRead += done;
    return done;
}

FileReader::Budget::Budget(const FileReader& file, std::uint64_t bytes)
    : mFile(file), mPrevious(file.mReadLimit) {
    const std::uint64_t limit =
        bytes > UINT64_MAX - file.mBytesRead ? UINT64_MAX : file.mBytesRead + bytes;
    file.mReadLimit = std::min(mPrevious, limit);
}

FileReader::Budget::~Budget() {
    mFile.mReadLimit = mPrevious;
}

std::vector<std::uint8_t> FileReader::ReadBlock(std::uint64_t offset, std::size_t count) const {
    std::vector<std::uint8_t> block;
    if (offset >= mSize) {
        return block;
    }
    if (count > mSize - offset) {
        count = static_cast<std::size_t>(mSize - offset);
    }
    block.resize(count);
    block.resize(ReadAt(offset, block.data(), count));
    return block;
}

}  // namespace mervok::plugin
