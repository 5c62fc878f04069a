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

class ScrollTarget : public testing::Test {
protected:
    SimDesktop desktop;
    ScrollUtils utils{desktop.workspace(), desktop.clock(), desktop.logger()};

    AppRef launch(ProcessID pid, std::string bundleId, std::optional<std::string> executable = std::nullopt) {
        return desktop.simWorkspace().launch({pid, std::move(bundleId), "app", std::move(executable), {}});
    }
    AppRef target(std::int64_t pid) {
        auto e = SimDesktop::makeScroll(-3);
        e->setIntegerValue(platform::field::targetProcessID, pid);
        return utils.targetApplication(*e);
    }
    int pidLookups() { return desktop.simWorkspace().pidLookups(); }
    int scans() { return desktop.simWorkspace().windowListQueries(); }
};

TEST_F(ScrollTarget, WorkspaceIsAskedOnlyWhenTheTargetProcessChanges) {
    const AppRef a = launch(100, "com.example.A");
    const AppRef b = launch(200, "com.example.B");
    EXPECT_EQ(target(100), a);
    EXPECT_EQ(target(100), a);
    EXPECT_EQ(pidLookups(), 1);
    EXPECT_EQ(target(200), b);
    EXPECT_EQ(target(100), a);
    EXPECT_EQ(pidLookups(), 3);

    // A run over one process keeps the answer it had, even once the application has quit.
    desktop.simWorkspace().quit(100);
    EXPECT_EQ(target(100), a);
    EXPECT_EQ(pidLookups(), 3);
    // An unknown process is asked about and answers none.
    EXPECT_EQ(target(300), nullptr);
    EXPECT_EQ(pidLookups(), 4);
}

TEST_F(ScrollTarget, ProcessOneAnswersNoneAndLeavesTheCacheAlone) {
    const AppRef a = launch(100, "com.example.A");
    launch(1, "com.example.launchd");
    EXPECT_EQ(target(100), a);
    EXPECT_EQ(target(1), nullptr);
    EXPECT_EQ(target(100), a) << "the event before process 1 still counts as the previous one";
    EXPECT_EQ(pidLookups(), 1);

    // A value no 32-bit process id can hold must not be taken for process 100.
    EXPECT_NE(target((std::int64_t{1} << 32) + 100), a);
}

TEST_F(ScrollTarget, NoApplicationOrTheDockAnswerWithoutAScan) {
    desktop.simWorkspace().addWindow("LPSpringboard");
    EXPECT_FALSE(utils.isLaunchpadActive(nullptr));
    const AppRef dock = launch(50, "com.apple.dock", ScrollUtils::kDockExecutable);
    EXPECT_TRUE(utils.isLaunchpadActive(dock));
    EXPECT_TRUE(utils.isLaunchpadActive(dock));
    EXPECT_EQ(scans(), 0);

    // Only that exact path counts.
    const AppRef lookalike = launch(51, "com.example.dock", std::string(ScrollUtils::kDockExecutable) + "2");
    EXPECT_TRUE(utils.isLaunchpadActive(lookalike)) << "found by its window";
    EXPECT_EQ(scans(), 1);
}

TEST_F(ScrollTarget, HoveringTheDockDoesNotTurnSmoothingOffElsewhere) {
    const AppRef a = launch(100, "com.example.A");
    const AppRef dock = launch(50, "com.apple.dock", ScrollUtils::kDockExecutable);
    desktop.runUntil(2.0);
    EXPECT_FALSE(utils.isLaunchpadActive(a));  // negative scan, trusted until 3.0
    desktop.runUntil(2.25);
    EXPECT_TRUE(utils.isLaunchpadActive(dock));
    desktop.runUntil(2.5);
    EXPECT_FALSE(utils.isLaunchpadActive(a)) << "no Launchpad window: the Dock answer must not linger";
}

TEST_F(ScrollTarget, NegativeScanIsTrustedForOneSecond) {
    const AppRef a = launch(100, "com.example.A");
    desktop.simWorkspace().addWindow("Document");
    desktop.simWorkspace().addWindow(std::nullopt);
    desktop.runUntil(2.0);
    EXPECT_FALSE(utils.isLaunchpadActive(a));
    EXPECT_EQ(scans(), 1);

    // Launchpad opening within the second is not noticed...
    desktop.simWorkspace().addWindow("LPSpringboard");
    desktop.runUntil(3.0);
    EXPECT_FALSE(utils.isLaunchpadActive(a));
    EXPECT_EQ(scans(), 1);
    // ...but is just after it.
    desktop.runUntil(3.125);
    EXPECT_TRUE(utils.isLaunchpadActive(a));
    EXPECT_EQ(scans(), 2);
}

