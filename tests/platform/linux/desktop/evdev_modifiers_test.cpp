// Modifier keys read from keyboard nodes: the state kept across keyboards,
// and the reader that refuses any keyboard the kernel cannot filter.
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>

#include "DesktopTestSupport.h"
#include "platform/linux/desktop/EvdevModifiers.h"

namespace ld = gm::platform::linux_desktop;
namespace flag = gm::platform::flag;
using gm::testing::expectFlagsChanged;
using gm::testing::FlagChanges;

namespace {

constexpr int kPress = 1, kRelease = 0, kRepeat = 2, kUnplug = -1;
constexpr auto kAll = flag::command | flag::shift | flag::alternate | flag::control;

TEST(KeyboardModifierState, Timelines) {
    const struct {
        const char* what;
        std::vector<std::tuple<int, unsigned, int>> keys;  // keyboard, key code, value (or kUnplug: it goes away)
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
        for (const auto& [keyboard, code, value] : c.keys) {
            auto changes = value == kUnplug ? s.forget(keyboard) : std::vector<ld::KeyboardModifierState::Change>{};
            if (const auto change = value == kUnplug ? std::nullopt : s.key(keyboard, code, value))
                changes.push_back(*change);
            for (const auto& change : changes) got.emplace_back(change.key.keyCode, change.flags);
        }
        EXPECT_EQ(got, c.changes) << c.what;
        EXPECT_EQ(s.flags(), c.changes.back().second) << c.what;
    }
}

// Pipes stand for keyboards; the test writes the kernel's events into them.
struct FakeKeyboards final : ld::KeyboardDevices {
    explicit FakeKeyboards(const std::vector<bool>& works) : maskWorks(works) {
        for (std::size_t i = 0; i < works.size(); ++i) {
            int p[2];
            EXPECT_EQ(::pipe2(p, O_CLOEXEC | O_NONBLOCK), 0);
            reads.push_back(p[0]);
            writes.push_back(p[1]);
        }
    }
    ~FakeKeyboards() override {
        for (const int fd : reads) ::close(fd);
        for (const int fd : writes)
            if (fd >= 0) ::close(fd);
    }
    std::vector<int> open() override { return reads; }
    bool restrictToModifiers(int fd) override {
        std::lock_guard lock(mutex);
        restricted.push_back(fd);
        const auto it = std::find(reads.begin(), reads.end(), fd);
        return it != reads.end() && maskWorks[static_cast<std::size_t>(it - reads.begin())];
    }
    // Left open, so the test can see what was never read.
    void close(int fd) override {
        std::lock_guard lock(mutex);
        closed.push_back(fd);
    }

    std::mutex mutex;
    const std::vector<bool> maskWorks;
    std::vector<int> reads, writes, restricted, closed;
};

void send(int fd, std::uint16_t type, std::uint16_t code, std::int32_t value) {
    const input_event ev{{}, type, code, value};
    ASSERT_EQ(::write(fd, &ev, sizeof ev), static_cast<ssize_t>(sizeof ev));
}

void key(int fd, std::uint16_t code, std::int32_t value) {
    send(fd, EV_KEY, code, value);
    send(fd, EV_SYN, SYN_REPORT, 0);
}

// The reader of the test's keyboards, made first so that a test may type before it starts.
class EvdevModifiers : public ::testing::Test {
protected:
    std::size_t start(std::unique_ptr<FakeKeyboards> keyboards) {
        modifiers = std::make_unique<ld::EvdevModifiers>(std::move(keyboards));
        modifiers->setCallback([&](const gm::platform::EventRef& e) {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
        });
        return modifiers->start();
    }
    bool waitFor(std::size_t n) {
        const auto reported = [&] {
            std::lock_guard lock(mutex_);
            return events_.size() >= n;
        };
        return gm::testing::waitFor(reported, std::chrono::seconds(5));
    }
    // Stops the reader and checks everything it reported.
    void stopAndExpect(const FlagChanges& expected) {
        modifiers->stop();
        std::lock_guard lock(mutex_);
        expectFlagsChanged(events_, expected);
    }
    std::unique_ptr<ld::EvdevModifiers> modifiers;

private:
    std::mutex mutex_;
    std::vector<gm::platform::EventRef> events_;
};

}  // namespace

TEST_F(EvdevModifiers, KeyboardThatCannotBeFilteredIsClosedUnread) {
    auto owned = std::make_unique<FakeKeyboards>(std::vector{false, true, false});
    auto& fake = *owned;  // the first and the last are refused
    // Typed before and after start: none of it may be taken from the refused ones.
    key(fake.writes[0], KEY_LEFTCTRL, 1);
    ASSERT_EQ(start(std::move(owned)), 1u);
    {
        std::lock_guard lock(fake.mutex);
        EXPECT_EQ(fake.restricted, fake.reads);
        EXPECT_EQ(fake.closed, (std::vector<int>{fake.reads[0], fake.reads[2]}));
    }
    key(fake.writes[2], KEY_LEFTALT, 1);
    key(fake.writes[1], KEY_RIGHTSHIFT, 1);
    ASSERT_TRUE(waitFor(1));
    stopAndExpect({{60, flag::shift}});
    // Both refused pipes still hold every byte written to them.
    for (const int fd : {fake.reads[0], fake.reads[2]}) {
        std::array<input_event, 4> left{};
        EXPECT_EQ(::read(fd, left.data(), sizeof left), static_cast<ssize_t>(2 * sizeof(input_event)));
    }
}

TEST_F(EvdevModifiers, LostEventsAndUnplugLetGoOfTheKeyboardsKeys) {
    auto owned = std::make_unique<FakeKeyboards>(std::vector{true});
    auto& fake = *owned;
    const int fd = fake.writes[0];
    ASSERT_EQ(start(std::move(owned)), 1u);
    key(fd, KEY_LEFTMETA, 1);
    send(fd, EV_SYN, SYN_DROPPED, 0);
    send(fd, EV_KEY, KEY_LEFTCTRL, 1);  // part of the broken report: not trusted
    send(fd, EV_SYN, SYN_REPORT, 0);
    key(fd, KEY_LEFTALT, 1);
    ASSERT_TRUE(waitFor(3));
    ::close(std::exchange(fake.writes[0], -1));  // the node goes away
    ASSERT_TRUE(waitFor(4));
    EXPECT_EQ(modifiers->flags(), 0u);
    stopAndExpect({{55, flag::command}, {55, 0}, {58, flag::alternate}, {58, 0}});
    modifiers->stop();  // a second stop does nothing
}

TEST(UdevKeyboards, RefusesToRestrictWhatIsNoEventDevice) {
    const FakeKeyboards pipe({true});
    EXPECT_FALSE(ld::UdevKeyboards().restrictToModifiers(pipe.reads[0]));  // so start() closes it unread
}
