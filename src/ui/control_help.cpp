#include "ui/control_help.h"

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QVariant>
#include <QWhatsThis>
#include <QWidget>
#include <QWindow>
#include <array>
#include <utility>

#include "ui/tool_tip.h"

namespace mervok {

namespace {

constexpr const char* kOneFormatIsFastest = "１形式だけの検索が最も高速です";

constexpr std::array kControls{
    ControlHelpInfo{"txtSearchDir", 2, false, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"Label1", 2, true, FocusRecord::None, nullptr},
    ControlHelpInfo{"btnBrowse", 0, false, FocusRecord::ControlAndName, "検索するフォルダを選択"},
    ControlHelpInfo{"chkSubDir", 3, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"btnSearch", 4, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"Frame1", 5, true, FocusRecord::None, kOneFormatIsFastest},
    ControlHelpInfo{"picXpStyle1", 5, true, FocusRecord::NameOnly, kOneFormatIsFastest},
    ControlHelpInfo{"chkLHA", 5, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"chkZIP", 5, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"chkCAB", 5, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"chkEXE", 5, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"chkNoFileName", 6, true, FocusRecord::ControlAndName, "若干高速になります"},
    ControlHelpInfo{"chkNoArcCheck", 7, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"chkClick", 8, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"btnOption", 9, true, FocusRecord::ControlAndName, "Quorvixを起動"},
    ControlHelpInfo{"btnAbout", 10, true, FocusRecord::ControlAndName,
                    "Archive Search for Quorvix について..."},
    ControlHelpInfo{"chkListColor", 11, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"lsvArchive", 12, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"Label2", 13, true, FocusRecord::None, nullptr},
    ControlHelpInfo{"cmbView", 13, false, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"chkAutoColumn", 14, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"chkSFXIcon", 15, true, FocusRecord::ControlAndName, nullptr},
    ControlHelpInfo{"btnHelp", 0, false, FocusRecord::NameOnly, "コンテキストヘルプを表示"},
    ControlHelpInfo{"btnExit", 0, false, FocusRecord::ControlAndName, nullptr},
};

constexpr std::array kHints{
    TwoLineHint{"chkEXE", "CAB32.DLL v0.90 以上であれば", "CAB形式自己解凍書庫も判別可能"},
    TwoLineHint{"chkNoArcCheck", "かなり高速になりますが、書庫でないEXEや",
                "ﾄﾞｷｭﾒﾝﾄのない書庫が抽出されます"},
    TwoLineHint{"chkClick", "書庫ﾌｧｲﾙをﾏｳｽのﾎﾟｲﾝﾄで選択し、", "ｼﾝｸﾞﾙｸﾘｯｸでQuorvixを起動します"},
    TwoLineHint{"chkAutoColumn", "列の幅を文字列の長さに", "合わせて自動的に調節します"},
    TwoLineHint{"chkSFXIcon", "ﾘｿｰｽ不足の問題がある", "場合はﾁｪｯｸしてください"},
};

// line1 + CR LF + line2.
QString TwoLineHintText(const TwoLineHint& hint) {
    return QString::fromUtf8(hint.line1) + QStringLiteral("\r\n") + QString::fromUtf8(hint.line2);
}

constexpr int kHintMaxWidth = 300;

// The picture with index 1 of the picture array is named "picXpStyle(1)".
QString TableName(const QWidget* widget) {
    QString name = widget->objectName();
    if (name == QLatin1String("picXpStyle(1)")) {
        return QStringLiteral("picXpStyle1");
    }
    return name;
}

}  // namespace

std::span<const ControlHelpInfo> ControlHelpTable() {
    return kControls;
}

const ControlHelpInfo* FindControlHelp(const QString& name) {
    for (const ControlHelpInfo& info : kControls) {
        if (name == QLatin1String(info.name)) {
            return &info;
        }
    }
    return nullptr;
}

std::span<const TwoLineHint> TwoLineHints() {
    return kHints;
}

ControlHelp::ControlHelp(QWidget* window, HelpFile helpFile)
    : QObject(window), mWindow(window), mHelpFile(std::move(helpFile)) {
    mShowTopic = [this](int topic, QWidget* control) {
        QWhatsThis::showText(QCursor::pos(), TopicText(topic), control);
    };
}

ControlHelp::~ControlHelp() {
    if (qApp) {
        qApp->removeEventFilter(this);
    }
}

QWidget* ControlHelp::Control(const char* name) const {
    if (!mWindow) {
        return nullptr;
    }
    QString wanted = QString::fromLatin1(name);
    if (TableName(mWindow) == wanted) {
        return mWindow;
    }
    for (QWidget* child : mWindow->findChildren<QWidget*>()) {
        if (TableName(child) == wanted) {
            return child;
        }
    }
    return nullptr;
}

QWidget* ControlHelp::TableControlOf(QWidget* widget) const {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (FindControlHelp(TableName(widget))) {
            return widget;
        }
        if (widget == mWindow || widget->isWindow()) {
            break;
        }
    }
    return nullptr;
}

