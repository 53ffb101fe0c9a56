#pragma once

namespace mervok {

// A control's place inside its container, in twips.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

// The controls whose place follows the window's client size, in twips.
struct FormLayout {
    TwipRect frame2;
    TwipRect picXpStyle0;
    TwipRect btnBrowse;
    TwipRect btnOption;
    TwipRect btnAbout;
    TwipRect btnHelp;
    TwipRect btnExit;
    TwipRect txtSearchDir;
    TwipRect lsvArchive;
};

// Frame2 never gets narrower than it was designed, so the option panel, the
// text box and the button column keep their place in a narrow window.
inline constexpr int kFrame2MinWidth = 7875;

// Lays the controls out again for a client area of clientWidth x
// clientHeight twips above a status bar statusBarHeight high: the option
// panel and the list take the width, the buttons follow the panel's right
// edge, the list reaches down to the status bar. Only widths, the buttons'
// left edges and the list's height change. The list width is not clamped
// (a client narrower than 240 twips gives a negative width).
void LayOutForm(FormLayout& layout, int clientWidth, int clientHeight, int statusBarHeight);

// The progress bar covers status panel 1 horizontally; its bottom edge stays
// 15 twips above the bottom of the client area.
TwipRect ProgressBarOverPanel(const TwipRect& progressBar, int panelLeft, int panelWidth,
                              int clientHeight);

// The window's normal-state bounds (twips) from the stored values, each
// already the current value when its key is missing: negative edges become
// 0, a width or height of 0 or less keeps the current one, and a window that
// would reach past the right edge of a screen screenWidth wide is moved left
// to end there; one that would reach past the bottom is moved up to end
// there and then to nine tenths of that top. The top is taken in whole
// pixels before that, as the window reports it.
TwipRect WindowBoundsFromSettings(TwipRect stored, const TwipRect& current, int screenWidth,
                                  int screenHeight);

}  // namespace mervok
