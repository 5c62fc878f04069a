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

#include "platform/Event.h"
#include "platform/linux/desktop/EvdevModifiers.h"

namespace ld = gm::platform::linux_desktop;
namespace flag = gm::platform::flag;
using Change = ld::KeyboardModifierState::Change;

namespace {

constexpr int kPress = 1, kRelease = 0, kRepeat = 2;

std::uint16_t codeOf(const std::optional<Change>& c) { return c ? c->key.keyCode : 0; }

}  // namespace

TEST(KeyboardModifierState, MapsEachSideToItsKeyCode) {
    ld::KeyboardModifierState s;
    const std::pair<unsigned, std::uint16_t> keys[] = {{KEY_LEFTMETA, 55}, {KEY_RIGHTMETA, 54}, {KEY_LEFTSHIFT, 56},
                                                       {KEY_RIGHTSHIFT, 60}, {KEY_LEFTALT, 58}, {KEY_RIGHTALT, 61},
                                                       {KEY_LEFTCTRL, 59}, {KEY_RIGHTCTRL, 62}};
    for (const auto& [kernelCode, code] : keys) EXPECT_EQ(codeOf(s.key(0, kernelCode, kPress)), code) << kernelCode;
    EXPECT_EQ(s.flags(), flag::command | flag::shift | flag::alternate | flag::control);
}

TEST(KeyboardModifierState, LeftAndRightAreSeparateKeysOfOneFlag) {
    ld::KeyboardModifierState s;
    EXPECT_EQ(s.key(1, KEY_LEFTCTRL, kPress)->flags, flag::control);
    auto c = s.key(2, KEY_RIGHTCTRL, kPress);
    ASSERT_TRUE(c);  // another key, so its own event even though the flag is unchanged
    EXPECT_EQ(c->key.keyCode, 62);
    EXPECT_EQ(s.key(1, KEY_LEFTCTRL, kRelease)->flags, flag::control);
    EXPECT_EQ(s.key(2, KEY_RIGHTCTRL, kRelease)->flags, 0u);
}

TEST(KeyboardModifierState, IgnoresRepeatsStrayReleasesAndOtherKeys) {
    ld::KeyboardModifierState s;
    EXPECT_FALSE(s.key(1, KEY_LEFTALT, kRelease));  // never seen pressed
    EXPECT_FALSE(s.key(1, KEY_A, kPress));
    EXPECT_FALSE(s.key(1, KEY_CAPSLOCK, kPress));
    ASSERT_TRUE(s.key(1, KEY_LEFTALT, kPress));
    EXPECT_FALSE(s.key(1, KEY_LEFTALT, kRepeat));
    EXPECT_FALSE(s.key(1, KEY_LEFTALT, kPress));
    EXPECT_EQ(s.flags(), flag::alternate);
}

TEST(KeyboardModifierState, UnpluggedKeyboardReleasesOnlyWhatNobodyElseHolds) {
    ld::KeyboardModifierState s;
    s.key(1, KEY_LEFTSHIFT, kPress);
    s.key(1, KEY_LEFTMETA, kPress);
    s.key(2, KEY_LEFTSHIFT, kPress);
    s.key(2, KEY_RIGHTALT, kPress);
    const auto released = s.forget(1);
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].key.keyCode, 55);
    EXPECT_EQ(released[0].flags, flag::shift | flag::alternate);
    EXPECT_EQ(s.flags(), flag::shift | flag::alternate);
    const auto rest = s.forget(2);
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest.back().flags, 0u);
    EXPECT_EQ(s.flags(), 0u);
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
    input_event ev{};
    ev.type = type;
    ev.code = code;
    ev.value = value;
    ASSERT_EQ(::write(fd, &ev, sizeof ev), static_cast<ssize_t>(sizeof ev));
}

void key(int fd, std::uint16_t code, std::int32_t value) {
    send(fd, EV_KEY, code, value);
    send(fd, EV_SYN, SYN_REPORT, 0);
}

