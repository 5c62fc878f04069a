#include "platform/linux/desktop/X11Connection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/Log.h"

namespace gm::platform::linux_desktop {

void FreeDeleter::operator()(void* p) const { std::free(p); }

std::unique_ptr<X11Connection> X11Connection::open(const char* display) {
    int screen = 0;
    xcb_connection_t* c = xcb_connect(display, &screen);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return nullptr;
    }
    return std::unique_ptr<X11Connection>(new X11Connection(c, screen));
}

X11Connection::X11Connection(xcb_connection_t* connection, int screen) : connection_(connection) {
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    root_ = it.data->root;

    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(connection_, &ewmh_);
    const char wmStateName[] = "WM_STATE";
    const auto stateCookie = xcb_intern_atom(connection_, 0, sizeof wmStateName - 1, wmStateName);
    if (!xcb_ewmh_init_atoms_replies(&ewmh_, cookies, nullptr)) std::memset(&ewmh_, 0, sizeof ewmh_);
    if (XcbReply<xcb_intern_atom_reply_t> r{xcb_intern_atom_reply(connection_, stateCookie, nullptr)}) wmState_ = r->atom;

    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

X11Connection::~X11Connection() {
    stopThread();
    if (ewmh_.connection) xcb_ewmh_connection_wipe(&ewmh_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    xcb_disconnect(connection_);
}

X11Connection::HandlerId X11Connection::addHandler(Handler handler) {
    std::lock_guard lock(handlersMutex_);
    const auto id = nextHandler_++;
    handlers_.emplace(id, std::move(handler));
    return id;
}

void X11Connection::removeHandler(HandlerId id) {
    std::lock_guard lock(handlersMutex_);
    handlers_.erase(id);
}

void X11Connection::dispatch(const xcb_generic_event_t& event) {
    std::lock_guard lock(handlersMutex_);
    for (auto& [id, handler] : handlers_) handler(event);
}

int X11Connection::dispatchPending() {
    int count = 0;
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
        dispatch(*event);
        ++count;
    }
    return count;
}

int X11Connection::waitAndDispatch(int timeoutMs) {
    // Events already read off the socket (while waiting for a reply) would
    // not wake poll(), so drain the queue first.
    if (const int n = dispatchPending()) return n;
    pollfd fds[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0) return 0;
    return dispatchPending();
}

void X11Connection::startThread() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] {
        bool reported = false;
        while (!stopping_.load()) {
            waitAndDispatch(-1);
            if (hasError()) {
                // The server went away: nothing more will come, and spinning
                // on a dead socket would burn a core.
                if (!reported) gm::platform::log().error("X connection lost; desktop tracking stops");
                reported = true;
                break;
            }
        }
    });
}

void X11Connection::stopThread() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
    std::uint64_t drained = 0;
    [[maybe_unused]] const auto m = ::read(wakeFd_, &drained, sizeof drained);
}

}  // namespace gm::platform::linux_desktop
