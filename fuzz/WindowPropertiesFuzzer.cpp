// WM_CLASS and _NET_WM_PID are set by the client that owns a window, to
// anything. The reply bytes are read into window facts, which the resolver
// then turns into an application against a few installed desktop entries.
//
// Input: byte 0 picks the reply's format (8, 16, 32 or the byte itself) and
// its type (STRING, CARDINAL or none); the rest is the property's value.
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "platform/linux/desktop/X11Properties.h"

using gm::fuzz::expect;
using namespace gm::platform::linux_desktop;

namespace {

const AppResolver& resolver() {
    static const AppResolver instance = [] {
        DesktopEntryIndex index;
        for (const char* text : {"[Desktop Entry]\nType=Application\nName=Files\nExec=nautilus --new-window\n"
                                 "StartupWMClass=org.gnome.Nautilus\n",
                                 "[Desktop Entry]\nType=Application\nName=Firefox\nName[de]=Firefox\n"
                                 "Exec=env MOZ_X11=1 /usr/lib/firefox/firefox %u\n",
                                 "[Desktop Entry]\nType=Application\nName=Terminal\nExec=\"/opt/my term/term\"\n"}) {
            auto entry = parseDesktopEntry(text);
            entry->id = entry->name;
            index.add(std::move(*entry));
        }
        // No /proc here: a process id names no sandbox and no executable.
        return AppResolver(std::move(index), ProcFs("/nonexistent"), "de_DE.UTF-8", "GNOME");
    }();
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t pick = data[0], formats[4] = {8, 16, 32, pick};
    const std::size_t valueBytes = size - 1;
    // The reply as the server sends it: a 32-byte header, then the value padded to 4 bytes.
    std::vector<std::uint32_t> words(sizeof(xcb_get_property_reply_t) / 4 + (valueBytes + 3) / 4);
    auto* reply = reinterpret_cast<xcb_get_property_reply_t*>(words.data());
    reply->response_type = 1;
    reply->format = formats[pick & 3];
    reply->type = (pick & 4) ? XCB_ATOM_CARDINAL : (pick & 8) ? XCB_NONE : XCB_ATOM_STRING;
    reply->length = static_cast<std::uint32_t>((valueBytes + 3) / 4);
    reply->value_len = static_cast<std::uint32_t>(reply->format >= 8 ? valueBytes / (reply->format / 8u) : 0);
    std::memcpy(reply + 1, data + 1, valueBytes);

    WindowFacts facts;
    readWmClass(reply, facts);
    expect(facts.instance.find('\0') == std::string::npos && facts.wmClass.find('\0') == std::string::npos,
           "window class names hold no NUL");
    const auto pid = readWmPid(reply);
    expect(!pid || *pid > 0, "a process id from a window is positive");
    facts.pid = pid.value_or(0);
    const auto app = resolver().application(facts);
    expect(app.processIdentifier == facts.pid, "the application keeps the window's process id");
    return 0;
}
