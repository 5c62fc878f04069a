// Modifier keys read from keyboard nodes: the state kept across keyboards,
// and the reader that refuses any keyboard the kernel cannot filter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "DesktopTestSupport.h"
#include "platform/Event.h"
#include "platform/linux/desktop/EvdevModifiers.h"

namespace ld = gm::platform::linux_desktop;
namespace flag = gm::platform::flag;
using gm::testing::expectFlagsChanged;
using gm::testing::FlagChanges;

namespace {

constexpr int kPress = 1, kRelease = 0, kRepeat = 2, kUnplug = -1;
constexpr auto kAll = flag::command | flag::shift | flag::alternate | flag::control;

struct KeyRow {
    int keyboard;
    unsigned code;
    int value;  // or kUnplug: the keyboard goes away
};

}  // namespace

TEST(KeyboardModifierState, Timelines) {
    const struct {
        const char* what;
        std::vector<KeyRow> keys;
        FlagChanges changes;  // key code and flags after each change
    } cases[] = {
        {"each side is its own key code",
         {{0, KEY_LEFTMETA, kPress}, {0, KEY_RIGHTMETA, kPress}, {0, KEY_LEFTSHIFT, kPress}, {0, KEY_RIGHTSHIFT, kPress},
          {0, KEY_LEFTALT, kPress}, {0, KEY_RIGHTALT, kPress}, {0, KEY_LEFTCTRL, kPress}, {0, KEY_RIGHTCTRL, kPress}},
         {{55, flag::command}, {54, flag::command}, {56, flag::command | flag::shift}, {60, flag::command | flag::shift},
          {58, kAll & ~flag::control}, {61, kAll & ~flag::control}, {59, kAll}, {62, kAll}}},
        {"left and right are separate keys of one flag",
         {{1, KEY_LEFTCTRL, kPress}, {2, KEY_RIGHTCTRL, kPress}, {1, KEY_LEFTCTRL, kRelease}, {2, KEY_RIGHTCTRL, kRelease}},
         {{59, flag::control}, {62, flag::control}, {59, flag::control}, {62, 0}}},
        {"repeats, stray releases and other keys change nothing",
         {{1, KEY_LEFTALT, kRelease}, {1, KEY_A, kPress}, {1, KEY_CAPSLOCK, kPress}, {1, KEY_LEFTALT, kPress},
          {1, KEY_LEFTALT, kRepeat}, {1, KEY_LEFTALT, kPress}},
         {{58, flag::alternate}}},
        {"an unplugged keyboard releases only what nobody else holds, in the order pressed",
         {{1, KEY_LEFTSHIFT, kPress}, {1, KEY_LEFTMETA, kPress}, {2, KEY_LEFTSHIFT, kPress}, {2, KEY_RIGHTALT, kPress},
          {1, 0, kUnplug}, {2, 0, kUnplug}},
         {{56, flag::shift}, {55, flag::shift | flag::command}, {61, kAll & ~flag::control},
          {55, flag::shift | flag::alternate}, {56, flag::alternate}, {61, 0}}},
    };
    for (const auto& c : cases) {
        ld::KeyboardModifierState s;
        FlagChanges got;
        for (const KeyRow& k : c.keys) {
            std::vector<ld::KeyboardModifierState::Change> changes;
            if (k.value == kUnplug) {
                changes = s.forget(k.keyboard);
            } else if (const auto change = s.key(k.keyboard, k.code, k.value)) {
                changes.push_back(*change);
            }
            for (const auto& change : changes) got.emplace_back(change.key.keyCode, change.flags);
        }
        EXPECT_EQ(got, c.changes) << c.what;
        EXPECT_EQ(s.flags(), c.changes.back().second) << c.what;
    }
}

// ---- the reader, on pipes ---------------------------------------------------------------

namespace {

// Pipes stand for keyboards; the test writes the kernel's events into them.
class FakeKeyboards final : public ld::KeyboardDevices {
public:
    struct Keyboard {
        int read = -1, write = -1;
        bool maskWorks = true;
    };
    explicit FakeKeyboards(std::vector<bool> maskWorks) {
        for (const bool works : maskWorks) {
            int p[2];
            EXPECT_EQ(::pipe2(p, O_CLOEXEC | O_NONBLOCK), 0);
            keyboards.push_back({p[0], p[1], works});
        }
    }
    ~FakeKeyboards() override {
        for (const auto& k : keyboards) {
            ::close(k.read);
            if (k.write >= 0) ::close(k.write);
        }
    }
    std::vector<int> open() override {
        std::vector<int> fds;
        for (const auto& k : keyboards) fds.push_back(k.read);
        return fds;
    }
    bool restrictToModifiers(int fd) override {
        std::lock_guard lock(mutex);
        restricted.push_back(fd);
        for (const auto& k : keyboards)
            if (k.read == fd) return k.maskWorks;
        return false;
    }
    // Left open, so the test can see what was never read.
    void close(int fd) override {
        std::lock_guard lock(mutex);
        closed.push_back(fd);
    }