struct Received {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::pair<std::int64_t, std::uint64_t>> events;  // key code, flags

    void add(const gm::platform::EventRef& e) {
        std::lock_guard lock(mutex);
        EXPECT_EQ(e->type(), gm::platform::EventType::FlagsChanged);
        events.emplace_back(e->integerValue(gm::platform::field::keyboardKeycode), e->flags());
        cv.notify_all();
    }
    bool waitFor(std::size_t n) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(5), [&] { return events.size() >= n; });
    }
};

// Keyboards are made first, so a test may type before the reader starts.
class EvdevModifiers : public ::testing::Test {
protected:
    FakeKeyboards& keyboards(std::vector<bool> maskWorks) {
        owned_ = std::make_unique<FakeKeyboards>(std::move(maskWorks));
        return *owned_;
    }
    std::size_t start() {
        modifiers = std::make_unique<ld::EvdevModifiers>(std::move(owned_));
        modifiers->setCallback([&](const gm::platform::EventRef& e) { got.add(e); });
        return modifiers->start();
    }
    Received got;
    std::unique_ptr<ld::EvdevModifiers> modifiers;

private:
    std::unique_ptr<FakeKeyboards> owned_;
};

}  // namespace

TEST_F(EvdevModifiers, FollowsModifiersAcrossKeyboards) {
    auto& fake = keyboards({true, true});
    const int a = fake.keyboards[0].write, b = fake.keyboards[1].write;
    ASSERT_EQ(start(), 2u);

    key(a, KEY_LEFTSHIFT, 1);
    ASSERT_TRUE(got.waitFor(1));
    key(b, KEY_LEFTSHIFT, 1);  // already down on the other keyboard: no event
    key(b, KEY_A, 1);          // the kernel keeps these out; should one slip through, it changes nothing
    key(b, KEY_RIGHTMETA, 1);
    ASSERT_TRUE(got.waitFor(2));
    // Whichever keyboard is read first, shift ends only with the second release.
    key(a, KEY_LEFTSHIFT, 0);
    key(b, KEY_LEFTSHIFT, 0);
    ASSERT_TRUE(got.waitFor(3));
    modifiers->stop();

    const std::vector<std::pair<std::int64_t, std::uint64_t>> expected = {
        {56, flag::shift}, {54, flag::shift | flag::command}, {56, flag::command}};
    EXPECT_EQ(got.events, expected);
    std::lock_guard lock(fake.mutex);
    EXPECT_EQ(fake.closed.size(), 2u);
}

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
    ASSERT_TRUE(got.waitFor(1));
    modifiers->stop();
    EXPECT_EQ(got.events, (std::vector<std::pair<std::int64_t, std::uint64_t>>{{60, flag::shift}}));
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
    ASSERT_TRUE(got.waitFor(1));
    ::close(fake.keyboards[0].write);  // the node goes away
    fake.keyboards[0].write = -1;
    ASSERT_TRUE(got.waitFor(2));
    EXPECT_EQ(got.events.back(), (std::pair<std::int64_t, std::uint64_t>{62, 0}));
    EXPECT_EQ(modifiers->flags(), 0u);
    modifiers->stop();
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
    ASSERT_TRUE(got.waitFor(3));
    modifiers->stop();
    const std::vector<std::pair<std::int64_t, std::uint64_t>> expected = {
        {55, flag::command}, {55, 0}, {58, flag::alternate}};
    EXPECT_EQ(got.events, expected);
}

TEST(UdevKeyboards, RefusesToRestrictWhatIsNoEventDevice) {
    int p[2];
    ASSERT_EQ(::pipe2(p, O_CLOEXEC), 0);
    ld::UdevKeyboards keyboards;
    EXPECT_FALSE(keyboards.restrictToModifiers(p[0]));  // so start() closes it unread
    ::close(p[0]);
    ::close(p[1]);
}
