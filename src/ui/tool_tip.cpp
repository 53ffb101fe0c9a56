#include "ui/tool_tip.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolTip>
#include <QWidget>
#include <algorithm>

namespace mervok {

namespace {

// Space between the border and the text before the margins are added.
constexpr QMargins kPadding(3, 1, 3, 1);
// The hint appears this far below the pointer, clear of the cursor image.
constexpr QPoint kBelowPointer(0, 20);

int ToColorValue(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

QColor FromColorValue(int value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

// The controls' own tool tips come after the style's wake-up delay and stay
// ten seconds (Qt's time for a short text); the hints keep the same times, so
// that both kinds come and go alike.
int WakeUpDelay() {
    return QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay);
}
constexpr int kToolTipDisplayTime = 10000;

}  // namespace

// The popup itself: draws one text with the object's colours and margins.
class HintWindow : public QWidget {
  public:
    explicit HintWindow(QWidget* parent)
        : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("clsToolTipWindow"));
        setFont(QToolTip::font());
    }

    // maxWidth < 0: one line, line breaks shown as blanks.
    void SetContent(const QString& text, int maxWidth, const QMargins& margins,
                    const QColor& foreground, const QColor& background) {
        QString lines = text;
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        mFlags = Qt::AlignLeft | Qt::AlignTop;
        QFontMetrics metrics(font());
        QSize textSize;
        if (maxWidth < 0) {
            lines.replace(QLatin1Char('\n'), QLatin1Char(' '));
            mFlags |= Qt::TextSingleLine;
            textSize = metrics.size(Qt::TextSingleLine, lines);
        } else {
            mFlags |= Qt::TextWordWrap;
            textSize =
                metrics.boundingRect(QRect(0, 0, std::max(maxWidth, 1), 1 << 20), mFlags, lines)
                    .size();
        }
        mText = lines;
        mForeground = foreground;
        mBackground = background;
        mTextMargins = margins + kPadding + QMargins(1, 1, 1, 1);
        resize(textSize.grownBy(mTextMargins));
        update();
    }

    const QString& Text() const { return mText; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), mBackground);
        painter.setPen(mForeground);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.drawText(rect().marginsRemoved(mTextMargins), mFlags, mText);
    }

  private:
    QString mText;
    int mFlags = 0;
    QColor mForeground;
    QColor mBackground;
    QMargins mTextMargins;
};

clsToolTip::clsToolTip(QObject* parent) : QObject(parent) {
    mShowTimer.setSingleShot(true);
    mPopTimer.setSingleShot(true);
    connect(&mShowTimer, &QTimer::timeout, this, [this] { ShowHotTool(); });
    connect(&mPopTimer, &QTimer::timeout, this, [this] {
        Hide();
        mHotPopped = true;
    });
    mForeColor = QToolTip::palette().color(QPalette::ToolTipText);
    mBackColor = QToolTip::palette().color(QPalette::ToolTipBase);
}

clsToolTip::~clsToolTip() {
    if (mParentHwnd) {
        mParentHwnd->removeEventFilter(this);
    }
    delete mTipHwnd.data();
}

bool clsToolTip::mCreate(QWidget* lngTarget) {
    if (mTipHwnd || lngTarget == nullptr) {
        return false;
    }
    mTipHwnd = new HintWindow(lngTarget);
    mParentHwnd = lngTarget;
    // The tools may cover parts of the target only, so every move counts.
    lngTarget->setMouseTracking(true);
    lngTarget->installEventFilter(this);
    return true;
}

QWidget* clsToolTip::phWnd() const {
    return mTipHwnd.data();
}

int clsToolTip::pForeColor() const {
    return mTipHwnd ? ToColorValue(mForeColor) : 0;
}

void clsToolTip::pForeColor(int lngNewColor) {
    if (mTipHwnd) {
        mForeColor = FromColorValue(lngNewColor);
        ApplyLook();
    }
}

