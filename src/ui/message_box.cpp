#include "ui/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <deque>
#include <utility>

namespace mervok {

namespace {

std::deque<int> gQueuedAnswers;
std::vector<ShownMessage> gShown;

// Runs the placement once the box has its final size (QMessageBox sizes
// itself in its show event) and before its window is made visible.
class PlacedMessageBox : public QMessageBox {
  public:
    PlacedMessageBox(QWidget* parent, MessageBox::Placement place)
        : QMessageBox(parent), mPlace(std::move(place)) {}

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (mPlace) {
            mPlace(*this);
        }
    }

  private:
    MessageBox::Placement mPlace;
};

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int id;
};

std::vector<ButtonSpec> ButtonsOf(int style) {
    switch (style & 0x0F) {
        case kMbOkCancel:
            return {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
        case kMbAbortRetryIgnore:
            return {{QMessageBox::Abort, kIdAbort},
                    {QMessageBox::Retry, kIdRetry},
                    {QMessageBox::Ignore, kIdIgnore}};
        case kMbYesNoCancel:
            return {{QMessageBox::Yes, kIdYes},
                    {QMessageBox::No, kIdNo},
                    {QMessageBox::Cancel, kIdCancel}};
        case kMbYesNo:
            return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
        case kMbRetryCancel:
            return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
        default:
            return {{QMessageBox::Ok, kIdOk}};
    }
}

QMessageBox::Icon IconOf(int style) {
    switch (style & 0xF0) {
        case kMbIconStop:
            return QMessageBox::Critical;
        case kMbIconQuestion:
            return QMessageBox::Question;
        case kMbIconExclamation:
            return QMessageBox::Warning;
        case kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

int MessageBox::Show(QWidget* parent, const QString& text, int style, const QString& title,
                     const Placement& place) {
    gShown.push_back({text, style, title});
    if (!gQueuedAnswers.empty()) {
        const int answer = gQueuedAnswers.front();
        gQueuedAnswers.pop_front();
        return answer;
    }

    PlacedMessageBox box(parent, place);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    // Two-line messages are joined with CR LF; a lone CR would show as a box.
    box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setIcon(IconOf(style));
    const std::vector<ButtonSpec> specs = ButtonsOf(style);
    QMessageBox::StandardButtons buttons;
    for (const ButtonSpec& spec : specs) {
        buttons |= spec.button;
    }
    box.setStandardButtons(buttons);
    const std::size_t defaultIndex = static_cast<std::size_t>((style >> 8) & 0x0F);
    box.setDefaultButton(specs[defaultIndex < specs.size() ? defaultIndex : 0].button);
    if (specs.size() == 1) {
        box.setEscapeButton(specs.front().button);
    }
    box.exec();

    QAbstractButton* clicked = box.clickedButton();
    for (const ButtonSpec& spec : specs) {
        if (clicked != nullptr && box.standardButton(clicked) == spec.button) {
            return spec.id;
        }
    }
    // Closed without a button (Escape with several buttons, or the close
    // box): Cancel when there is one, otherwise the first button.
    for (const ButtonSpec& spec : specs) {
        if (spec.id == kIdCancel) {
            return kIdCancel;
        }
    }
    return specs.front().id;
}

void MessageBox::QueueAnswer(int buttonId) {
    gQueuedAnswers.push_back(buttonId);
}

int MessageBox::QueuedAnswers() {
    return static_cast<int>(gQueuedAnswers.size());
}

std::vector<ShownMessage> MessageBox::TakeShown() {
    std::vector<ShownMessage> shown;
    shown.swap(gShown);
    return shown;
}

void MessageBox::Reset() {
    gQueuedAnswers.clear();
    gShown.clear();
}

}  // namespace mervok
