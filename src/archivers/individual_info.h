#pragma once

#include <cstdint>

// The archiver API's per-entry record, which FindFirst fills. Nothing here
// reads it; the binding only has to hand the library a record of the right
// size and layout.
namespace mervok {

struct IndividualInfo {
    std::uint32_t dwOriginalSize;
    std::uint32_t dwCompressedSize;
    std::uint32_t dwCRC;
    std::uint32_t uFlag;
    std::uint32_t uOSType;
    std::uint16_t wRatio;
    std::uint16_t wDate;
    std::uint16_t wTime;
    char szFileName[513];
    char dummy1[3];
    char szAttribute[8];
    char szMode[8];
};

}  // namespace mervok
