#pragma once

#include <QString>

#include <functional>
#include <vector>

class QMessageBox;
class QWidget;

namespace mervok {

// Style flags as the classic message box takes them: the buttons in the low
// four bits, the icon above them, the default button above that.
inline constexpr int kMbOk = 0;
inline constexpr int kMbOkCancel = 1;
inline constexpr int kMbAbortRetryIgnore = 2;
inline constexpr int kMbYesNoCancel = 3;
inline constexpr int kMbYesNo = 4;
inline constexpr int kMbRetryCancel = 5;
inline constexpr int kMbIconStop = 16;
inline constexpr int kMbIconQuestion = 32;
inline constexpr int kMbIconExclamation = 48;
inline constexpr int kMbIconInformation = 64;
inline constexpr int kMbDefaultButton2 = 0x100;
inline constexpr int kMbDefaultButton3 = 0x200;

// The identifier of the button that closed a box.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// One box as it was asked for.
struct ShownMessage {
    QString text;
    int style = 0;
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
    // identifier of the button that closed it. Texts may hold CR LF.
    static int Show(QWidget* parent, const QString& text, int style, const QString& title,
                    const Placement& place = {});

    static void QueueAnswer(int buttonId);
    static int QueuedAnswers();
    // The boxes asked for since the last call, oldest first.
    static std::vector<ShownMessage> TakeShown();
    // Forgets queued answers and the record.
    static void Reset();
};

}  // namespace mervok
