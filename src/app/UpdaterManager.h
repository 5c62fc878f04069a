#pragma once
// Holds the update controller. For now there is no update machinery on Linux:
// the controller is a placeholder that logs the request, so the menu's hidden
// "Check for Updates…" item and the start-up order have something to talk to.
#include <QObject>

namespace gm::app {

class UpdaterController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public slots:
    void checkForUpdates();

signals:
    void checkRequested();
};

class UpdaterManager : public QObject {
    Q_OBJECT
public:
    explicit UpdaterManager(QObject* parent = nullptr);
    ~UpdaterManager() override;

    // The live instance (the application delegate creates it first thing), or null.
    static UpdaterManager* shared();

    UpdaterController& updaterController() { return controller_; }

private:
    UpdaterController controller_;
};

}  // namespace gm::app
