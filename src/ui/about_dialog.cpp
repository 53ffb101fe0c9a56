#include "ui/about_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <algorithm>

#include "app/product_info.h"
#include "app/version_text.h"
#include "ui/centered_msg_box.h"
#include "ui/twips.h"

namespace mervok {

namespace {

OpenUrlFunction& OpenUrl() {
    static OpenUrlFunction open;
    return open;
}

QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

QPoint TwipsPoint(int left, int top) {
    return QPoint(TwipsToPixels(left), TwipsToPixels(top));
}

// Client area and the button's distance from the right edge, in twips.
constexpr int kClientWidth = 4290;
constexpr int kClientHeight = 1710;
constexpr int kButtonRightGap = 4290 - 3285 - 735;
// Room kept between the contents and the dialog's edge when they need more
// than the fixed client area (other fonts than the designed ones).
constexpr int kEdgeRoom = 8;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

void SetTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// The designed Comic Sans MS, or a look-alike, only when really installed: a
// missing family is otherwise matched to whatever the system offers, often a
// calligraphic face that is hard to read. Else the plain sans-serif.
QFont TitleFont() {
    const QStringList installed = QFontDatabase::families();
    QStringList wanted;
    for (const char* family : {"Comic Sans MS", "Comic Neue", "Comic Relief"}) {
        if (installed.contains(QLatin1String(family), Qt::CaseInsensitive)) {
            wanted << QString::fromLatin1(family);
        }
    }
    QFont font;
    if (wanted.isEmpty()) {
        font.setStyleHint(QFont::SansSerif);
        font.setFamilies({QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    } else {
        font.setFamilies(wanted);
    }
    return font;
}

QPixmap DrawnIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    // An archive box...
    painter.setPen(QPen(QColor(90, 55, 20), 1));
    painter.setBrush(QColor(196, 140, 70));
    painter.drawRect(QRectF(3.5, 11.5, 20, 16));
    painter.setBrush(QColor(160, 105, 45));
    painter.drawRect(QRectF(2.5, 7.5, 22, 5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(240, 210, 90));
    painter.drawRect(QRectF(11, 8, 5, 19));
    // ...under a magnifying glass.
    painter.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(25, 22), QPointF(30, 28));
    painter.setPen(QPen(QColor(40, 40, 40), 2));
    painter.setBrush(QColor(200, 230, 255, 200));
    painter.drawEllipse(QPointF(21, 16), 6, 6);
    return pixmap;
}

}  // namespace

void SetOpenUrlFunction(OpenUrlFunction open) {
    OpenUrl() = std::move(open);
}

QPixmap ProgramIconPixmap(const QWidget& window, int size) {
    QIcon icon = window.windowIcon();
    if (!icon.isNull() && !icon.availableSizes().isEmpty()) {
        return icon.pixmap(size, size);
    }
    return DrawnIcon(size);
}

QFont FitFont(QFont font, const QString& text, const QSize& box) {
    constexpr int kSmallest = 7;
    for (;;) {
        QRect needed = QFontMetrics(font).boundingRect(QRect(QPoint(0, 0), box),
                                                       Qt::TextWordWrap | Qt::AlignLeft, text);
        if ((needed.width() <= box.width() && needed.height() <= box.height()) ||
            font.pointSize() <= kSmallest) {
            return font;
        }
        font.setPointSize(font.pointSize() - 1);
    }
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    // Placed by the show event, not by Qt's guess at the frame beforehand.
    setAttribute(Qt::WA_Moved);
    // The face the main window's controls are designed in: the legal notice
    // then fits the designed client area.
    if (parent != nullptr) {
        setFont(parent->font());
    }
    setWindowTitle(QString::fromUtf8(kProductName) + QStringLiteral(" バージョン情報"));

    const QString maker = QString::fromUtf8(kMakerName);
    Image1 = MakeLabel(this, "Image1", QString());
    Image1->setGeometry(TwipsRect(240, 225, 480, 480));
    Image1->setPixmap(ProgramIconPixmap(*this, Image1->width()));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setToolTip(maker);
    Image1->installEventFilter(this);

    // The green copy lies under the black one, a little up and to the left,
    // and shows as a shadow. Comic Sans MS is rarely installed outside
    // Windows; the size shrinks until the name fits in its two lines with
    // whatever font stands in.
    const QString title = QString::fromUtf8(kProductName);
    QRect titleBox = TwipsRect(990, 45, 1830, 675);
    QFont titleFont = TitleFont();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    titleFont = FitFont(titleFont, title, titleBox.size());
    Label4 = MakeLabel(this, "Label4", title);
    Label1 = MakeLabel(this, "Label1", title);
    for (QLabel* label : {Label4, Label1}) {
        label->setFont(titleFont);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setAttribute(Qt::WA_TranslucentBackground);
    }
    Label4->setGeometry(titleBox);
    Label1->setGeometry(TwipsRect(1015, 65, 1830, 675));
    SetTextColor(Label4, QColor(0, 255, 0));
    SetTextColor(Label1, QColor(0, 0, 0));

    Label2 = MakeLabel(this, "Label2", QStringLiteral("Ver"));
    lblMyVer = MakeLabel(this, "lblMyVer", QString());
    lblCopyRight = MakeLabel(this, "lblCopyRight", QString());

    lblHP = MakeLabel(this, "lblHP", QString::fromUtf8(kHomePage));
    QFont linkFont = lblHP->font();
    linkFont.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic")});
    linkFont.setPointSize(9);
    linkFont.setUnderline(true);
    lblHP->setFont(linkFont);
    SetTextColor(lblHP, QColor(0, 0, 255));
    lblHP->setCursor(Qt::PointingHandCursor);
    lblHP->setToolTip(maker);
    lblHP->installEventFilter(this);

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::close);

