#pragma once
// The preferences window's Updates page: a button that starts a check the user asked for and
// the updater's two switches. The updater keeps these preferences itself; nothing here is
// stored in Glidemark's settings.
#include <QObject>
#include <QWidget>

class QCheckBox;
class QPushButton;

namespace gm::update {

class Updater;

// Mirrors the updater's canCheckForUpdates for as long as it lives.
class CheckForUpdatesViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
public:
    explicit CheckForUpdatesViewModel(Updater& updater, QObject* parent = nullptr);
    bool canCheckForUpdates() const { return canCheckForUpdates_; }

signals:
    void canCheckForUpdatesChanged(bool canCheck);

private:
    bool canCheckForUpdates_ = false;
};

class CheckForUpdatesView : public QWidget {
    Q_OBJECT
public:
    explicit CheckForUpdatesView(Updater& updater, QWidget* parent = nullptr);
    QPushButton* button() const { return button_; }

private:
    CheckForUpdatesViewModel* checkForUpdatesViewModel_;
    Updater& updater_;
    QPushButton* button_;
};

class UpdaterSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit UpdaterSettingsView(Updater& updater, QWidget* parent = nullptr);
    QCheckBox* automaticallyChecksSwitch() const { return checks_; }
    QCheckBox* automaticallyDownloadsSwitch() const { return downloads_; }

private:
    Updater& updater_;
    // Taken from the updater once, when the page is built; each change goes straight back to it.
    bool automaticallyChecksForUpdates_;
    bool automaticallyDownloadsUpdates_;
    QCheckBox* checks_;
    QCheckBox* downloads_;
};

class UpdatesView : public QWidget {
    Q_OBJECT
public:
    // The page for the preferences window, talking to UpdaterManager::shared()'s updater.
    explicit UpdatesView(QWidget* parent = nullptr);
    explicit UpdatesView(Updater& updater, QWidget* parent = nullptr);

    CheckForUpdatesView* checkForUpdatesView() const { return check_; }
    UpdaterSettingsView* updaterSettingsView() const { return settings_; }

private:
    CheckForUpdatesView* check_;
    UpdaterSettingsView* settings_;
};

}  // namespace gm::update
