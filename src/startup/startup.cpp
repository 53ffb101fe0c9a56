#include "startup/startup.h"

#include "app/file_version.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "viewer/viewer_settings.h"

namespace mervok {

Startup AssembleStartup(std::string_view programFolder, const ArchiverSet& libraries) {
    Startup startup;
    StartupValues& values = startup.values;
    values.libraries = QueryLibraryVersions(libraries);
    values.viewerVersion = GetViewerVersion(programFolder);
    startup.settingsFolder = PrepareSettingsFolder(programFolder).folder;
    values.viewerIniFile = ViewerIniPath(startup.settingsFolder);
    const SettingsStore viewerIni(values.viewerIniFile);
    startup.viewerIniTrust = viewerIni.Trust();
    values.viewerPrevInstance = static_cast<std::int16_t>(ReadViewerPrevInstance(viewerIni));
    startup.usable = GetUsableFormats(values.libraries);
    startup.docTypes = ViewerDocTypes(values.viewerIniFile);
    return startup;
}

DocTypeSource ViewerDocTypes(const std::string& viewerIniFile) {
    DocTypeSource source;
    source.read = [viewerIniFile] { return ReadViewerDocTypes(SettingsStore(viewerIniFile)); };
    return source;
}

}  // namespace mervok
