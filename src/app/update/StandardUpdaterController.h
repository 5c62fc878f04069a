#pragma once
// The updater and Glidemark's standard user driver, created together and kept for the life
// of the program.
#include <QObject>

#include "app/update/StandardUserDriver.h"
#include "app/update/Updater.h"

namespace gm::update {

class StandardUpdaterController : public QObject {
    Q_OBJECT
public:
    // startingUpdater: start the updater (and its scheduled checks) at once.
    StandardUpdaterController(bool startingUpdater, UpdaterOptions options, Updater::Delegate* updaterDelegate,
                              StandardUserDriver::Delegate* userDriverDelegate,
                              StandardUserDriver::UrlOpener openUrl = {}, QObject* parent = nullptr);

    Updater& updater() { return updater_; }
    StandardUserDriver& userDriver() { return driver_; }
    void startUpdater() { updater_.start(); }

public slots:
    // A check the user asked for, with the standard windows.
    void checkForUpdates() { updater_.checkForUpdates(); }

private:
    StandardUserDriver driver_;  // declared first: the updater talks to it until its last breath
    Updater updater_;
};

}  // namespace gm::update
