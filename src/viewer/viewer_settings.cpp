#include "viewer/viewer_settings.h"

#include "app/file_exists.h"
#include "app/program_folder.h"
#include "app/text_util.h"

namespace mervok {

std::string ViewerIniPath(std::string_view settingsFolder) {
    return PathInFolder(settingsFolder, kViewerIniName);
}

bool ViewerIniExists(const std::string& viewerIniPath) {
    std::string path = viewerIniPath;
    return FileExists(path);
}

int ReadViewerPrevInstance(const SettingsStore& viewerIni) {
    return viewerIni.GetInt(kViewerOptionSection, kPrevInstanceKey, 0) == 1 ? 1 : 0;
}

std::string ReadViewerDocTypes(const SettingsStore& viewerIni) {
    return TrimAtNull(viewerIni.GetString(kViewerOptionSection, kDocTypeKey, kDefaultDocTypes));
}

bool WriteDroppedArcFile(SettingsStore& viewerIni) {
    return viewerIni.WriteString(kViewerOptionSection, kDroppedArcFileKey, "1");
}

}  // namespace mervok
