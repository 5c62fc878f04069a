#pragma once
// Starting the program at login. The system's registration is the truth and
// is read on every query, so a change the user makes in the desktop's own
// settings shows at once. On Linux it is an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/glidemark.desktop (~/.config when the variable
// is unset); on macOS a login item (linux/ and macos/ hold the two halves).
// Failures are logged, never thrown; a read afterwards shows the real state.
#include <QCheckBox>
#include <QObject>
#include <QString>

#include "platform/Log.h"

namespace gm::app {

class LaunchAtLogin : public QObject {
    Q_OBJECT
public:
    LaunchAtLogin() = delete;

    static bool isEnabled();
    // Enabling always writes the entry anew, so a stale entry (say, one that
    // still names an older copy of the program) is replaced.
    static void setEnabled(bool enabled);
    // After the program has moved: an enabled entry is written anew to start
    // the copy at `executable`; without one nothing is written.
    static void followProgram(const QString& executable);

    static QString entryPath();
    // The program the entry starts: this executable unless set (tests).
    static QString programPath();
    static void setProgramPath(const QString& path);

    // Tells views after every write, with the value written.
    class Publisher;
    // A switch bound to isEnabled, labelled "Launch at login" unless told otherwise.
    class Toggle;
    static Publisher& publisher();
    // Its own logger (category "main"), writing where the program's log goes.
    static platform::Logger& logger();
};

class LaunchAtLogin::Publisher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void changed(bool enabled);
};

class LaunchAtLogin::Toggle : public QCheckBox {
    Q_OBJECT
public:
    explicit Toggle(QWidget* parent = nullptr);
    Toggle(const QString& label, QWidget* parent);

protected:
    // Reads the entry again whenever the switch is shown, since the user may
    // have changed it in the desktop's own settings meanwhile.
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
};

}  // namespace gm::app
