#pragma once
// Bringing a window to the user. Wayland compositors give the focus only to a
// window that presents an activation token, handed on by whatever started the
// activation (a launcher through XDG_ACTIVATION_TOKEN, a notification server
// through its ActivationToken signal); the token waits here for the next
// window brought forward.
#include <QString>

class QWidget;

namespace gm::update {

// Keeps `token` for the next bringWindowForward; an empty token clears it.
void setPendingActivationToken(const QString& token);
QString pendingActivationToken();

// Shows `window` (restoring it when minimised), raises it and asks for the
// focus, presenting the pending token on Wayland.
void bringWindowForward(QWidget& window);

// Whether `token` can be passed on as it is: a single line of printable
// ASCII without spaces, of reasonable length (tokens are short opaque strings).
bool isUsableActivationToken(const QString& token);

}  // namespace gm::update
