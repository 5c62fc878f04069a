#pragma once
// One connection to the X server shared by the workspace, the modifier
// monitor and the screen list, and the loop that reads its events.
//
// Events are read either by the connection's own thread (startThread) or by
// whoever calls dispatchPending/waitAndDispatch; handlers run on that thread,
// one event at a time. Requests and replies are safe from any thread (xcb
// serialises them), so the scroll path can query the server while the event
// thread runs.
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace gm::platform::linux_desktop {

// Frees an xcb reply when it goes out of scope.
struct FreeDeleter {
    void operator()(void* p) const;
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

class X11Connection {
public:
    using Handler = std::function<void(const xcb_generic_event_t& event)>;
    using HandlerId = std::uint64_t;

    // Connects to `display` (null: $DISPLAY). Null when there is no server.
    static std::unique_ptr<X11Connection> open(const char* display = nullptr);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* raw() const { return connection_; }
    xcb_ewmh_connection_t* ewmh() { return &ewmh_; }
    xcb_window_t root() const { return root_; }
    xcb_atom_t wmState() const { return wmState_; }
    bool hasError() const { return xcb_connection_has_error(connection_) != 0; }

    // Handlers may be added and removed at any time; removal waits for a
    // running handler to return, so the owner may be destroyed right after.
    HandlerId addHandler(Handler handler);
    void removeHandler(HandlerId id);

    // Handles every event that has already arrived; returns how many.
    int dispatchPending();
    // Waits up to `timeoutMs` for an event, then handles what has arrived.
    int waitAndDispatch(int timeoutMs);

    // A thread that handles events as they come, until stopThread or the
    // destructor. Handlers then run on it.
    void startThread();
    void stopThread();

private:
    X11Connection(xcb_connection_t* connection, int screen);
    void dispatch(const xcb_generic_event_t& event);

    xcb_connection_t* connection_;
    xcb_ewmh_connection_t ewmh_{};
    xcb_window_t root_ = 0;
    xcb_atom_t wmState_ = 0;

    std::mutex handlersMutex_;
    std::map<HandlerId, Handler> handlers_;
    HandlerId nextHandler_ = 1;

    int wakeFd_ = -1;  // eventfd that tells the thread to stop
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace gm::platform::linux_desktop