int clsToolTip::pBackColor() const {
    return mTipHwnd ? ToColorValue(mBackColor) : 0;
}

void clsToolTip::pBackColor(int lngNewColor) {
    if (mTipHwnd) {
        mBackColor = FromColorValue(lngNewColor);
        ApplyLook();
    }
}

int clsToolTip::pMaxWidth() const {
    return mTipHwnd ? mMaxWidth : 0;
}

void clsToolTip::pMaxWidth(int lngMaxWidth) {
    if (mTipHwnd) {
        mMaxWidth = lngMaxWidth < 0 ? -1 : lngMaxWidth;
        ApplyLook();
    }
}

int clsToolTip::pReShowTime() const {
    if (!mTipHwnd) {
        return 0;
    }
    return mReShowTime < 0 ? WakeUpDelay() / 5 : mReShowTime;
}

void clsToolTip::pReShowTime(int lngTime) {
    if (mTipHwnd) {
        mReShowTime = std::max(lngTime, -1);
    }
}

int clsToolTip::pInitialTime() const {
    if (!mTipHwnd) {
        return 0;
    }
    return mInitialTime < 0 ? WakeUpDelay() : mInitialTime;
}

void clsToolTip::pInitialTime(int lngTime) {
    if (mTipHwnd) {
        mInitialTime = std::max(lngTime, -1);
    }
}

int clsToolTip::pAutoPopTime() const {
    if (!mTipHwnd) {
        return 0;
    }
    return mAutoPopTime < 0 ? kToolTipDisplayTime : mAutoPopTime;
}

void clsToolTip::pAutoPopTime(int lngTime) {
    if (mTipHwnd) {
        mAutoPopTime = std::max(lngTime, -1);
    }
}

void clsToolTip::pActivate(bool booActivate) {
    if (!mTipHwnd) {
        return;
    }
    mActive = booActivate;
    if (!mActive) {
        mTrackedTool = -1;
        Hide();
    }
}

clsToolTip::Tool* clsToolTip::FindTool(int key) {
    auto found = std::find_if(mTools.begin(), mTools.end(),
                              [key](const Tool& tool) { return tool.key == key; });
    return found == mTools.end() ? nullptr : &*found;
}

const clsToolTip::Tool* clsToolTip::FindTool(int key) const {
    return const_cast<clsToolTip*>(this)->FindTool(key);
}

void clsToolTip::pToolText(int lngKey, const QString& strNewText) {
    if (Tool* tool = FindTool(lngKey)) {
        tool->text = strNewText;
        if (mShownTool == lngKey) {
            ApplyLook();
        }
    }
}

QString clsToolTip::pToolText(int lngKey) const {
    const Tool* tool = FindTool(lngKey);
    return tool ? tool->text : QString();
}

int clsToolTip::pToolCount() const {
    return static_cast<int>(mTools.size());
}

void clsToolTip::mToolTrackPosition(int lngX, int lngY) {
    if (!mTipHwnd) {
        return;
    }
    mTrackPosition = QPoint(lngX, lngY);
    if (mTrackedTool >= 0) {
        mTipHwnd->move(mTrackPosition);
    }
}

void clsToolTip::pToolTrack(int lngKey, bool booTrack) {
    const Tool* tool = FindTool(lngKey);
    if (!mTipHwnd || !tool) {
        return;
    }
    if (booTrack) {
        if (!mActive) {
            return;
        }
        Hide();
        mTrackedTool = lngKey;
        ShowTool(*tool, mTrackPosition, false);
    } else if (mTrackedTool == lngKey) {
        mTrackedTool = -1;
        Hide();
    }
}

void clsToolTip::mToolRemove(int lngKey) {
    if (mShownTool == lngKey || mTrackedTool == lngKey) {
        mTrackedTool = -1;
        Hide();
    }
    if (mHotTool == lngKey) {
        mHotTool = -1;
    }
    std::erase_if(mTools, [lngKey](const Tool& tool) { return tool.key == lngKey; });
}

