#include "ui/form_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

#include "app/settings_store.h"
#include "ui/form_layout.h"
#include "ui/twips.h"

namespace mervok {

namespace {

TwipRect TwipsOf(const QRect& pixels) {
    return {PixelsToTwips(pixels.x()), PixelsToTwips(pixels.y()), PixelsToTwips(pixels.width()),
            PixelsToTwips(pixels.height())};
}

MervokSettings WithBounds(MervokSettings settings, const TwipRect& bounds) {
    settings.left = bounds.left;
    settings.top = bounds.top;
    settings.width = bounds.width;
    settings.height = bounds.height;
    return settings;
}

}  // namespace

FormSettings::FormSettings(SettingsControls controls) : mControls(std::move(controls)) {}

void FormSettings::Load(std::string iniFile) {
    mIniFile = std::move(iniFile);
    SettingsStore ini(mIniFile);
    bool firstRun = false;
    const MervokSettings settings =
        LoadSettings(ini, WithBounds({}, TwipsOf(mControls.window->frameGeometry())), &firstRun);
    // A first run leaves the window where it was made; its outer size is
    // written again once the window system has framed it.
    mFirstRunBounds = firstRun;
    if (!firstRun) {
        mShowMaximized = settings.window == WindowState::Maximized;
        ApplyWindowBounds(settings);
    }
    mControls.searchDir->setText(QFile::decodeName(QByteArray::fromStdString(settings.searchDir)));
    mControls.findText->setText(QString::fromStdString(settings.findText));
    for (const auto& [value, box] : mControls.boxes) {
        box->setChecked(settings.*value);
    }
    mControls.view->setCurrentIndex(settings.view);
    mColors = {settings.colorLha,    settings.colorZip,    settings.colorCab,
               settings.colorLhaSfx, settings.colorZipSfx, settings.colorCabSfx};
}

void FormSettings::ApplyWindowBounds(const MervokSettings& settings) {
    QWidget* window = mControls.window;
    const TwipRect current = TwipsOf(window->frameGeometry());
    QSize screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen = primary->geometry().size();
    }
    const TwipRect bounds = WindowBoundsFromSettings(
        {settings.left, settings.top, settings.width, settings.height}, current,
        PixelsToTwips(screen.width()), PixelsToTwips(screen.height()));
    // The settings hold the outer bounds; Qt sizes the client area. Before
    // the window is first shown the frame is not known yet: the outer size
    // is applied again once it is.
    const QSize frameExtra = window->frameGeometry().size() - window->size();
    const QSize outer(TwipsToPixels(bounds.width), TwipsToPixels(bounds.height));
    window->move(TwipsToPixels(bounds.left), TwipsToPixels(bounds.top));
    window->resize((outer - frameExtra).expandedTo(QSize(1, 1)));
    if (!window->isVisible()) {
        mPendingOuterSize = outer;
    }
}

MervokSettings FormSettings::Read() const {
    const QWidget* window = mControls.window;
    MervokSettings settings = WithBounds({}, TwipsOf(window->frameGeometry()));
    settings.window = window->isMinimized()   ? WindowState::Minimized
                      : window->isMaximized() ? WindowState::Maximized
                                              : WindowState::Normal;
    settings.searchDir = QFile::encodeName(mControls.searchDir->text()).toStdString();
    settings.findText = mControls.findText->text().toStdString();
    for (const auto& [value, box] : mControls.boxes) {
        settings.*value = box->isChecked();
    }
    settings.view = mControls.view->currentIndex();
    settings.colorLha = mColors.lha;
    settings.colorZip = mColors.zip;
    settings.colorCab = mColors.cab;
    settings.colorLhaSfx = mColors.lhaSfx;
    settings.colorZipSfx = mColors.zipSfx;
    settings.colorCabSfx = mColors.cabSfx;
    return settings;
}

bool FormSettings::Save() const {
    SettingsStore ini(mIniFile);
    return SaveSettings(ini, Read());
}

SearchOptions FormSettings::ReadSearchOptions(const LibraryVersions& versions) const {
    const MervokSettings settings = Read();
    SearchOptions options;
    options.searchFolder = SearchFolderFromText(settings.searchDir);
    options.includeSubfolders = settings.subDir;
    options.searchLha = settings.searchLha;
    options.searchZip = settings.searchZip;
    options.searchCab = settings.searchCab;
    options.searchExe = settings.searchExe;
    options.hideFileNames = settings.hideFileNames;
    options.skipArchiveCheck = settings.skipArchiveCheck;
    options.filePattern = FilePattern(options, versions);
    options.text = settings.findText;
    return options;
}

void FormSettings::WindowFramed() {
    QWidget* window = mControls.window;
    if ((!mPendingOuterSize && !mFirstRunBounds) || !window->isVisible() ||
        window->windowState() != Qt::WindowNoState) {
        return;
    }
    const QSize frameExtra = window->frameGeometry().size() - window->size();
    if (frameExtra.isNull()) {
        return;
    }
    if (mPendingOuterSize) {
        const QSize client = (*mPendingOuterSize - frameExtra).expandedTo(QSize(1, 1));
        mPendingOuterSize.reset();
        window->resize(client);
    }
    if (mFirstRunBounds) {
        mFirstRunBounds = false;
        Save();
    }
}

}  // namespace mervok
