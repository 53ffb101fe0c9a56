#include "archive_locator.h"
#include "archive_reader.h"
#include "cab_reader.h"
#include "lha_reader.h"
#include "zip_reader.h"

namespace mervok::plugin {

namespace {

std::unique_ptr<ArchiveReader> OpenLocated(const char* path, const Format* wanted) {
    auto file = FileReader::Open(path);
    if (!file) {
        return nullptr;
    }
    auto located = LocateArchive(*file, wanted ? std::optional(*wanted) : std::nullopt);
    if (!located || (wanted != nullptr && located->format != *wanted)) {
        return nullptr;
    }
    switch (located->format) {
        case Format::Lha:
            return OpenLhaReader(std::move(file), located->offset);
        case Format::Zip:
            return OpenZipReader(std::move(file), std::move(located->zip));
        case Format::Cab:
            return OpenCabReader(std::move(file), located->offset);
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<ArchiveReader> OpenArchiveReader(const char* path, Format format) {
    return OpenLocated(path, &format);
}

std::unique_ptr<ArchiveReader> OpenAnyArchiveReader(const char* path) {
    return OpenLocated(path, nullptr);
}

std::unique_ptr<ArchiveReader> OpenCutArchiveReader(const char* path) {
    auto file = FileReader::Open(path);
    if (!file) {
        return nullptr;
    }
    if (ReadCabHeader(*file, 0, true)) {
        return OpenCabReader(std::move(file), 0, true);
    }
    return OpenCutZipReader(std::move(file));
}

}  // namespace mervok::plugin
