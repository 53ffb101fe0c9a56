#include "libarchive_stream.h"

#include <archive.h>

#include <algorithm>
#include <cstdio>

namespace mervok::plugin {

namespace {

constexpr std::size_t kStreamBlock = 64u << 10;

la_ssize_t StreamRead(struct archive*, void* data, const void** buffer) {
    auto* s = static_cast<LibarchiveStream*>(data);
    const std::uint64_t left = s->Length() - std::min(s->pos, s->Length());
    s->buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kStreamBlock, left)));
    std::size_t got = 0;
    if (s->pos < s->prefix.size()) {
        got = std::min(s->buffer.size(), s->prefix.size() - static_cast<std::size_t>(s->pos));
        std::copy_n(s->prefix.begin() + static_cast<std::ptrdiff_t>(s->pos), got,
                    s->buffer.begin());
    } else {
        got = s->file->ReadAt(s->base + (s->pos - s->prefix.size()), s->buffer.data(),
                              s->buffer.size());
    }
    s->pos += got;
    *buffer = s->buffer.data();
    return static_cast<la_ssize_t>(got);
}

la_int64_t StreamSkip(struct archive*, void* data, la_int64_t request) {
    auto* s = static_cast<LibarchiveStream*>(data);
    if (request <= 0) {
        return 0;
    }
    std::uint64_t left = s->Length() - std::min(s->pos, s->Length());
    std::uint64_t step = std::min<std::uint64_t>(static_cast<std::uint64_t>(request), left);
    s->pos += step;
    return static_cast<la_int64_t>(step);
}

la_int64_t StreamSeek(struct archive*, void* data, la_int64_t offset, int whence) {
    auto* s = static_cast<LibarchiveStream*>(data);
    const auto length = static_cast<la_int64_t>(s->Length());
    la_int64_t origin = whence == SEEK_SET   ? 0
                        : whence == SEEK_CUR ? static_cast<la_int64_t>(s->pos)
                                             : length;
    la_int64_t target = origin + offset;
    if (target < 0 || target > length) {
        return ARCHIVE_FATAL;
    }
    s->pos = static_cast<std::uint64_t>(target);
    return target;
}

}  // namespace

void ArchiveFree::operator()(struct archive* handle) const {
    archive_read_free(handle);
}

LibarchiveStream::LibarchiveStream(const FileReader& file, std::uint64_t base,
                                   std::vector<std::uint8_t> prefix)
    : file(&file), base(base), prefix(std::move(prefix)) {}

std::uint64_t LibarchiveStream::Length() const {
    return prefix.size() + file->Size() - std::min(base, file->Size());
}

LibarchivePtr OpenLibarchive(LibarchiveStream& stream, int (*support)(struct archive*)) {
    stream.pos = 0;
    LibarchivePtr handle(archive_read_new());
    if (!handle) {
        return nullptr;
    }
    support(handle.get());
    archive_read_set_callback_data(handle.get(), &stream);
    archive_read_set_read_callback(handle.get(), StreamRead);
    archive_read_set_skip_callback(handle.get(), StreamSkip);
    archive_read_set_seek_callback(handle.get(), StreamSeek);
    if (archive_read_open1(handle.get()) != ARCHIVE_OK) {
        return nullptr;
    }
    return handle;
}

}  // namespace mervok::plugin
