#pragma once

class QCoreApplication;
class QTranslator;

namespace mervok {

// Qt's own texts — the folder browser, the edit boxes' context menus, the
// standard buttons — in Japanese like the rest of the window, whatever the
// locale says. The translator belongs to app; nullptr when the catalogue is
// not installed (Debian's qt6-translations-l10n) and Qt keeps its English.
QTranslator* InstallQtTranslations(QCoreApplication& app);

}  // namespace mervok
