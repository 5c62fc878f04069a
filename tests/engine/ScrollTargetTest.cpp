// The application a scroll event is aimed at, the Launchpad check with its
// one-second negative cache, and the frontmost application as the menu sees it.
#include <gtest/gtest.h>

#include "engine/ScrollUtils.h"
#include "platform/sim/SimDesktop.h"

namespace gm::engine {
namespace {

using platform::AppRef;
using platform::ProcessID;
using platform::sim::SimDesktop;
using platform::sim::SimWorkspace;

struct ScrollTarget : testing::Test {
    SimDesktop desktop;
    SimWorkspace& workspace = desktop.simWorkspace();
    ScrollUtils utils{desktop.workspace(), desktop.clock(), desktop.logger()};

    AppRef launch(ProcessID pid, std::string bundleId, std::optional<std::string> executable = std::nullopt) {
        return workspace.launch({pid, std::move(bundleId), "app", std::move(executable), {}});
    }
};

TEST_F(ScrollTarget, WorkspaceIsAskedOnlyWhenTheTargetProcessChanges) {
    const AppRef a = launch(100, "com.example.A"), b = launch(200, "com.example.B");
    launch(1, "com.example.launchd");
    struct Row { std::int64_t pid; AppRef expected; int lookups; };
    // A run over one process keeps the answer it had, even once the application has quit (after row 4).
    // Process 1, or a value no 32-bit process id can hold, answers none and leaves the cache alone.
    const Row rows[] = {{100, a, 1}, {100, a, 1}, {200, b, 2}, {100, a, 3}, {100, a, 3},
                        {1, nullptr, 3}, {100, a, 3}, {(std::int64_t{1} << 32) + 100, nullptr, 3}, {300, nullptr, 4}};
    int i = 0;
    for (const Row& r : rows) {
        if (++i == 5) workspace.quit(100);
        auto e = SimDesktop::makeScroll(-3);
        e->setIntegerValue(platform::field::targetProcessID, r.pid);
        EXPECT_EQ(utils.targetApplication(*e), r.expected) << "row " << i;
        EXPECT_EQ(workspace.pidLookups(), r.lookups) << "row " << i;
    }
}

TEST_F(ScrollTarget, LaunchpadScansAndTheirOneSecondNegativeCache) {
    const AppRef a = launch(100, "com.example.A"), dock = launch(50, "com.apple.dock", ScrollUtils::kDockExecutable);
    // Only that exact path is the Dock.
    const AppRef lookalike = launch(51, "com.example.dock", std::string(ScrollUtils::kDockExecutable) + "2");
    workspace.addWindow("Document");
    workspace.addWindow(std::nullopt);
    using Change = void (*)(SimWorkspace&);
    const Change none = [](SimWorkspace&) {};
    const Change open = [](SimWorkspace& w) { w.addWindow("LPSpringboard"); };
    struct Row { double t; Change change; AppRef app; bool active; int scans; };
    const Row rows[] = {
        {1.0, none, nullptr, false, 0}, {1.0, none, dock, true, 0},  // no application and the Dock answer without a scan
        {2.0, none, a, false, 1},                                    // a negative scan, trusted until 3.0
        {2.25, none, dock, true, 1}, {2.5, none, a, false, 1},       // hovering the Dock does not turn smoothing off elsewhere
        {3.0, open, a, false, 1},       // Launchpad opening within the second is not noticed...
        {3.125, none, a, true, 2},      // ...but is just after it
        {3.125, none, lookalike, true, 3},  // a positive scan is not cached
        {3.125, [](SimWorkspace& w) { EXPECT_TRUE(w.removeWindow("LPSpringboard")); }, a, false, 4},
        // An unreadable window list means no Launchpad.
        {4.25, [](SimWorkspace& w) { w.addWindow("LPSpringboard"), w.setWindowListAvailable(false); }, a, false, 5},
        {5.5, [](SimWorkspace& w) { w.setWindowListAvailable(true), w.removeWindow("LPSpringboard"); }, a, false, 6},
        // A malformed entry is skipped, not the end of the walk.
        {6.75, [](SimWorkspace& w) { w.addMalformedWindow(), w.addWindow("LPSpringboard"); }, a, true, 7}};
    for (const Row& r : rows) {
        desktop.runUntil(r.t);
        r.change(workspace);
        EXPECT_EQ(utils.isLaunchpadActive(r.app), r.active) << "at " << r.t;
        EXPECT_EQ(workspace.windowListQueries(), r.scans) << "at " << r.t;
    }
}

// The frontmost application for the menu, skipping this program itself.
TEST(ActiveApp, FrontmostApplicationSkippingThisProgram) {
    SimDesktop desktop;
    SimWorkspace& workspace = desktop.simWorkspace();
    const AppRef a = workspace.launch({100, "com.example.A", "A", {}, {}});
    const AppRef b = workspace.launch({200, "com.example.B", "B", {}, {}});
    const AppRef self = workspace.launch({300, "com.Pellmar.Glidemark", "Glidemark", {}, {}});
    // Observers run on the main queue, so let it run after each activation.
    auto activate = [&](std::initializer_list<ProcessID> pids) {
        for (ProcessID pid : pids) workspace.activate(pid), desktop.scheduler().runDue();
    };
    EXPECT_EQ(ActiveApp(desktop.workspace()).activeApp(), nullptr) << "nothing is in front yet";
    activate({200});
    ActiveApp active(desktop.workspace());
    EXPECT_EQ(active.activeApp(), b) << "starts from the frontmost";
    workspace.activate(100);
    EXPECT_EQ(active.activeApp(), b) << "nothing changes before the main queue runs";
    desktop.scheduler().runDue();
    EXPECT_EQ(active.activeApp(), a);
    {
        ActiveApp gone(desktop.workspace());
        workspace.activate(200);  // queued, not yet run: its observer must not outlive the object
    }
    desktop.scheduler().runDue();
    EXPECT_EQ(active.activeApp(), b);

    // This program in front names the application before it, even when reactivated; sameness is by bundle
    // identifier, so a second instance of B changes nothing either.
    activate({100, 200, 300, 300});
    EXPECT_EQ(active.activeApp(), b);
    workspace.launch({201, "com.example.B", "B", {}, {}});
    activate({200, 201, 300});
    EXPECT_EQ(active.activeApp(), b);  // process 200

    // Its own identifier comes from the workspace; without one, an application without one counts as itself.
    workspace.setMainBundleIdentifier("com.example.B");
    activate({100, 200});
    EXPECT_EQ(active.activeApp(), a);
    activate({300});
    EXPECT_EQ(active.activeApp(), self);
    workspace.setMainBundleIdentifier(std::nullopt);
    workspace.launch({400, std::nullopt, "anonymous", {}, {}});
    activate({400});
    EXPECT_EQ(active.activeApp(), self);
}

}  // namespace
}  // namespace gm::engine
