#pragma once
// The window properties that name an application, read from the bytes of a
// GetProperty reply. Any client can set them on its windows to anything.
#include <xcb/xcb.h>

#include <optional>
#include <string>

#include "platform/Services.h"
#include "platform/linux/desktop/AppResolver.h"

namespace gm::platform::linux_desktop {

// An 8-bit (STRING or UTF8_STRING) value as bytes; empty when unset or of another format.
std::string propertyString(const xcb_get_property_reply_t* reply);
// WM_CLASS, "instance\0class\0", into the facts' instance and class.
void readWmClass(const xcb_get_property_reply_t* reply, WindowFacts& facts);
// _NET_WM_PID: nothing when unset, not one CARDINAL, or no process id.
std::optional<ProcessID> readWmPid(const xcb_get_property_reply_t* reply);

}  // namespace gm::platform::linux_desktop
