#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mervok {

// The fixed version block of a Windows executable's version resource
// (VS_FIXEDFILEINFO): thirteen 32-bit fields, 52 bytes in the file.
struct FixedFileInfo {
    std::uint32_t signature = 0;  // always kFixedFileInfoSignature
    std::uint32_t structVersion = 0;
    std::uint32_t fileVersionMS = 0;  // major << 16 | minor
    std::uint32_t fileVersionLS = 0;  // patch << 16 | build
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileDateMS = 0;
    std::uint32_t fileDateLS = 0;

    friend bool operator==(const FixedFileInfo&, const FixedFileInfo&) = default;
};

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// ELF executables have no version resource; ours carry the same 52 bytes (the
// fields in the order above, each little-endian as in a PE file) as the
// descriptor of an ELF note in a PT_NOTE segment: owner name "Mervok" (namesz
// 7 with its NUL), type 0x4D56 ("MV"), descsz 52. The note's own header words
// follow the ELF file's byte order. The build places it in the allocated
// section ".note.mervok.version", which the linker puts into a PT_NOTE
// segment, so it survives strip.
inline constexpr std::string_view kElfVersionNoteOwner{"Mervok", 7};  // with its NUL
inline constexpr std::uint32_t kElfVersionNoteType = 0x4D56;
inline constexpr std::size_t kFixedFileInfoSize = 52;

// The fixed version block of an executable held in memory: for a PE image (32-
// or 64-bit) the first version resource's first language, for an ELF image
// (32- or 64-bit, either byte order) the version note above. std::nullopt when
// the bytes are neither, have no version, or any offset or size in the way
// leads outside the image.
std::optional<FixedFileInfo> ReadFixedFileInfo(std::span<const std::byte> image);

// The same for a file, read in small pieces (a large file is not loaded).
// Spaces around the path are ignored; an empty path, a missing file and
// anything but a regular file have no version.
std::optional<FixedFileInfo> GetFileVersion(const std::string& path);

// The viewer's version as major * 100 + minor of the file version of
// "Quorvix.exe" in the given folder (1.23 gives 123, 2.5 gives 205); 0 when the
// program or its version is missing. 32 bits wide: 400.1 gives 40001.
std::int32_t GetViewerVersion(std::string_view programFolder);

}  // namespace mervok