bool clsToolTip::mToolAdd(int lngKey, const QString& strText, int lngLeft, int lngTop,
                          int lngHeight, int lngWidth) {
    if (!mTipHwnd) {
        return false;
    }
    Tool tool{lngKey, strText, QRect(lngLeft, lngTop, lngWidth, lngHeight),
              lngLeft == 0 && lngHeight == 0 && lngWidth == 0};
    if (Tool* existing = FindTool(lngKey)) {
        *existing = tool;
    } else {
        mTools.push_back(tool);
    }
    return true;
}

QRect clsToolTip::ToolRect(const Tool& tool) const {
    if (tool.wholeClient) {
        return mParentHwnd ? mParentHwnd->rect() : QRect();
    }
    return tool.rect;
}

int clsToolTip::pToolLeft(int lngKey) const {
    const Tool* tool = FindTool(lngKey);
    return tool ? ToolRect(*tool).left() : 0;
}

int clsToolTip::pToolTop(int lngKey) const {
    const Tool* tool = FindTool(lngKey);
    return tool ? ToolRect(*tool).top() : 0;
}

int clsToolTip::pToolHeight(int lngKey) const {
    const Tool* tool = FindTool(lngKey);
    return tool ? ToolRect(*tool).height() : 0;
}

int clsToolTip::pToolWidth(int lngKey) const {
    const Tool* tool = FindTool(lngKey);
    return tool ? ToolRect(*tool).width() : 0;
}

void clsToolTip::SetToolRect(int key, int left, int top, int width, int height) {
    if (Tool* tool = FindTool(key)) {
        tool->rect = QRect(left, top, width, height);
        tool->wholeClient = false;
    }
}

void clsToolTip::pToolLeft(int lngKey, int lngNewLeft) {
    SetToolRect(lngKey, lngNewLeft, pToolTop(lngKey), pToolWidth(lngKey), pToolHeight(lngKey));
}

void clsToolTip::pToolTop(int lngKey, int lngNewTop) {
    SetToolRect(lngKey, pToolLeft(lngKey), lngNewTop, pToolWidth(lngKey), pToolHeight(lngKey));
}

void clsToolTip::pToolWidth(int lngKey, int lngNewWidth) {
    SetToolRect(lngKey, pToolLeft(lngKey), pToolTop(lngKey), lngNewWidth, pToolHeight(lngKey));
}

void clsToolTip::pToolHeight(int lngKey, int lngNewHeight) {
    SetToolRect(lngKey, pToolLeft(lngKey), pToolTop(lngKey), pToolWidth(lngKey), lngNewHeight);
}

void clsToolTip::mPop() {
    mTrackedTool = -1;
    Hide();
    mHotPopped = true;
}

int clsToolTip::pMarginLeft() const {
    return mTipHwnd ? mMargins.left() : 0;
}

int clsToolTip::pMarginTop() const {
    return mTipHwnd ? mMargins.top() : 0;
}

int clsToolTip::pMarginBottom() const {
    return mTipHwnd ? mMargins.bottom() : 0;
}

int clsToolTip::pMarginRight() const {
    return mTipHwnd ? mMargins.right() : 0;
}

void clsToolTip::pMarginLeft(int lngNewMargin) {
    if (mTipHwnd) {
        mMargins.setLeft(lngNewMargin);
        ApplyLook();
    }
}

void clsToolTip::pMarginTop(int lngNewMargin) {
    if (mTipHwnd) {
        mMargins.setTop(lngNewMargin);
        ApplyLook();
    }
}

void clsToolTip::pMarginRight(int lngNewMargin) {
    if (mTipHwnd) {
        mMargins.setRight(lngNewMargin);
        ApplyLook();
    }
}

void clsToolTip::pMarginBottom(int lngNewMargin) {
    if (mTipHwnd) {
        mMargins.setBottom(lngNewMargin);
        ApplyLook();
    }
}

