#pragma once

#include <string_view>

namespace mervok::quorvix {

// The one image format a page's image is decoded as, told by its first bytes
// alone: "png", "jpeg", "gif" or "bmp"; nullptr for anything else. Whatever
// its name says, nothing else is decoded: SVG names other files (which its
// decoder reads from this computer's disk), and the other formats' decoders
// are more than a page from an archive needs.
const char* RasterImageFormat(std::string_view head);

}  // namespace mervok::quorvix
