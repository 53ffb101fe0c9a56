#pragma once

#include <QObject>

class QSocketNotifier;

namespace mervok {

// Turns the polite requests to end — SIGTERM (how the search window closes
// the viewer it started last, and how a session ends), SIGHUP and SIGINT —
// into a signal on the event loop, so that a window closes as its close box
// would: the handler only writes a byte into a pipe, whose other end a
// QSocketNotifier watches. One object per process.
class TermSignalNotifier : public QObject {
    Q_OBJECT
  public:
    explicit TermSignalNotifier(QObject* parent = nullptr);
    ~TermSignalNotifier() override;

  signals:
    void received();

  private:
    QSocketNotifier* mNotifier = nullptr;
};

}  // namespace mervok
