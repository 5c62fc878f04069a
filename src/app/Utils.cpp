#include "app/Utils.h"

#include <string>

#include "app/SingleInstance.h"
#include "platform/LocalText.h"
#include "platform/Log.h"
#include "platform/Services.h"

namespace gm::app {

namespace {

AlertPresenter* presenterOverride = nullptr;

QString local(const char* text) { return QString::fromUtf8(platform::localText(text)); }

AlertPresenter& messageBoxes() {
    static MessageBoxPresenter presenter;
    return presenter;
}

}  // namespace

AlertPresenter& Utils::alerts() { return presenterOverride ? *presenterOverride : messageBoxes(); }

void Utils::setAlertPresenter(AlertPresenter* presenter) { presenterOverride = presenter; }

Alert Utils::accessibilityAlert() {
    return {local("Accessibility Permission Required"),
            local("Glidemark needs Accessibility permission to work properly.\n\n"
                  "Go to System Settings > Privacy & Security > Accessibility to grant permission."),
            {local("Open System Settings"), QStringLiteral("Deny")}};
}

Alert Utils::permissionGrantedAlert() {
    return {QStringLiteral("Well done!"), QStringLiteral("Glidemark can now animate your scrolling"),
            {QStringLiteral("OK")}};
}

bool Utils::showAccessibilityAlert(platform::InputAccess& access) {
    if (alerts().run(accessibilityAlert()) != kAlertFirstButton) return false;
    openAccessibilitySettings(access);
    return true;
}

void Utils::openAccessibilitySettings(platform::InputAccess& access) { access.openSettings(); }

void Utils::showPermissionGrantedAlert() { alerts().run(permissionGrantedAlert()); }

Utils::InstanceDecision Utils::enforceSingleInstance(bool terminateOthers, SingleInstance& instance) {
    const auto peer = instance.findRunningInstance();
    if (!peer) {
        instance.listen(0);
        return InstanceDecision::Continue;
    }
    if (peer->executablePath == instance.self().executablePath) {
        // Launching the running program again is how the user reaches it when
        // its tray icon is hidden: the running copy decides what to show.
        instance.send(SingleInstance::Request::Reopen, SingleInstance::launchActivationToken());
        platform::log().info("Re-open: Running instance " + std::to_string(peer->pid));
        return InstanceDecision::Exit;
    }
    if (!terminateOthers) {
        platform::log().info("Terminate: Suicide");
        return InstanceDecision::Exit;
    }
    // A polite request; the other copy ends its engine and quits on its own
    // time, and this one takes the socket over once it is free.
    instance.send(SingleInstance::Request::Quit);
    platform::log().info("Terminate: Other instance " + std::to_string(peer->pid));
    instance.listen(3000);
    return InstanceDecision::Continue;
}

}  // namespace gm::app
