// The platform table end to end over a fake mouse: taps on the engine thread,
// posting through the proxy (also from threads racing the tap's switch),
// run loop timers, queues and the display clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <future>
#include <thread>

#include "FakeDevices.h"
#include "platform/linux/LinuxPlatform.h"

namespace gm::test {
namespace {

using platform::EventRef;
using platform::EventType;
using platform::TapProxy;
namespace field = platform::field;

enum class Verdict { Pass, Swallow, Reverse };

struct TapState {
    std::atomic<Verdict> verdict{Verdict::Pass};
    std::atomic<int> calls{0};
    std::atomic<bool> onEngineThread{true};
    std::atomic<TapProxy> proxy{nullptr};
    platform::linux_input::LoopThread* engine = nullptr;
};

EventRef scrollCallback(TapProxy proxy, EventType, const EventRef& event, void* info) {
    auto* s = static_cast<TapState*>(info);
    if (!s->engine->isCurrent()) s->onEngineThread = false;
    s->proxy = proxy;
    ++s->calls;
    if (s->verdict == Verdict::Swallow) return nullptr;
    if (s->verdict == Verdict::Reverse)
        event->setIntegerValue(field::scrollDeltaAxis1, -event->integerValue(field::scrollDeltaAxis1));
    return event;
}

class PlatformTest : public ::testing::Test {
protected:
    FakeMouse mouse{"mouse-1"};
    FakeBackend* backend = nullptr;
    std::unique_ptr<LinuxPlatform> platform;
    TapState state;

    void SetUp() override {
        auto b = std::make_unique<FakeBackend>(mouse);
        backend = b.get();
        platform = std::make_unique<LinuxPlatform>(std::move(b), std::make_unique<FakeMonitor>(mouse.id),
                                                   DeviceHub::Options{0.0});
        state.engine = &platform->engineLoop();
    }

