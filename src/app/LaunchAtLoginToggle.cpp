#include "app/LaunchAtLogin.h"

// The parts of launch at login every platform shares: the publisher, the
// switch bound to isEnabled and the module's logger. Reading and writing the
// registration is per platform (linux/, macos/).

namespace gm::app {

LaunchAtLogin::Publisher& LaunchAtLogin::publisher() {
    static Publisher instance;
    return instance;
}

LaunchAtLogin::Toggle::Toggle(QWidget* parent) : Toggle(QStringLiteral("Launch at login"), parent) {}

LaunchAtLogin::Toggle::Toggle(const QString& label, QWidget* parent) : QCheckBox(label, parent) {
    refresh();
    // Writes go through isEnabled; the switch then shows what the file says,
    // so a refused write springs back.
    connect(this, &QCheckBox::clicked, this, [this](bool checked) { LaunchAtLogin::setEnabled(checked); });
    connect(&LaunchAtLogin::publisher(), &Publisher::changed, this, [this] { refresh(); });
}

void LaunchAtLogin::Toggle::showEvent(QShowEvent* event) {
    refresh();
    QCheckBox::showEvent(event);
}

void LaunchAtLogin::Toggle::refresh() {
    const QSignalBlocker quiet(this);
    setChecked(LaunchAtLogin::isEnabled());
}

platform::Logger& LaunchAtLogin::logger() {
    // Its own subsystem and category, but the program's destination (the journal).
    static platform::Logger instance("com.Pellmar.Glidemark.LaunchAtLogin", "main", &platform::programLogSink());
    return instance;
}

}  // namespace gm::app
