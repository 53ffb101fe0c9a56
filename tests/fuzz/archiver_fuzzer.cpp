// Feeds arbitrary bytes to one archiver library as a file: the archive test,
// opening, look-ups with several wildcard lists, listing to the end and a
// second look-up on the same handle; then, as the viewer does, every entry's
// data through the reader of whatever archive the file is.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "api_exports.h"
#include "archive_reader.h"

namespace {

#if defined(MERVOK_FUZZ_FORMAT_LHA)
constexpr auto kFormat = mervok::plugin::Format::Lha;
#elif defined(MERVOK_FUZZ_FORMAT_ZIP)
constexpr auto kFormat = mervok::plugin::Format::Zip;
#else
constexpr auto kFormat = mervok::plugin::Format::Cab;
#endif

// The input lives in an anonymous memory file, reached by its /proc path.
const std::string& InputPath() {
    static const std::string path = [] {
        int fd = memfd_create("archive", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

bool WriteInput(const std::uint8_t* data, std::size_t size) {
    int fd = std::stoi(InputPath().substr(InputPath().rfind('/') + 1));
    if (ftruncate(fd, 0) != 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!WriteInput(data, size)) {
        return 0;
    }
    const char* path = InputPath().c_str();
    int recognised = mervok::plugin::CheckArchive(path, kFormat);
    HARC archive = mervok::plugin::OpenArchive(path, kFormat);
    if ((recognised != 0) != (archive != nullptr)) {
        std::abort();  // the archive test and opening must agree
    }
    if (archive == nullptr) {
        return 0;
    }
    INDIVIDUALINFO info{};
    mervok::plugin::FindFirst(archive, "*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM", &info);
    int listed = 0;
    for (int r = mervok::plugin::FindFirst(archive, "", &info); r == 0 && listed < 100000;
         r = mervok::plugin::FindNext(archive, &info)) {
        if (info.szFileName[sizeof info.szFileName - 1] != '\0') {
            std::abort();
        }
        ++listed;
    }
    mervok::plugin::FindFirst(archive, "doc/*.t?t", nullptr);
    mervok::plugin::FindNext(archive, nullptr);
    mervok::plugin::CloseArchive(archive);

    auto reader = mervok::plugin::OpenAnyArchiveReader(path);
    if (!reader || reader->Kind() != kFormat) {
        std::abort();  // the library and the reader must agree
    }
    char piece[4096];
    for (int entries = 0; entries < 64 && reader->Next() != nullptr; ++entries) {
        auto data = reader->OpenData();
        for (std::size_t total = 0; data && total < (1u << 20);) {
            const std::ptrdiff_t got = data->Read(piece, sizeof piece);
            if (got > static_cast<std::ptrdiff_t>(sizeof piece)) {
                std::abort();
            }
            if (got <= 0) {
                break;
            }
            total += static_cast<std::size_t>(got);
        }
    }
    return 0;
}