    std::shared_ptr<platform::EventTap> makeTap(
        platform::TapSpec spec = {.mask = platform::eventMaskBit(EventType::ScrollWheel), .callback = scrollCallback}) {
        spec.userInfo = &state;
        std::shared_ptr<platform::EventTap> tap;
        platform->engineLoop().runSync([&] {
            tap = platform->eventTaps().createTap(spec);
            if (tap) platform->currentRunLoop().addSource(tap->createRunLoopSource());
        });
        platform->hub().sync();
        return tap;
    }
    // Everything the clone got once the hub and then the engine have caught up.
    std::vector<Codes> settle() {
        platform->hub().sync();
        platform->engineLoop().runSync([] {});
        return mouse.cloneCodes();
    }
};

TEST_F(PlatformTest, TapDecidesOnTheEngineThreadAndItsAnswerReachesTheClone) {
    auto tap = makeTap();
    ASSERT_TRUE(tap);
    const std::pair<Verdict, std::vector<Codes>> rows[] = {
        {Verdict::Pass, {{{REL_WHEEL_HI_RES, 120}, {REL_WHEEL, 1}, {SYN_REPORT, 0}}}},
        {Verdict::Reverse, {{{REL_WHEEL_HI_RES, -120}, {REL_WHEEL, -1}, {SYN_REPORT, 0}}}},
        {Verdict::Swallow, {}},
    };
    for (const auto& [verdict, expected] : rows) {
        state.verdict = verdict;
        mouse.send({ev(EV_REL, REL_WHEEL, 1), syn()});
        EXPECT_EQ(settle(), expected) << static_cast<int>(verdict);
    }
    EXPECT_EQ(state.calls.load(), 3);
    EXPECT_TRUE(state.onEngineThread.load());

    // What the animation posts through the tick's proxy goes out on the same clone.
    platform::FieldTableEvent frame(EventType::ScrollWheel);
    frame.setDoubleValue(field::scrollPointDeltaAxis1, 45.0);
    auto copy = frame.copy();
    platform->mainQueue().async([&, copy] { platform->eventTaps().postEvent(state.proxy.load(), copy); });
    EXPECT_EQ(settle(), (std::vector<Codes>{{{REL_WHEEL_HI_RES, 60}, {SYN_REPORT, 0}}}));

    // Switched off, or with its source off the loop, the tap lets the notch pass untouched.
    tap->enable(false);
    mouse.send({ev(EV_REL, REL_WHEEL, 1), syn()});
    EXPECT_EQ(settle(), rows[0].second);
    EXPECT_EQ(platform->hub().stats().scrollsPassed, 1u);  // passed by the hub, the engine never saw it
    tap->enable(true);
    auto source = tap->createRunLoopSource();
    platform->engineLoop().runSync([&] { platform->currentRunLoop().removeSource(*source); });
    EXPECT_FALSE(platform->currentRunLoop().containsSource(*source));
    mouse.send({ev(EV_REL, REL_WHEEL, 1), syn()});
    EXPECT_EQ(settle(), rows[0].second);
    EXPECT_EQ(state.calls.load(), 3);

    // Once shut down, a late post goes nowhere.
    platform->shutdown();
    platform->eventTaps().postEvent(state.proxy.load(), copy);
    EXPECT_TRUE(mouse.cloneFrames().empty());
}

TEST_F(PlatformTest, NoTapWithoutAccessAndListenOnlyLeftClicks) {
    backend->access = false;
    EXPECT_FALSE(platform->inputAccess().isTrusted());
    EXPECT_FALSE(makeTap());
    backend->access = true;
    EXPECT_TRUE(platform->inputAccess().isTrusted());

    const auto tap = makeTap({.placement = platform::TapPlacement::TailAppend,
                              .options = platform::TapOptions::ListenOnly,
                              .mask = platform::eventMaskBit(EventType::LeftMouseDown),
                              .callback = [](TapProxy, EventType type, const EventRef& e, void* info) -> EventRef {
                                  if (type == EventType::LeftMouseDown) ++static_cast<TapState*>(info)->calls;
                                  return e;
                              }});
    ASSERT_TRUE(tap);
    mouse.send({ev(EV_KEY, BTN_LEFT, 1), syn()});
    EXPECT_EQ(settle().size(), 1u);  // forwarded regardless of the listener
    EXPECT_EQ(state.calls.load(), 1);
}

// The animation's own path: display link -> serial queue -> main queue -> post,
// with the mouse pulled out halfway.
struct Animation {
    LinuxPlatform* platform = nullptr;
    std::unique_ptr<platform::DispatchQueue> queue;
    std::atomic<TapProxy> proxy{nullptr};
    std::atomic<int> frames{0};
};

TEST_F(PlatformTest, AnUnplugMidAnimationStopsItsPostsWithoutHarm) {
    auto tap = makeTap();
    state.verdict = Verdict::Swallow;
    mouse.send({ev(EV_REL, REL_WHEEL, -1), syn()});
    settle();
    ASSERT_NE(state.proxy.load(), nullptr);

    Animation anim;
    anim.platform = platform.get();
    anim.queue = platform->createSerialQueue("animation");
    anim.proxy = state.proxy.load();
    auto link = platform->displays().createDisplayLink(1);
    link->setOutputCallback(
        [](void* info) {
            auto* a = static_cast<Animation*>(info);
            a->queue->async([a] {
                auto event = std::make_shared<platform::FieldTableEvent>(EventType::ScrollWheel);
                event->setDoubleValue(field::scrollPointDeltaAxis1, -6.0);
                a->platform->mainQueue().async([a, event] { a->platform->eventTaps().postEvent(a->proxy, event); });
                ++a->frames;
            });
        },
        &anim);
    link->start();
    while (anim.frames.load() < 5) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto device = platform->hub().devices().at(0);
    mouse.unplug();
    platform->hub().sync();
    EXPECT_FALSE(platform->hub().post(device, -6.0, 0));  // the clone is gone with its mouse
    EXPECT_EQ(mouse.liveClones.load(), 0);
    const int atUnplug = anim.frames.load();
    while (anim.frames.load() < atUnplug + 5) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    link->stop();
    anim.queue.reset();  // a frame in progress finishes; nothing queues more once the link stopped
    EXPECT_GE(settle().size(), 1u);  // frames before the unplug arrived
}

// Many frames through the fake device path while another thread posts
// animation frames and the tap is switched off and on: no frame may be lost,
// none may be torn, and (under ThreadSanitizer) nothing may race.
TEST_F(PlatformTest, TicksPostsAndTapTogglesLoseAndTearNothing) {
    constexpr int kFrames = 4000;
    auto tap = makeTap();
    state.verdict = Verdict::Swallow;
    ASSERT_EQ(platform->hub().devices().size(), 1u);
    const TapProxy proxy = platform::linux_input::LinuxEventTaps::proxyFor(platform->hub().devices().front());

    CloneReader reader(mouse);

    constexpr int kPosts = 3000;
    std::atomic<bool> feeding{true};
    std::thread poster([&] {
        auto event = std::make_shared<platform::FieldTableEvent>(EventType::ScrollWheel);
        event->setDoubleValue(field::scrollPointDeltaAxis1, 7.0);
        for (int i = 0; i < kPosts; ++i) {
            platform->eventTaps().postEvent(proxy, event);
            if (i % 8 == 0) std::this_thread::yield();
        }
    });
    std::thread toggler([&] {
        auto link = platform->displays().createDisplayLink(1);
        link->setOutputCallback([](void*) {}, nullptr);
        for (bool on = false; feeding.load(); on = !on) {
            tap->enable(on);
            on ? link->start() : link->stop();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        tap->enable(true);
        link->stop();
    });

    for (int i = 1; i <= kFrames; ++i)
        mouse.send(i % 4 ? Frame{ev(EV_REL, REL_X, i), ev(EV_REL, REL_Y, -i), syn()} : Frame{ev(EV_REL, REL_WHEEL, 1), syn()});
    poster.join();
    feeding = false;
    toggler.join();
    platform->hub().sync();
    platform->engineLoop().runSync([] {});
    const auto emitted = platform->hub().emittedUnits(platform->hub().devices().front());
    const auto stats = platform->hub().stats();
    platform->shutdown();
    const std::vector<Frame> frames = reader.stop();

    EXPECT_EQ(checkFrames(frames)[REL_X], kFrames - kFrames / 4);
    int passedNotches = 0;
    long hiRes = 0;  // from posts only
    for (const Frame& f : frames) {
        if (f.front().code != REL_WHEEL_HI_RES) continue;
        if (f.front().value == 120) ++passedNotches;  // the tap was off when the hub or the engine saw the notch
        else hiRes += f.front().value;  // posts move 9 or 10 units a frame (60 at a burst start)
    }
    EXPECT_EQ(state.calls.load() + passedNotches, kFrames / 4);
    EXPECT_EQ(stats.scrollsTapped + stats.scrollsPassed, static_cast<std::uint64_t>(kFrames / 4));
    ASSERT_TRUE(emitted.has_value());
    EXPECT_EQ(hiRes, (*emitted)[0]);
    // Every posted point arrived: 7 points = 28/3 units per post, up to half a notch of start lead.
    const double posted = kPosts * 7.0 * 120.0 / 90.0;
    EXPECT_GE(static_cast<double>(hiRes), posted - 0.5);
    EXPECT_LE(static_cast<double>(hiRes), posted + 60.5);
}

// ---- run loop, queues, display clock -------------------------------------------------

TEST(EngineLoop, TimersRepeatUntilInvalidatedOneShotsFireOnceAndBlocksRunInOrder) {
    platform::linux_input::SerialQueue queue("test-queue");
    auto& loop = queue.loop();
    std::atomic<int> repeats{0}, once{0};
    std::promise<void> thirdTick;
    std::shared_ptr<platform::Timer> timer;
    loop.runSync([&] {
        timer = loop.scheduleTimer(0.002, true, [&] {
            if (++repeats == 3) {
                timer->invalidate();
                thirdTick.set_value();
            }
        });
    });
    auto oneShot = loop.scheduleTimer(0.001, false, [&] { ++once; });
    thirdTick.get_future().wait();
    std::promise<void> later;
    loop.postAfter(0.02, [&] { later.set_value(); });
    later.get_future().wait();
    EXPECT_EQ(repeats.load(), 3);
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(once.load(), 1);
    EXPECT_FALSE(oneShot->isValid());

    // Queued blocks run in order, on the queue's own thread.
    std::vector<int> order;
    std::atomic<bool> elsewhere{true};
    for (int i = 0; i < 100; ++i) {
        queue.async([&, i] {
            order.push_back(i);
            if (!loop.isCurrent()) elsewhere = false;
        });
    }
    loop.runSync([] {});
    EXPECT_EQ(order.size(), 100u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_TRUE(elsewhere.load());

    // A frame's block never overtakes one queued before it while the queue's
    // thread is held up (the first tick's push, then its first frame).
    std::promise<void> release;
    loop.post([held = release.get_future().share()] { held.wait(); });
    order.clear();
    queue.async([&] { order.push_back(1); });
    {
        platform::linux_input::FrameTimeScope frame(1.0);
        queue.async([&] { order.push_back(2); });
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    release.set_value();
    loop.runSync([] {});
}

struct LinkProbe {
    std::atomic<int> ticks{0}, stopAt{0};  // stopAt: the tick whose callback stops the link
    std::atomic<bool> afterStop{false}, stopped{false};
    platform::DisplayLink* link = nullptr;
};

TEST(DisplayClock, TicksOnItsOwnThreadAndNothingRunsAfterStopReturns) {
    platform::linux_input::DefaultDisplays displays;
    std::vector<platform::Screen> screens;
    displays.screens(screens);
    ASSERT_FALSE(screens.empty());
    ASSERT_TRUE(screens[0].frame.contains({0, 0}));  // where events of unknown position land
    auto link = displays.createDisplayLink(*screens[0].displayID);
    ASSERT_TRUE(link);
    EXPECT_FALSE(displays.createDisplayLink(999));

    LinkProbe probe;
    probe.link = link.get();
    link->setOutputCallback(
        [](void* info) {
            auto* p = static_cast<LinkProbe*>(info);
            if (p->stopped.load()) p->afterStop = true;
            if (++p->ticks == p->stopAt.load()) p->link->stop();
        },
        &probe);
    for (int round = 0; round < 5; ++round) {
        link->start();
        EXPECT_TRUE(link->isRunning());
        const int before = probe.ticks.load();
        while (probe.ticks.load() < before + 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        link->stop();
        probe.stopped = true;
        EXPECT_FALSE(link->isRunning());
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        probe.stopped = false;
    }
    EXPECT_FALSE(probe.afterStop.load());

    // Stopped from inside its own callback, it ends there.
    probe.stopAt = probe.ticks.load() + 3;
    link->start();
    while (link->isRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(probe.ticks.load(), probe.stopAt.load());
}

// Ticks fall on the display's own refreshes where the desktop says when they
// are; the frame queued from a tick runs on the clock's thread and sees the
// tick's time, not the time it happens to run at.
TEST(DisplayClock, TicksOnTheDisplaysRefreshesAndItsFramesSeeTheirTime) {
    using namespace platform::linux_input;
    const std::int64_t anchor = static_cast<std::int64_t>(monotonicSeconds() * 1e9) - 3'300'000;
    ThreadDisplayLink link(100.0, [anchor] { return std::optional<std::int64_t>(anchor); });
    SerialQueue queue("frames");
    struct Probe {
        ThreadDisplayLink* link;
        SerialQueue* queue;
        std::atomic<int> ticks{0}, offGrid{0}, wrongTime{0}, elsewhere{0};
        std::int64_t anchor;
    } probe{&link, &queue, {}, {}, {}, {}, anchor};
    link.setOutputCallback(
        [](void* info) {
            auto* p = static_cast<Probe*>(info);
            const std::int64_t due = p->link->currentDeadline();
            if ((due - p->anchor) % 10'000'000 != 2'500'000) ++p->offGrid;  // a quarter period after
            const auto thread = std::this_thread::get_id();
            p->queue->async([p, due, thread] {
                if (std::llround(currentFrameTime() * 1e9) != due) ++p->wrongTime;
                if (std::this_thread::get_id() != thread) ++p->elsewhere;
                ++p->ticks;
            });
        },
        &probe);
    link.start();
    while (probe.ticks.load() < 10) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    link.stop();
    EXPECT_EQ(probe.offGrid.load(), 0);
    EXPECT_EQ(probe.wrongTime.load(), 0);
    EXPECT_EQ(probe.elsewhere.load(), 0) << "a frame is one wake-up: it runs where it was queued";
}

}  // namespace
}  // namespace gm::test
