#include "app/version_text.h"

#include <cstdio>

#include "app/product_info.h"

namespace mervok {

std::string VersionText(int major, int minor, int revision) {
    char text[48];
    if (revision > 0) {
        std::snprintf(text, sizeof text, "%d.%02d.%d", major, minor, revision);
    } else {
        std::snprintf(text, sizeof text, "%d.%02d", major, minor);
    }
    return text;
}

std::string ProgramVersionText() {
    return VersionText(kVersionMajor, kVersionMinor, kVersionRevision);
}

}  // namespace mervok
