#pragma once
// Login-session changes: the user's session became the active one again, or
// another session (fast user switching, lock screen handed to a greeter) took
// over. A backend that watches the system's session manager derives from this
// and emits the two signals; without one, nothing is ever emitted and the
// engine simply keeps running.
#include <QObject>

namespace gm::app {

class SessionMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SessionMonitor() override = default;

signals:
    void sessionDidBecomeActive();
    void sessionDidResignActive();
};

}  // namespace gm::app
