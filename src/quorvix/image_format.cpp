#include "quorvix/image_format.h"

namespace mervok::quorvix {

const char* RasterImageFormat(std::string_view head) {
    if (head.starts_with("\x89PNG\r\n\x1A\n")) {
        return "png";
    }
    if (head.starts_with("\xFF\xD8\xFF")) {
        return "jpeg";
    }
    if (head.starts_with("GIF87a") || head.starts_with("GIF89a")) {
        return "gif";
    }
    // The file header (14 bytes) and at least the smallest info header's size.
    if (head.starts_with("BM") && head.size() >= 26) {
        return "bmp";
    }
    return nullptr;
}

}  // namespace mervok::quorvix
