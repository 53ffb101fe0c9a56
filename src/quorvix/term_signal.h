#pragma once

#include <QObject>

class QSocketNotifier;

namespace mervok::quorvix {

// Turns SIGTERM (how the search window closes the viewer it started last) and
// SIGINT into a signal on the event loop: the handler only writes a byte into
// a pipe, whose other end a QSocketNotifier watches. One object per process.
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

}  // namespace mervok::quorvix
