#pragma once
// Helpers of the application shell: the two input-access alerts and the
// single-instance rule. Class-level operations only; the alert presenter is
// the one piece of process state, so the permission flow can be answered by
// a script.
#include <QString>

#include "app/Alerts.h"

namespace gm::platform {
class InputAccess;
}

namespace gm::app {

class SingleInstance;

class Utils {
public:
    Utils() = delete;

    // The presenter alerts go through; message boxes unless replaced. Passing
    // null restores the message boxes.
    static AlertPresenter& alerts();
    static void setAlertPresenter(AlertPresenter* presenter);

    static Alert accessibilityAlert();
    static Alert permissionGrantedAlert();

    // Explains the missing access; its first button asks for it, any other
    // answer (or the alert closing unanswered) does nothing. Returns whether
    // access was asked for.
    static bool showAccessibilityAlert(platform::InputAccess& access);
    // The system's place for granting access: the Accessibility pane on
    // macOS; on Linux, which has no such pane, installing the access rule
    // (with the administrator's consent).
    static void openAccessibilitySettings(platform::InputAccess& access);
    static void showPermissionGrantedAlert();

    enum class InstanceDecision {
        Continue,  // no other copy, or it was asked to quit
        Exit,      // this process should end now
    };
    // See SingleInstance for the protocol. A second launch of the same
    // installed program hands the running copy a re-open request and exits;
    // a different copy asks the running one to quit (terminateOthers) or
    // gives way itself.
    static InstanceDecision enforceSingleInstance(bool terminateOthers, SingleInstance& instance);
};

}  // namespace gm::app
