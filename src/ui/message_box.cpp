#include "ui/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <deque>
#include <utility>

namespace mervok {

namespace {

std::deque<MsgAnswer> gQueuedAnswers;
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
    MsgAnswer answer;
};

std::vector<ButtonSpec> ButtonsOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            break;
        case MsgButtons::OkCancel:
            return {{QMessageBox::Ok, MsgAnswer::Ok}, {QMessageBox::Cancel, MsgAnswer::Cancel}};
        case MsgButtons::AbortRetryIgnore:
            return {{QMessageBox::Abort, MsgAnswer::Abort},
                    {QMessageBox::Retry, MsgAnswer::Retry},
                    {QMessageBox::Ignore, MsgAnswer::Ignore}};
        case MsgButtons::YesNoCancel:
            return {{QMessageBox::Yes, MsgAnswer::Yes},
                    {QMessageBox::No, MsgAnswer::No},
                    {QMessageBox::Cancel, MsgAnswer::Cancel}};
        case MsgButtons::YesNo:
            return {{QMessageBox::Yes, MsgAnswer::Yes}, {QMessageBox::No, MsgAnswer::No}};
        case MsgButtons::RetryCancel:
            return {{QMessageBox::Retry, MsgAnswer::Retry},
                    {QMessageBox::Cancel, MsgAnswer::Cancel}};
    }
    return {{QMessageBox::Ok, MsgAnswer::Ok}};
}

QMessageBox::Icon IconOf(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Stop:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

MsgAnswer MessageBox::Show(QWidget* parent, const QString& text, MsgStyle style,
                           const QString& title, const Placement& place) {
    gShown.push_back({text, style, title});
    if (!gQueuedAnswers.empty()) {
        const MsgAnswer answer = gQueuedAnswers.front();
        gQueuedAnswers.pop_front();
        return answer;
    }

    PlacedMessageBox box(parent, place);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    // Two-line messages are joined with CR LF; a lone CR would show as a box.
    box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setIcon(IconOf(style.icon));
    const std::vector<ButtonSpec> specs = ButtonsOf(style.buttons);
    QMessageBox::StandardButtons buttons;
    for (const ButtonSpec& spec : specs) {
        buttons |= spec.button;
    }
    box.setStandardButtons(buttons);
    const auto defaultIndex = static_cast<std::size_t>(style.defaultButton);
    box.setDefaultButton(specs[defaultIndex < specs.size() ? defaultIndex : 0].button);
    if (specs.size() == 1) {
        box.setEscapeButton(specs.front().button);
    }
    box.exec();

    QAbstractButton* clicked = box.clickedButton();
    for (const ButtonSpec& spec : specs) {
        if (clicked != nullptr && box.standardButton(clicked) == spec.button) {
            return spec.answer;
        }
    }
    // Closed without a button (Escape with several buttons, or the close
    // box): Cancel when there is one, otherwise the first button.
    for (const ButtonSpec& spec : specs) {
        if (spec.answer == MsgAnswer::Cancel) {
            return MsgAnswer::Cancel;
        }
    }
    return specs.front().answer;
}

void MessageBox::QueueAnswer(MsgAnswer answer) {
    gQueuedAnswers.push_back(answer);
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
