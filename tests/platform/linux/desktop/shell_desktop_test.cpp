// The desktop layer against the real GNOME Shell (with Glidemark's extension)
// and the real KWin (with Glidemark's script): a big maximized window and a
// small one on top of it; the pointer and the focus move between them, and
// the layer must report both, notice the change of focus, and let the
// engine's exceptions follow the pointer rather than the focus. Then the
// screens through Xwayland, and the real program on each desktop.

#include "HeadlessDesktop.h"
#include "DesktopTestSupport.h"
#include "engine/ScrollDecision.h"
#include "engine/ScrollUtils.h"
#include "platform/Log.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/desktop/LinuxDesktopPlatform.h"
#include "platform/linux/desktop/PointerTargets.h"
#include "platform/linux/desktop/ShellWorkspace.h"

namespace ld = gm::platform::linux_desktop;
using gm::testing::HeadlessDesktop;
using gm::testing::waitFor;

namespace {

constexpr const char* kBig = "org.glidemark.TestBig";
constexpr const char* kSmall = "org.glidemark.TestSmall";

struct Step {
    const char* what;
    const char* pointerOver;  // moved onto the part of this window the other does not cover, then reported under it
    bool click;
    const char* frontmost;
    bool smooth;  // with smoothing off for the big window only
};

// Read top to bottom: each step starts where the one before ended.
constexpr Step kSteps[] = {
    {"pointer over the small window, which has the focus", kSmall, false, kSmall, true},
    {"pointer over the big window, the small one keeps the focus", kBig, false, kSmall, false},
    {"a click gives the big window the focus", kBig, true, kBig, false},
};

std::string idOf(const gm::platform::AppRef& app) {
    return app && app->bundleIdentifier ? *app->bundleIdentifier : "<none>";
}

// A point on the big window that the small one does not cover: 10 px in from
// the middle of the left edge, else of the right (the small one is a quarter as wide).
gm::platform::Point uncovered(const gm::platform::Rect& big, const gm::platform::Rect& small) {
    const gm::platform::Point left{big.x + 10, big.y + big.height / 2};
    return small.contains(left) ? gm::platform::Point{big.x + big.width - 10, left.y} : left;
}

class ShellDesktop : public ::testing::TestWithParam<HeadlessDesktop::Kind> {};

TEST_P(ShellDesktop, ReportsFollowThePointerAndTheFocus) {
    const bool gnome = GetParam() == HeadlessDesktop::Kind::Gnome;
    std::string whyNot;
    auto desktop = HeadlessDesktop::start(GetParam(), {kBig, kSmall}, whyNot);
    if (!desktop) {
        // CI installs both compositors: there a missing one is a failure.
        if (std::getenv("GLIDEMARK_REQUIRE_COMPOSITORS")) FAIL() << whyNot;
        GTEST_SKIP() << whyNot;
    }
    // The extension is installed but off, as after installing the package.
    const auto shell = ld::ShellWindows::start(gnome ? ld::ShellKind::Gnome : ld::ShellKind::KWin,
                                               {GM_TEST_KWIN_SCRIPT, {}, /*mayEnableGnomeExtension=*/true});
    ASSERT_TRUE(shell && shell->reporting());
    EXPECT_EQ(shell->gnomeExtensionOn(), gnome);
    const auto resolver = std::make_shared<ld::AppResolver>(ld::AppResolver::fromEnvironment());
    gm::testing::TestQueue queue;
    ld::ShellWorkspace workspace(*shell, queue, resolver);
    const auto targets = ld::PointerTargets::forShell(*shell, resolver);
    int activations = 0;
    const auto subscription = workspace.observeActivations([&] { ++activations; });

    desktop->openWindow(kBig, 0, 0, true);
    ASSERT_TRUE(waitFor([&] { return idOf(workspace.frontmostApplication()) == kBig; }))
        << desktop->logs();
    const auto big = shell->focusedWindow().value_or(ld::CompositorWindow{}).frame;
    desktop->openWindow(kSmall, 320, 240, false);
    ASSERT_TRUE(waitFor([&] { return idOf(workspace.frontmostApplication()) == kSmall; }));
    // The running applications, as the Exceptions tab lists them.
    ASSERT_TRUE(waitFor([&] { return workspace.runningApplications().size() == 2; }));
    for (const auto& app : workspace.runningApplications())
        EXPECT_EQ(app->activationPolicy, gm::platform::ActivationPolicy::Regular) << idOf(app);
    const auto small = shell->focusedWindow().value_or(ld::CompositorWindow{}).frame;
    ASSERT_TRUE(big.width > small.width && small.width > 0);

    gm::settings::GlidemarkSettings settings;
    settings.appSettings.exceptionalApplication = {std::make_shared<gm::settings::ExceptionalApplication>(kBig)};
    auto base = settings.appSettings.exceptionalApplication[0]->scrollBase();
    base.smooth = false;
    settings.appSettings.exceptionalApplication[0]->setScrollBase(base);
    gm::platform::linux_input::MonotonicClock clock;
    gm::engine::ScrollUtils scrollUtils(workspace, clock, gm::platform::log());

    for (const auto& step : kSteps) {
        SCOPED_TRACE(step.what);
        queue.drain();
        const int activationsBefore = activations;
        const bool overSmall = std::string_view(step.pointerOver) == kSmall;
        const auto point = overSmall ? gm::platform::Point{small.x + small.width / 2, small.y + small.height / 2}
                                     : uncovered(big, small);
        ASSERT_TRUE(desktop->movePointer(int(point.x), int(point.y)));
        ASSERT_TRUE(!step.click || desktop->click());
        EXPECT_TRUE(waitFor([&] {
            return idOf(targets->current().app) == step.pointerOver &&
                   idOf(workspace.frontmostApplication()) == step.frontmost;
        })) << "under the pointer: " << idOf(targets->current().app)
            << ", frontmost: " << idOf(workspace.frontmostApplication()) << desktop->logs();
        EXPECT_TRUE(!step.click || queue.drainUntil([&] { return activations > activationsBefore; }))
            << "focus change noticed";

        // What the engine makes of a wheel event there: the target process is
        // the one the pointer target names, as the Linux backend annotates it.
        gm::platform::FieldTableEvent event(gm::platform::EventType::ScrollWheel);
        const auto pid = targets->current().pid;
        event.setIntegerValue(gm::platform::field::targetProcessID, pid > 0 ? pid : 1);
        const auto app = scrollUtils.targetApplication(event);
        const auto exception =
            gm::engine::matchException(settings, app && app->bundleIdentifier ? &*app->bundleIdentifier : nullptr);
        EXPECT_EQ(gm::engine::effectiveValuesBeforeLaunchpad(settings, exception, false).smooth, step.smooth);
    }
}

// These desktops say nothing of their screens except through Xwayland: the
// screen must be the compositor's (1280 x 800; 144 Hz on GNOME, 60 on KWin),
// not the stand-in's 1920 x 1080 at 60 Hz. Then the real program runs there.
TEST_P(ShellDesktop, ScreensComeThroughXwaylandAndTheProgramEndsCleanly) {
    const double hz = GetParam() == HeadlessDesktop::Kind::Gnome ? 144 : 60;
    std::string whyNot;
    auto desktop = HeadlessDesktop::start(GetParam(), {}, whyNot, static_cast<int>(hz));
    if (!desktop) {
        if (std::getenv("GLIDEMARK_REQUIRE_COMPOSITORS")) FAIL() << whyNot;
        GTEST_SKIP() << whyNot;
    }
    if (::access("/usr/bin/Xwayland", X_OK) != 0) {
        if (std::getenv("GLIDEMARK_REQUIRE_COMPOSITORS")) FAIL() << "Xwayland is not installed";
        GTEST_SKIP() << "Xwayland is not installed (scripts/deps.sh compositors installs it)";
    }
    const std::string display = desktop->startXwayland();
    ASSERT_FALSE(display.empty()) << desktop->logs();
    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    gm::testing::TestQueue queue;
    {
        ld::LinuxDesktopPlatform platform(queue);
        std::vector<gm::platform::Screen> screens;
        platform.displays().screens(screens);
        ASSERT_EQ(screens.size(), 1u) << desktop->logs();
        EXPECT_EQ(gm::testing::box(screens[0].frame), (std::array<double, 4>{0, 0, 1280, 800}));
        // Xwayland turns the compositor's rate into a standard mode's timings, a little off.
        EXPECT_NEAR(screens[0].refreshRate, hz, 0.5);
    }
#ifdef GLIDEMARK_EXECUTABLE
    // As a session starts it: it reads the screens, finds no mice here and
    // asks for access, and ends cleanly on SIGTERM (built with sanitizers,
    // that also means none of them reported anything).
    const pid_t program = desktop->startProgram(
        {GLIDEMARK_EXECUTABLE}, {"XDG_SESSION_TYPE=wayland", "GLIDEMARK_NO_MOVE=1", GM_TEST_LSAN_OPTIONS});
    const auto said = [&](const char* line) { return desktop->logs().find(line) != std::string::npos; };
    EXPECT_TRUE(waitFor([&] { return said("glidemark[general] No permission"); }, std::chrono::seconds(60))) << desktop->logs();
    EXPECT_TRUE(said("glidemark[general] Screens: 1 read through Xwayland")) << desktop->logs();
    ::kill(program, SIGTERM);
    int status = -1;
    ASSERT_EQ(::waitpid(program, &status, 0), program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << desktop->logs();
#endif
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
}

INSTANTIATE_TEST_SUITE_P(Compositors, ShellDesktop,
                         ::testing::Values(HeadlessDesktop::Kind::Gnome, HeadlessDesktop::Kind::KWin),
                         [](const auto& row) {
                             return row.param == HeadlessDesktop::Kind::Gnome ? "GnomeShell" : "KWin";
                         });

}  // namespace
