#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>
#include <span>

#include "app/help_file.h"

class QWidget;

namespace mervok {

class clsToolTip;

// What a control's focus handler records for the Help button.
enum class FocusRecord { None, ControlAndName, NameOnly };

// The help design of one control of the main window.
struct ControlHelpInfo {
    const char* name;  // objectName
    int topic;         // help topic, 0: none
    bool rightClick;   // releasing the right button shows the topic
    FocusRecord focus;
    const char* toolTip;  // one-line tool tip, nullptr: none
};

// Every control of the main window that has help, a tool tip or a focus
// record. picXpStyle1 is the picture with index 1 inside Frame1, the widget
// named "picXpStyle(1)".
std::span<const ControlHelpInfo> ControlHelpTable();
const ControlHelpInfo* FindControlHelp(const QString& name);

// The five check boxes that explain themselves in two lines.
struct TwoLineHint {
    const char* checkBox;
    const char* line1;
    const char* line2;
};
std::span<const TwoLineHint> TwoLineHints();

// Tool tips, two-line hints, context help and the focus record of the main
// window. Made by the window at the end of its start-up; finds its controls
// by objectName and belongs to the window (released with it).
class ControlHelp : public QObject {
    Q_OBJECT

  public:
    ControlHelp(QWidget* window, HelpFile helpFile);
    ~ControlHelp() override;

    // Sets the one-line tool tips, creates the two-line hints, gives each
    // control its What's-This text from the help file and starts the focus
    // record and the right-click help. Controls the window lacks are skipped.
    void SetUp();

    // Gives the focus back to the control that had it before the Help button
    // (when it can take it) and enters What's-This mode.
    void btnHelp_Click();

    // With the right button, shows the control's topic; otherwise nothing.
    void ShowControlHelp(Qt::MouseButton button, QWidget* control);

    // The topic text as shown (first line as a heading); kNoHelpText when the
    // topic is missing.
    QString TopicText(int topic) const;

    // Shows a topic for a control; replaceable so that tests can see which
    // topic a right click shows. The default pops up the What's-This text at
    // the pointer.
    std::function<void(int topic, QWidget* control)> mShowTopic;

    QPointer<QWidget> mLastFocusControl;
    QString mLastFocusName;

    clsToolTip* mTipEXE = nullptr;
    clsToolTip* mTipNoArcCheck = nullptr;
    clsToolTip* mTipClick = nullptr;
    clsToolTip* mTipAutoColumn = nullptr;
    clsToolTip* mTipSFXIcon = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* Control(const char* name) const;
    // The nearest control of the table at or above widget, within the window.
    QWidget* TableControlOf(QWidget* widget) const;
    void RecordFocus(QWidget* now);
    void CreateHints();
    // What's-This mode: shows the text of the control at point (window
    // coordinates) and leaves the mode.
    void ExplainAt(QPoint point);

    QPointer<QWidget> mWindow;
    HelpFile mHelpFile;
};

}  // namespace mervok
