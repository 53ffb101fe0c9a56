// Feeds arbitrary bytes to the PE version reader: it must neither crash, hang
// nor allocate much, and whatever it returns must be a real fixed block.
#include "app/file_version.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto info = mervok::ReadFixedFileInfo(std::as_bytes(std::span(data, size)));
    if (info && info->signature != mervok::kFixedFileInfoSignature) {
        __builtin_trap();
    }
    return 0;
}
