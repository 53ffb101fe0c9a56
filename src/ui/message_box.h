#pragma once

#include <QString>

#include <functional>
#include <vector>

class QMessageBox;
class QWidget;

namespace mervok {

// The buttons a box offers, in the order shown.
enum class MsgButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgIcon { None, Stop, Question, Exclamation, Information };
// The button that closed a box.
enum class MsgAnswer { Ok, Cancel, Abort, Retry, Ignore, Yes, No };

struct MsgStyle {
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    // Which of the buttons is the default, from 0; the first when there is
    // no such button.
    int defaultButton = 0;

    friend bool operator==(const MsgStyle&, const MsgStyle&) = default;
};

// One box as it was asked for.
struct ShownMessage {
    QString text;
    MsgStyle style;
    QString title;
};

// Every message box of the program goes through here. Tests queue answers in
// advance: while an answer is queued, a box is not shown at all but takes the
// next answer. Every box, shown or answered, is recorded.
class MessageBox {
  public:
    // Called with the finished box (its size known) after Qt has placed it
    // and before its window becomes visible.
    using Placement = std::function<void(QMessageBox&)>;

    // Shows a modal box over parent (which may be null) and returns the
    // button that closed it. Texts may hold CR LF.
    static MsgAnswer Show(QWidget* parent, const QString& text, MsgStyle style,
                          const QString& title, const Placement& place = {});

    static void QueueAnswer(MsgAnswer answer);
    static int QueuedAnswers();
    // The boxes asked for since the last call, oldest first.
    static std::vector<ShownMessage> TakeShown();
    // Forgets queued answers and the record.
    static void Reset();
};

}  // namespace mervok