QString ControlHelp::TopicText(int topic) const {
    std::optional<std::string> text = mHelpFile.Topic(topic);
    if (!text) {
        return QString::fromUtf8(kNoHelpText.data(), static_cast<qsizetype>(kNoHelpText.size()));
    }
    QString plain = QString::fromStdString(*text);
    qsizetype end = plain.indexOf(QLatin1Char('\n'));
    QString heading = plain.left(end).toHtmlEscaped();
    QString body = end < 0 ? QString() : plain.mid(end + 1).trimmed();
    QString html = QStringLiteral("<p><b>%1</b></p>").arg(heading);
    if (!body.isEmpty()) {
        html += Qt::convertFromPlainText(body, Qt::WhiteSpaceNormal);
    }
    return html;
}

void ControlHelp::SetUp() {
    if (!mWindow) {
        return;
    }
    QString noHelp =
        QString::fromUtf8(kNoHelpText.data(), static_cast<qsizetype>(kNoHelpText.size()));
    // Anything without a topic of its own gets the plain "no help" answer.
    mWindow->setWhatsThis(noHelp);
    for (const ControlHelpInfo& info : kControls) {
        QWidget* control = Control(info.name);
        if (!control) {
            continue;
        }
        if (info.toolTip) {
            control->setToolTip(QString::fromUtf8(info.toolTip));
        }
        control->setWhatsThis(info.topic > 0 ? TopicText(info.topic) : noHelp);
    }
    CreateHints();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { RecordFocus(now); });
    // Mouse releases reach the innermost widget (a list's viewport, say), so
    // they are watched for the whole application and traced to their control.
    qApp->installEventFilter(this);
}

void ControlHelp::CreateHints() {
    std::array<clsToolTip**, 5> objects{&mTipEXE, &mTipNoArcCheck, &mTipClick, &mTipAutoColumn,
                                        &mTipSFXIcon};
    for (clsToolTip** object : objects) {
        *object = new clsToolTip(this);
    }
    for (std::size_t i = 0; i < kHints.size(); ++i) {
        clsToolTip* tip = *objects[i];
        tip->mCreate(Control(kHints[i].checkBox));
        tip->mToolAdd(1, TwoLineHintText(kHints[i]), 0, 0, 0, 0);
        tip->pMaxWidth(kHintMaxWidth);
    }
}

void ControlHelp::RecordFocus(QWidget* now) {
    if (!now || !mWindow || now->window() != mWindow) {
        return;
    }
    QWidget* control = TableControlOf(now);
    const ControlHelpInfo* info = control ? FindControlHelp(TableName(control)) : nullptr;
    if (!info || info->focus == FocusRecord::None) {
        return;
    }
    if (info->focus == FocusRecord::ControlAndName) {
        mLastFocusControl = now;
    }
    mLastFocusName = TableName(control);
}

void ControlHelp::btnHelp_Click() {
    QWidget* control = mLastFocusControl;
    if (control && control->isEnabled() && control->isVisible() &&
        control->focusPolicy() != Qt::NoFocus) {
        control->setFocus(Qt::OtherFocusReason);
    }
    QWhatsThis::enterWhatsThisMode();
}

void ControlHelp::ShowControlHelp(Qt::MouseButton button, QWidget* control) {
    if (button != Qt::RightButton || !control) {
        return;
    }
    const ControlHelpInfo* info = FindControlHelp(TableName(control));
    if (info && info->topic > 0 && mShowTopic) {
        mShowTopic(info->topic, control);
    }
}

void ControlHelp::ExplainAt(QPoint point) {
    QWidget* target = mWindow->childAt(point);
    if (target == nullptr) {
        target = mWindow;
    }
    // Goes up to the nearest widget with a text, which shows it.
    QHelpEvent help(QEvent::WhatsThis, target->mapFrom(mWindow, point),
                    mWindow->mapToGlobal(point));
    QCoreApplication::sendEvent(target, &help);
    if (QWhatsThis::inWhatsThisMode()) {
        QWhatsThis::leaveWhatsThisMode();
    }
}

bool ControlHelp::eventFilter(QObject* watched, QEvent* event) {
    QEvent::Type type = event->type();
    // In What's-This mode a press is taken here, where it reaches the
    // window, before Qt hands it on and moves the keyboard focus to the
    // control pressed: the click only explains that control.
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) && mWindow &&
        watched == mWindow->windowHandle() && QWhatsThis::inWhatsThisMode()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton) {
            ExplainAt(mouse->position().toPoint());
            return true;
        }
        return false;
    }
    if (type != QEvent::MouseButtonRelease && type != QEvent::ToolTip) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !mWindow || widget->window() != mWindow) {
        return false;
    }
    QWidget* control = TableControlOf(widget);
    const ControlHelpInfo* info = control ? FindControlHelp(TableName(control)) : nullptr;
    if (!info) {
        return false;
    }
    if (type == QEvent::ToolTip) {
        // A disabled control shows no tip (Qt would show it; the desktop these
        // controls copy sends a disabled control no mouse messages), and a
        // control without a tip of its own shows none rather than the tip of
        // the frame around it.
        if (!widget->isEnabled() ||
            (widget == control && info->toolTip == nullptr && widget->toolTip().isEmpty())) {
            QToolTip::hideText();
            return true;
        }
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton || !info->rightClick) {
        return false;
    }
    ShowControlHelp(mouse->button(), control);
    // Handled here; a control that ignores the release would otherwise pass
    // it on to the frame around it, which would show its topic too.
    return true;
}

}  // namespace mervok
