// The version block that mervok and mervok-search read from this program
// (app/file_version.h describes the note), filled from the project version.
#include <array>
#include <cstdint>

#include "app/file_version.h"

namespace {

constexpr std::uint32_t kMajor = MERVOK_VERSION_MAJOR;
constexpr std::uint32_t kMinor = MERVOK_VERSION_MINOR;
constexpr std::uint32_t kPatch = MERVOK_VERSION_PATCH;

constexpr std::array<std::uint32_t, 13> kFields = {mervok::kFixedFileInfoSignature,
                                                   0x00010000,             // structure version 1.0
                                                   kMajor << 16 | kMinor,  // file version
                                                   kPatch << 16,
                                                   kMajor << 16 | kMinor,  // product version
                                                   kPatch << 16,
                                                   0x3F,  // flags mask
                                                   0,     // flags
                                                   0,     // OS: unknown
                                                   1,     // type: application
                                                   0,
                                                   0,
                                                   0};

// Little-endian whatever the machine, as in a PE file.
constexpr std::array<unsigned char, mervok::kFixedFileInfoSize> Block() {
    std::array<unsigned char, mervok::kFixedFileInfoSize> bytes{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        for (std::size_t b = 0; b < 4; ++b) {
            bytes[4 * i + b] = static_cast<unsigned char>(kFields[i] >> (8 * b));
        }
    }
    return bytes;
}

struct VersionNote {
    std::uint32_t nameSize;
    std::uint32_t descSize;
    std::uint32_t type;
    char owner[8];  // "Mervok" and its NUL, padded to four bytes
    std::array<unsigned char, mervok::kFixedFileInfoSize> desc;
};
static_assert(sizeof(VersionNote) == 12 + 8 + mervok::kFixedFileInfoSize);
static_assert(mervok::kElfVersionNoteOwner.size() == 7);

// A ".note" section gets the note type, and the linker puts it in a PT_NOTE
// segment.
[[gnu::section(".note.mervok.version"), gnu::used, gnu::aligned(4)]] const VersionNote kNote = {
    static_cast<std::uint32_t>(mervok::kElfVersionNoteOwner.size()), mervok::kFixedFileInfoSize,
    mervok::kElfVersionNoteType, "Mervok", Block()};

}  // namespace