    std::mutex mutex;
    std::vector<Keyboard> keyboards;
    std::vector<int> restricted, closed;
};

void send(int fd, std::uint16_t type, std::uint16_t code, std::int32_t value) {
    const input_event ev{{}, type, code, value};
    ASSERT_EQ(::write(fd, &ev, sizeof ev), static_cast<ssize_t>(sizeof ev));
}

void key(int fd, std::uint16_t code, std::int32_t value) {
    send(fd, EV_KEY, code, value);
    send(fd, EV_SYN, SYN_REPORT, 0);
}

// Keyboards are made first, so a test may type before the reader starts.
class EvdevModifiers : public ::testing::Test {
protected:
    FakeKeyboards& keyboards(std::vector<bool> maskWorks) {
        owned_ = std::make_unique<FakeKeyboards>(std::move(maskWorks));
        return *owned_;
    }
    std::size_t start() {
        modifiers = std::make_unique<ld::EvdevModifiers>(std::move(owned_));
        modifiers->setCallback([&](const gm::platform::EventRef& e) {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
            cv_.notify_all();
        });
        return modifiers->start();
    }
    bool waitFor(std::size_t n) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return events_.size() >= n; });
    }
    // Stops the reader and checks everything it reported.
    void stopAndExpect(const FlagChanges& expected) {
        modifiers->stop();
        std::lock_guard lock(mutex_);
        expectFlagsChanged(events_, expected);
    }
    std::unique_ptr<ld::EvdevModifiers> modifiers;

private:
    std::unique_ptr<FakeKeyboards> owned_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<gm::platform::EventRef> events_;
};

}  // namespace

TEST_F(EvdevModifiers, KeyboardThatCannotBeFilteredIsClosedUnread) {
    auto& fake = keyboards({false, true, false});
    const auto refused1 = fake.keyboards[0], kept = fake.keyboards[1], refused2 = fake.keyboards[2];
    // Typed before and after start: none of it may be taken from the refused ones.
    key(refused1.write, KEY_LEFTCTRL, 1);
    ASSERT_EQ(start(), 1u);
    {
        std::lock_guard lock(fake.mutex);
        EXPECT_EQ(fake.restricted, (std::vector<int>{refused1.read, kept.read, refused2.read}));
        EXPECT_EQ(fake.closed, (std::vector<int>{refused1.read, refused2.read}));
    }
    key(refused2.write, KEY_LEFTALT, 1);
    key(kept.write, KEY_RIGHTSHIFT, 1);
    ASSERT_TRUE(waitFor(1));
    stopAndExpect({{60, flag::shift}});
    // Both refused pipes still hold every byte written to them.
    for (const auto& k : {refused1, refused2}) {
        std::array<input_event, 4> left{};
        EXPECT_EQ(::read(k.read, left.data(), sizeof left), static_cast<ssize_t>(2 * sizeof(input_event)));
    }
}

TEST_F(EvdevModifiers, UnpluggedKeyboardLetsGoOfItsKeysAndStopEndsTheThread) {
    auto& fake = keyboards({true});
    ASSERT_EQ(start(), 1u);
    key(fake.keyboards[0].write, KEY_RIGHTCTRL, 1);
    ASSERT_TRUE(waitFor(1));
    ::close(std::exchange(fake.keyboards[0].write, -1));  // the node goes away
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(modifiers->flags(), 0u);
    stopAndExpect({{62, flag::control}, {62, 0}});
    modifiers->stop();
}

TEST_F(EvdevModifiers, LostEventsLetGoOfTheKeyboardsKeysUntilTheNextReport) {
    const int fd = keyboards({true}).keyboards[0].write;
    ASSERT_EQ(start(), 1u);
    key(fd, KEY_LEFTMETA, 1);
    send(fd, EV_SYN, SYN_DROPPED, 0);
    send(fd, EV_KEY, KEY_LEFTCTRL, 1);  // part of the broken report: not trusted
    send(fd, EV_SYN, SYN_REPORT, 0);
    key(fd, KEY_LEFTALT, 1);
    ASSERT_TRUE(waitFor(3));
    stopAndExpect({{55, flag::command}, {55, 0}, {58, flag::alternate}});
}

TEST(UdevKeyboards, RefusesToRestrictWhatIsNoEventDevice) {
    int p[2];
    ASSERT_EQ(::pipe2(p, O_CLOEXEC), 0);
    ld::UdevKeyboards keyboards;
    EXPECT_FALSE(keyboards.restrictToModifiers(p[0]));  // so start() closes it unread
    ::close(p[0]);
    ::close(p[1]);
}