TEST_F(ScrollTarget, PositiveScanIsNotCached) {
    const AppRef a = launch(100, "com.example.A");
    desktop.simWorkspace().addWindow("Document");
    desktop.simWorkspace().addWindow("LPSpringboard");
    desktop.runUntil(2.0);
    EXPECT_TRUE(utils.isLaunchpadActive(a));
    EXPECT_TRUE(utils.isLaunchpadActive(a));
    EXPECT_EQ(scans(), 2);

    ASSERT_TRUE(desktop.simWorkspace().removeWindow("LPSpringboard"));
    EXPECT_FALSE(utils.isLaunchpadActive(a)) << "a closed Launchpad is seen at the next event";
    EXPECT_EQ(scans(), 3);
}

TEST_F(ScrollTarget, UnreadableWindowListsMeanNoLaunchpad) {
    const AppRef a = launch(100, "com.example.A");
    desktop.simWorkspace().addWindow("LPSpringboard");
    desktop.simWorkspace().setWindowListAvailable(false);
    desktop.runUntil(2.0);
    EXPECT_FALSE(utils.isLaunchpadActive(a));
    EXPECT_EQ(scans(), 1);

    desktop.simWorkspace().setWindowListAvailable(true);
    ASSERT_TRUE(desktop.simWorkspace().removeWindow("LPSpringboard"));
    desktop.simWorkspace().addMalformedWindow();
    desktop.runUntil(4.0);
    EXPECT_FALSE(utils.isLaunchpadActive(a));
    // A malformed entry is skipped, not the end of the walk.
    desktop.simWorkspace().addWindow("LPSpringboard");
    desktop.runUntil(6.0);
    EXPECT_TRUE(utils.isLaunchpadActive(a));
    EXPECT_EQ(scans(), 3);
}

// The frontmost application for the menu, skipping this program itself.
class ActiveAppTest : public testing::Test {
protected:
    SimDesktop desktop;
    AppRef a = desktop.simWorkspace().launch({100, "com.example.A", "A", {}, {}});
    AppRef b = desktop.simWorkspace().launch({200, "com.example.B", "B", {}, {}});
    AppRef self = desktop.simWorkspace().launch({300, "com.Pellmar.Glidemark", "Glidemark", {}, {}});

    // Observers run on the main queue, so let it run after each activation.
    void activate(ProcessID pid) {
        desktop.simWorkspace().activate(pid);
        desktop.scheduler().runDue();
    }
};

TEST_F(ActiveAppTest, StartsFromTheFrontmostAndWaitsForTheMainQueue) {
    desktop.simWorkspace().activate(200);
    desktop.scheduler().runDue();
    ActiveApp active(desktop.workspace());
    EXPECT_EQ(active.activeApp(), b);

    desktop.simWorkspace().activate(100);
    EXPECT_EQ(active.activeApp(), b) << "nothing changes before the main queue runs";
    desktop.scheduler().runDue();
    EXPECT_EQ(active.activeApp(), a);
}

TEST_F(ActiveAppTest, ThisProgramInFrontNamesTheApplicationBeforeEvenWhenReactivated) {
    ActiveApp active(desktop.workspace());
    EXPECT_EQ(active.activeApp(), nullptr);
    activate(100);
    activate(200);
    activate(300);
    activate(300);
    EXPECT_EQ(active.activeApp(), b);

    // Sameness is by bundle identifier: a second instance of B changes nothing either.
    desktop.simWorkspace().launch({201, "com.example.B", "B", {}, {}});
    activate(200);
    activate(201);
    activate(300);
    EXPECT_EQ(active.activeApp(), b);
    EXPECT_EQ(active.activeApp()->processIdentifier, 200);
}

TEST_F(ActiveAppTest, OwnIdentifierComesFromTheWorkspace) {
    desktop.simWorkspace().setMainBundleIdentifier("com.example.B");
    ActiveApp active(desktop.workspace());
    activate(100);
    activate(200);
    EXPECT_EQ(active.activeApp(), a);
    activate(300);
    EXPECT_EQ(active.activeApp(), self);

    // Without a bundle identifier of its own, an application without one counts as itself.
    desktop.simWorkspace().setMainBundleIdentifier(std::nullopt);
    desktop.simWorkspace().launch({400, std::nullopt, "anonymous", {}, {}});
    activate(400);
    EXPECT_EQ(active.activeApp(), self);
}

TEST_F(ActiveAppTest, ActivationAfterDestructionIsHarmless) {
    {
        ActiveApp active(desktop.workspace());
        desktop.simWorkspace().activate(100);  // queued, not yet run
    }
    desktop.scheduler().runDue();
    ActiveApp later(desktop.workspace());
    EXPECT_EQ(later.activeApp(), a);
}

}  // namespace
}  // namespace gm::engine
