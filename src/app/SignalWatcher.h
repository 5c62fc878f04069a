#pragma once
// Turns SIGTERM and SIGINT into a Qt signal on the main thread, so that a
// service manager stopping the program (or Ctrl+C in a terminal) ends it the
// same way the Quit item does: the engine is ended before the process goes.
// The handler only writes the signal number to a socket pair; a socket
// notifier reads it on the main thread.
#include <QObject>
#include <memory>

class QSocketNotifier;

namespace gm::app {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Only one watcher may exist at a time; it restores the previous handlers when destroyed.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace gm::app
