// The application under the pointer, as asked for every wheel event: the
// cached look-up of a known top-level window, and the whole question with its
// round trip to a private Xvfb.
#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/desktop/X11Workspace.h"
#include "platform/linux/desktop/XvfbServer.h"  // from tests/

namespace ld = gm::platform::linux_desktop;

namespace {

class NullQueue final : public gm::platform::DispatchQueue {
public:
    void async(std::function<void()>) override {}
    void asyncAfter(double, std::function<void()>) override {}
};

// One server, one application window under the pointer, one workspace.
struct Desktop {
    std::unique_ptr<gm::testing::XvfbServer> server;
    std::unique_ptr<ld::X11Connection> connection;
    xcb_connection_t* app = nullptr;
    xcb_window_t window = 0;
    NullQueue queue;
    std::unique_ptr<ld::X11Workspace> workspace;
    std::string error;

    Desktop() {
        server = gm::testing::XvfbServer::start(error);
        if (!server) return;
        connection = ld::X11Connection::open(server->display().c_str());
        app = xcb_connect(server->display().c_str(), nullptr);
        const auto root = xcb_setup_roots_iterator(xcb_get_setup(app)).data->root;
        window = xcb_generate_id(app);
        xcb_create_window(app, XCB_COPY_FROM_PARENT, window, root, 0, 0, 800, 600, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const char wmClass[] = "bench\0Bench";
        xcb_change_property(app, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof wmClass,
                            wmClass);
        const char stateName[] = "WM_STATE";
        ld::XcbReply<xcb_intern_atom_reply_t> state{
            xcb_intern_atom_reply(app, xcb_intern_atom(app, 0, sizeof stateName - 1, stateName), nullptr)};
        const std::uint32_t normal[2] = {1, 0};
        xcb_change_property(app, XCB_PROP_MODE_REPLACE, window, state->atom, state->atom, 32, 2, normal);
        xcb_map_window(app, window);
        xcb_warp_pointer(app, XCB_NONE, root, 0, 0, 0, 0, 100, 100);
        std::free(xcb_get_input_focus_reply(app, xcb_get_input_focus(app), nullptr));
        workspace = std::make_unique<ld::X11Workspace>(
            *connection, queue,
            std::make_shared<ld::AppResolver>(ld::DesktopEntryIndex(), ld::ProcFs(), "C", ""));
    }
    ~Desktop() {
        workspace.reset();
        if (app) xcb_disconnect(app);
    }
};

Desktop& desktop() {
    static Desktop d;
    return d;
}

void BM_CachedWindowLookup(benchmark::State& state) {
    auto& d = desktop();
    if (!d.workspace) return state.SkipWithError(d.error.c_str());
    if (!d.workspace->applicationOfWindow(d.window)) return state.SkipWithError("window not resolved");
    for (auto _ : state) benchmark::DoNotOptimize(d.workspace->applicationOfWindow(d.window));
}
BENCHMARK(BM_CachedWindowLookup)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_PointerTargetWithRoundTrip(benchmark::State& state) {
    auto& d = desktop();
    if (!d.workspace) return state.SkipWithError(d.error.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(d.workspace->pointerTarget());
}
BENCHMARK(BM_PointerTargetWithRoundTrip)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
