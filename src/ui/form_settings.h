#pragma once

#include <QSize>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/mervok_settings.h"
#include "results/row_text.h"
#include "search/search_options.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;

namespace mervok {

// The controls the window's settings are copied to and from.
struct SettingsControls {
    QWidget* window = nullptr;
    QLineEdit* searchDir = nullptr;
    QLineEdit* findText = nullptr;
    QComboBox* view = nullptr;
    // Each check box with the field it shows, in the file's order.
    std::vector<std::pair<bool MervokSettings::*, QCheckBox*>> boxes;
};

// The window's settings file (Mervok.ini), copied to the controls once at
// start and read back from them at each save. The outer bounds it stores
// need the window's frame, which the window system tells only once it has
// framed the window: they are applied (and, on a first run, written) again
// then.
class FormSettings {
  public:
    explicit FormSettings(SettingsControls controls);

    // Reads the file (writing the initial values on a first run) and copies
    // it to the controls, in the file's order: handlers that follow a
    // control run as its value changes.
    void Load(std::string iniFile);
    // Writes the controls' values; false when the file could not be written.
    bool Save() const;
    // What the controls ask a search for, the folder as typed.
    SearchOptions ReadSearchOptions(const LibraryVersions& versions) const;

    const std::string& IniFile() const { return mIniFile; }
    bool ShowMaximized() const { return mShowMaximized; }
    const KindColors& Colors() const { return mColors; }

    // The window has been shown, moved or resized: once its frame is known,
    // the stored outer size is applied, and a first run's bounds written.
    void WindowFramed();

  private:
    MervokSettings Read() const;
    void ApplyWindowBounds(const MervokSettings& settings);

    SettingsControls mControls;
    std::string mIniFile;
    bool mShowMaximized = false;
    KindColors mColors;
    // Outer size asked for by the settings, applied again once the window
    // system has told us the frame's size.
    std::optional<QSize> mPendingOuterSize;
    // The first run wrote the bounds before the frame was known: they are
    // written again once it is.
    bool mFirstRunBounds = false;
};

}  // namespace mervok
