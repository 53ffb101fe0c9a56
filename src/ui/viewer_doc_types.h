#pragma once

#include <functional>
#include <string>

namespace mervok {

// Reads the viewer's document types from its settings file each time it is
// called, as every document check does.
std::function<std::string()> ViewerDocTypeReader(std::string viewerIniFile);

}  // namespace mervok