    Form_Load();
    LayOut();
    Command1->setFocus();
}

frmAbout* frmAbout::ShowOver(QWidget* mainWindow) {
    auto* dialog = new frmAbout(mainWindow);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

void frmAbout::Form_Load() {
    lblMyVer->setText(QString::fromStdString(ProgramVersionText()));
    lblCopyRight->setText(QString::fromUtf8(kLegalCopyright));
}

void frmAbout::LayOut() {
    for (QLabel* label : {Label2, lblMyVer, lblCopyRight, lblHP}) {
        label->adjustSize();
    }
    // Designed positions; a wider font only pushes the next label along.
    Label2->move(TwipsPoint(540, 780));
    lblMyVer->move(std::max(TwipsToPixels(855), Label2->geometry().right() + 4),
                   TwipsToPixels(780));
    lblCopyRight->move(std::max(TwipsToPixels(1410), lblMyVer->geometry().right() + 12),
                       TwipsToPixels(780));
    lblHP->move(TwipsPoint(870, 1200));

    int width = TwipsToPixels(kClientWidth);
    int height = TwipsToPixels(kClientHeight);
    for (QLabel* label : {Label2, lblMyVer, lblCopyRight, lblHP}) {
        width = std::max(width, label->geometry().right() + 1 + kEdgeRoom);
        height = std::max(height, label->geometry().bottom() + 1 + kEdgeRoom);
    }
    QRect button = TwipsRect(3285, 270, 735, 375);
    button.moveRight(width - TwipsToPixels(kButtonRightGap) - 1);
    Command1->setGeometry(button);
    setFixedSize(width, height);
}

void frmAbout::OpenHomePage() {
    QUrl address(lblHP->text());
    const OpenUrlFunction& open = OpenUrl();
    if (open) {
        open(address);
    } else {
        QDesktopServices::openUrl(address);
    }
}

bool frmAbout::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        gOwnerHwnd = this;
    }
    return QDialog::event(event);
}

void frmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget() != nullptr) {
        CentreOverOwner(*this, *parentWidget());
    }
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Image1 || watched == lblHP) && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* label = static_cast<QLabel*>(watched);
        if (mouse->button() == Qt::LeftButton &&
            label->rect().contains(mouse->position().toPoint())) {
            OpenHomePage();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace mervok