int clsToolTip::ShownTool() const {
    return mShownTool;
}

QString clsToolTip::ShownText() const {
    return mShownTool >= 0 && mTipHwnd ? mTipHwnd->Text() : QString();
}

int clsToolTip::ToolAt(const QPoint& position) const {
    for (const Tool& tool : mTools) {
        if (ToolRect(tool).contains(position)) {
            return tool.key;
        }
    }
    return -1;
}

void clsToolTip::PointerAt(const QPoint& position) {
    int key = ToolAt(position);
    if (key == mHotTool) {
        return;
    }
    bool wasShown = mShownTool >= 0;
    if (mTrackedTool < 0) {
        Hide();
    }
    mHotTool = key;
    mHotPopped = false;
    // A disabled control gets no mouse messages on the desktop the hints
    // copy, so it shows no hint either.
    if (key < 0 || !mActive || mTrackedTool >= 0 || !mParentHwnd->isEnabled()) {
        return;
    }
    int delay = wasShown ? pReShowTime() : pInitialTime();
    if (delay == 0) {
        ShowHotTool();
    } else {
        mShowTimer.start(delay);
    }
}

void clsToolTip::ShowHotTool() {
    const Tool* tool = FindTool(mHotTool);
    if (!tool || !mActive || mHotPopped || mTrackedTool >= 0 || !mParentHwnd->isEnabled()) {
        return;
    }
    ShowTool(*tool, QCursor::pos() + kBelowPointer, true);
}

void clsToolTip::ShowTool(const Tool& tool, const QPoint& screenPosition, bool autoPop) {
    if (!mTipHwnd) {
        return;
    }
    mShownTool = tool.key;
    mTipHwnd->SetContent(tool.text, mMaxWidth, mMargins, mForeColor, mBackColor);
    QPoint position = screenPosition;
    if (autoPop) {
        // Keep a hovering hint on the screen; a tracking hint goes exactly
        // where it is told.
        if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) {
            QRect area = screen->availableGeometry();
            position.setX(std::clamp(position.x(), area.left(),
                                     std::max(area.left(), area.right() - mTipHwnd->width())));
            if (position.y() + mTipHwnd->height() > area.bottom()) {
                position.setY(QCursor::pos().y() - mTipHwnd->height() - 4);
            }
        }
    }
    mTipHwnd->move(position);
    mTipHwnd->show();
    mTipHwnd->raise();
    if (autoPop && pAutoPopTime() > 0) {
        mPopTimer.start(pAutoPopTime());
    }
}

void clsToolTip::Hide() {
    mShowTimer.stop();
    mPopTimer.stop();
    if (mTipHwnd && mTrackedTool < 0) {
        mTipHwnd->hide();
        mShownTool = -1;
    }
}

void clsToolTip::ApplyLook() {
    if (const Tool* tool = FindTool(mShownTool); tool && mTipHwnd && mTipHwnd->isVisible()) {
        mTipHwnd->SetContent(tool->text, mMaxWidth, mMargins, mForeColor, mBackColor);
    }
}

bool clsToolTip::eventFilter(QObject* watched, QEvent* event) {
    if (watched != mParentHwnd) {
        return false;
    }
    switch (event->type()) {
        case QEvent::Enter:
            PointerAt(static_cast<QEnterEvent*>(event)->position().toPoint());
            break;
        case QEvent::MouseMove:
            PointerAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            Hide();
            mHotPopped = true;
            break;
        case QEvent::Leave:
        case QEvent::Hide:
        case QEvent::WindowDeactivate:
        case QEvent::EnabledChange:
            Hide();
            mHotTool = -1;
            break;
        case QEvent::ToolTip:
            // Our hint stands in for the control's own tool tip where it has
            // a tool.
            return ToolAt(static_cast<QHelpEvent*>(event)->pos()) >= 0;
        default:
            break;
    }
    return false;
}

}  // namespace mervok
