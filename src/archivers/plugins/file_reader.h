#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace mervok::plugin {

// A regular file opened for positioned reads. FIFOs and devices are refused
// before they are opened: opening a FIFO would release a writer waiting on
// it, and a device may never end. Small reads go through one cached block, so
// walking many small headers costs few system calls; a FileReader therefore
// belongs to one handle and one thread.
class FileReader {
  public:
    static std::unique_ptr<FileReader> Open(const char* path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    std::uint64_t Size() const { return mSize; }
    // Reads up to count bytes at offset; returns how many were read.
    std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t count) const;
    bool ReadExact(std::uint64_t offset, void* out, std::size_t count) const {
        return ReadAt(offset, out, count) == count;
    }
    // The bytes [offset, offset + count) or fewer at the end of the file.
    std::vector<std::uint8_t> ReadBlock(std::uint64_t offset, std::size_t count) const;

    // While it lives, reads fail once `bytes` more have been read: bounds the
    // work of a search through untrusted data whatever it looks at.
    class Budget {
      public:
        Budget(const FileReader& file, std::uint64_t bytes);
        ~Budget();
        Budget(const Budget&) = delete;
        Budget& operator=(const Budget&) = delete;

      private:
        const FileReader& mFile;
        std::uint64_t mPrevious;
    };

  private:
    FileReader(int fd, std::uint64_t size) : mFd(fd), mSize(size) {}
    std::size_t ReadDirect(std::uint64_t offset, void* out, std::size_t count) const;
    int mFd;
    std::uint64_t mSize;
    mutable std::vector<std::uint8_t> mCache;
    mutable std::uint64_t mCacheStart = 0;
    mutable std::uint64_t mBytesRead = 0;
    mutable std::uint64_t mReadLimit = UINT64_MAX;
};

inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Le64(const std::uint8_t* p) {
    return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

}  // namespace mervok::plugin
