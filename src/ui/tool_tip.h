#pragma once

#include <QColor>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <vector>

class QWidget;

namespace mervok {

class HintWindow;

// A hint window serving one target widget, with per-tool texts and
// rectangles, delays, colours, margins and a maximum width. A control's own
// tool tip is single-line; with a maximum width set this one breaks its text
// at CR LF (and wraps longer lines at that width).
//
// The window is a frameless Qt::ToolTip popup; it follows the target's mouse
// through an event filter: resting on a tool shows its text after the initial
// delay (the reshow delay when moving from one shown tool to the next), the
// text pops after the auto-pop delay, and leaving the tool, a button press or
// a wheel turn hides it; a disabled target shows none. Members called before
// mCreate do nothing and getters then return 0, as do getters for unknown
// tools.
//
// Colours are 0x00BBGGRR integers (red in the low byte); widths, positions and
// margins are pixels (tool rectangles in the target's coordinates, the track
// position on the screen); delays are milliseconds, a negative delay restores
// the default: those of the controls' own tool tips (initial: the style's
// wake-up delay, reshow: a fifth of it, auto-pop: ten seconds).
class clsToolTip : public QObject {
    Q_OBJECT

  public:
    explicit clsToolTip(QObject* parent = nullptr);
    ~clsToolTip() override;

    int pForeColor() const;
    void pForeColor(int lngNewColor);
    int pBackColor() const;
    void pBackColor(int lngNewColor);

    // -1 (the default): no maximum; the text stays on one line and its line
    // breaks show as blanks.
    int pMaxWidth() const;
    void pMaxWidth(int lngMaxWidth);

    int pReShowTime() const;
    void pReShowTime(int lngTime);
    int pInitialTime() const;
    void pInitialTime(int lngTime);
    int pAutoPopTime() const;
    void pAutoPopTime(int lngTime);

    // False hides the hint and shows none until activated again.
    void pActivate(bool booActivate);

    void pToolText(int lngKey, const QString& strNewText);
    QString pToolText(int lngKey) const;
    int pToolCount() const;

    // Screen position of the tracking hint.
    void mToolTrackPosition(int lngX, int lngY);
    // Shows the tool's hint at the track position at once and keeps it there
    // (no delays, no auto-pop) until tracking is switched off.
    void pToolTrack(int lngKey, bool booTrack);

    // The hint window; nullptr until mCreate.
    QWidget* phWnd() const;

    void mToolRemove(int lngKey);
    // Adds tool lngKey; with left, width and height all 0 the tool covers the
    // target's whole client area (following its size), whatever lngTop is.
    bool mToolAdd(int lngKey, const QString& strText, int lngLeft = 0, int lngTop = 0,
                  int lngHeight = 0, int lngWidth = 0);

    int pToolLeft(int lngKey) const;
    int pToolTop(int lngKey) const;
    int pToolHeight(int lngKey) const;
    int pToolWidth(int lngKey) const;
    // Moving an edge keeps the tool's size.
    void pToolLeft(int lngKey, int lngNewLeft);
    void pToolTop(int lngKey, int lngNewTop);
    void pToolWidth(int lngKey, int lngNewWidth);
    void pToolHeight(int lngKey, int lngNewHeight);

    // Hides the hint now.
    void mPop();

    int pMarginLeft() const;
    int pMarginTop() const;
    int pMarginBottom() const;
    int pMarginRight() const;
    void pMarginLeft(int lngNewMargin);
    void pMarginTop(int lngNewMargin);
    void pMarginRight(int lngNewMargin);
    void pMarginBottom(int lngNewMargin);

    // Creates the hint window for target; false (and nothing changes) when
    // this object already has one or target is null.
    bool mCreate(QWidget* lngTarget);

    // The tool whose hint is on screen, -1 when none is shown, and its text
    // as laid out (line breaks as LF, or blanks without a maximum width).
    int ShownTool() const;
    QString ShownText() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Tool {
        int key;
        QString text;
        QRect rect;
        bool wholeClient;  // follows the target's client area
    };

    Tool* FindTool(int key);
    const Tool* FindTool(int key) const;
    QRect ToolRect(const Tool& tool) const;
    void SetToolRect(int key, int left, int top, int width, int height);
    int ToolAt(const QPoint& position) const;
    void PointerAt(const QPoint& position);
    void ShowHotTool();
    void ShowTool(const Tool& tool, const QPoint& screenPosition, bool autoPop);
    void Hide();
    void ApplyLook();

    QPointer<HintWindow> mTipHwnd;
    QPointer<QWidget> mParentHwnd;
    std::vector<Tool> mTools;
    QColor mForeColor;
    QColor mBackColor;
    int mMaxWidth = -1;
    int mReShowTime = -1;
    int mInitialTime = -1;
    int mAutoPopTime = -1;
    QMargins mMargins;
    bool mActive = true;
    int mHotTool = -1;        // tool under the pointer
    bool mHotPopped = false;  // its hint was shown or dismissed already
    int mShownTool = -1;
    int mTrackedTool = -1;
    QPoint mTrackPosition;
    QTimer mShowTimer;
    QTimer mPopTimer;
};

}  // namespace mervok
