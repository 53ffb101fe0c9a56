#include "ui/form_layout.h"

#include "ui/twips.h"

namespace mervok {

void LayOutForm(FormLayout& layout, int clientWidth, int clientHeight, int statusBarHeight) {
    layout.frame2.width = clientWidth - 2 * layout.frame2.left;
    if (layout.frame2.width < kFrame2MinWidth) {
        layout.frame2.width = kFrame2MinWidth;
    }
    layout.picXpStyle0.width = layout.frame2.width - 2 * layout.picXpStyle0.left;

    layout.btnBrowse.left = layout.frame2.width - layout.btnBrowse.width - 270;
    layout.btnOption.left = layout.btnBrowse.left;
    layout.btnAbout.left = layout.btnBrowse.left;
    layout.btnHelp.left = layout.btnBrowse.left;
    layout.btnExit.left = layout.btnBrowse.left;
    layout.txtSearchDir.width = layout.btnBrowse.left - layout.txtSearchDir.left - 100;

    layout.lsvArchive.width = clientWidth - 2 * layout.lsvArchive.left;
    if (statusBarHeight + layout.lsvArchive.top > clientHeight) {
        layout.lsvArchive.height = 0;
    } else {
        layout.lsvArchive.height = clientHeight - statusBarHeight - layout.lsvArchive.top;
    }
}

TwipRect ProgressBarOverPanel(const TwipRect& progressBar, int panelLeft, int panelWidth,
                              int clientHeight) {
    TwipRect placed = progressBar;
    placed.top = clientHeight - progressBar.height - 15;
    placed.left = panelLeft;
    placed.width = panelWidth;
    return placed;
}

TwipRect WindowBoundsFromSettings(TwipRect stored, const TwipRect& current, int screenWidth,
                                  int screenHeight) {
    TwipRect bounds = stored;
    if (bounds.left < 0) {
        bounds.left = 0;
    }
    if (bounds.top < 0) {
        bounds.top = 0;
    }
    if (bounds.width <= 0) {
        bounds.width = current.width;
    }
    if (bounds.left + bounds.width > screenWidth) {
        bounds.left = screenWidth - bounds.width;
    }
    if (bounds.height <= 0) {
        bounds.height = current.height;
    }
    if (bounds.top + bounds.height > screenHeight) {
        bounds.top = screenHeight - bounds.height;
        const int readBack = PixelsToTwips(TwipsToPixels(bounds.top));
        bounds.top = RoundHalfEven(0.9 * readBack);
    }
    return bounds;
}

}  // namespace mervok
