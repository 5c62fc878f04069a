// Glidemark on Linux's own input stack: uinput mice as sources, the real
// program running as an ordinary user who has only the access the package's
// udev rule grants, and libinput reading the twins the way a compositor does.
// Needs a kernel with uinput and a running udev, and changes the machine's udev
// rules and users: it runs inside scripts/vm-run.sh (ctest label "kernel").
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <libinput.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kUser = "gmseat";
constexpr const char* kHome = "/tmp/gm-seat";
constexpr auto kAnimation = 900ms;  // then until the scroll has been still for kQuiet
constexpr auto kQuiet = 400ms;

void sleepFor(Clock::duration d) { std::this_thread::sleep_for(d); }

template <typename F>
bool waitUntil(F done, Clock::duration timeout) {
    for (const auto end = Clock::now() + timeout; !done(); sleepFor(20ms))
        if (Clock::now() > end) return false;
    return true;
}

std::string readFile(const fs::path& path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }

int run(const std::string& command) { return std::system(command.c_str()); }

// ---- Source mice ---------------------------------------------------------------------

struct MouseSpec {
    const char* name;
    bool hiRes;  // sends REL_*_HI_RES with each notch, as most current mice do
};
constexpr MouseSpec kNotched{"gm-test notched mouse", false};
constexpr MouseSpec kHiRes{"gm-test hi-res mouse", true};

class SourceMouse {
public:
    explicit SourceMouse(const MouseSpec& spec) : spec_(spec), uinput_(nullptr, libevdev_uinput_destroy) {
        struct libevdev* dev = libevdev_new();
        libevdev_set_name(dev, spec.name);
        libevdev_set_id_bustype(dev, BUS_USB);
        // Enabling a code enables its type too.
        const auto enable = [dev](unsigned type, std::initializer_list<unsigned> codes) {
            for (unsigned code : codes) libevdev_enable_event_code(dev, type, code, nullptr);
        };
        enable(EV_REL, {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL});
        if (spec.hiRes) enable(EV_REL, {REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES});
        enable(EV_KEY, {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE});
        struct libevdev_uinput* made = nullptr;
        const int rc = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &made);
        libevdev_free(dev);
        uinput_.reset(made);
        if (rc != 0) ADD_FAILURE() << "cannot create " << spec.name << ": " << std::strerror(-rc);
    }

    std::string node() const { return uinput_ ? libevdev_uinput_get_devnode(uinput_.get()) : ""; }
    void unplug() { uinput_.reset(); }
    void emit(std::initializer_list<std::array<int, 3>> events) {
        for (const auto& [type, code, value] : events)
            libevdev_uinput_write_event(uinput_.get(), static_cast<unsigned>(type), static_cast<unsigned>(code), value);
        libevdev_uinput_write_event(uinput_.get(), EV_SYN, SYN_REPORT, 0);
    }
    // One notch, `direction` +1 (up, or right) or -1, on the vertical (0) or horizontal (1) wheel.
    void notch(std::size_t axis, int direction) {
        const int code = axis == 0 ? REL_WHEEL : REL_HWHEEL, hiRes = axis == 0 ? REL_WHEEL_HI_RES : REL_HWHEEL_HI_RES;
        if (spec_.hiRes) emit({{EV_REL, hiRes, 120 * direction}, {EV_REL, code, direction}});
        else emit({{EV_REL, code, direction}});
    }

private:
    MouseSpec spec_;
    std::unique_ptr<libevdev_uinput, void (*)(libevdev_uinput*)> uinput_;
};

// ---- What a compositor sees --------------------------------------------------------

struct Seen {
    std::array<int, 2> v120{};  // wheel, in libinput's signs: vertical + = down, horizontal + = right
    int scrollEvents = 0;
    double dx = 0, dy = 0;      // unaccelerated motion
    std::vector<std::pair<std::uint32_t, bool>> buttons;
    std::uint32_t seatButtonsHeld = 0;
    int events = 0;
};

class Reader {
public:
    explicit Reader(const std::string& node) : li_(nullptr, libinput_unref) {
        static const libinput_interface io{
            [](const char* path, int flags, void*) {
                const int fd = ::open(path, flags | O_CLOEXEC);
                return fd < 0 ? -errno : fd;
            },
            [](int fd, void*) { ::close(fd); }};
        li_.reset(libinput_path_create_context(&io, nullptr));
        if (!libinput_path_add_device(li_.get(), node.c_str())) ADD_FAILURE() << "libinput cannot read " << node;
        drain();
    }

    // Everything libinput reports during `span`; with `quiet`, also until the
    // scroll has been still that long (a slow machine may start or end an
    // animation late).
    Seen collect(Clock::duration span, Clock::duration quiet = {}) {
        Seen seen;
        auto end = Clock::now() + span;
        const auto limit = end + 10s;
        while (Clock::now() < end || (quiet.count() && seen.scrollEvents == 0 && Clock::now() < limit)) {
            const int before = seen.scrollEvents;
            pollfd p{libinput_get_fd(li_.get()), POLLIN, 0};
            ::poll(&p, 1, 10);
            libinput_dispatch(li_.get());
            while (libinput_event* ev = libinput_get_event(li_.get())) {
                record(libinput_event_get_type(ev), libinput_event_get_pointer_event(ev), seen);
                libinput_event_destroy(ev);
            }
            if (quiet.count() && seen.scrollEvents != before) end = std::min(limit, std::max(end, Clock::now() + quiet));
        }
        return seen;
    }
    void drain() { collect(100ms); }

private:
    // Wheel, motion and buttons; the pointer event is null for any other kind.
    static void record(libinput_event_type type, libinput_event_pointer* p, Seen& seen) {
        if (type == LIBINPUT_EVENT_POINTER_SCROLL_WHEEL) {
            for (const auto axis : {LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL, LIBINPUT_POINTER_AXIS_SCROLL_HORIZONTAL})
                if (libinput_event_pointer_has_axis(p, axis))
                    seen.v120[axis == LIBINPUT_POINTER_AXIS_SCROLL_VERTICAL ? 0 : 1] +=
                        static_cast<int>(libinput_event_pointer_get_scroll_value_v120(p, axis));
            ++seen.scrollEvents;
        } else if (type == LIBINPUT_EVENT_POINTER_MOTION) {
            seen.dx += libinput_event_pointer_get_dx_unaccelerated(p);
            seen.dy += libinput_event_pointer_get_dy_unaccelerated(p);
        } else if (type == LIBINPUT_EVENT_POINTER_BUTTON) {
            seen.buttons.emplace_back(libinput_event_pointer_get_button(p),
                                      libinput_event_pointer_get_button_state(p) == LIBINPUT_BUTTON_STATE_PRESSED);
            seen.seatButtonsHeld = libinput_event_pointer_get_seat_button_count(p);
        } else {
            return;
        }
        ++seen.events;
    }
    std::unique_ptr<libinput, libinput* (*)(libinput*)> li_;
};

// ---- The program ---------------------------------------------------------------------

// The input devices the kernel has, by name, with their sysfs folders.
std::vector<std::pair<std::string, fs::path>> inputDevices() {
    std::vector<std::pair<std::string, fs::path>> out;
    for (const auto& input : fs::directory_iterator("/sys/class/input")) {
        const std::string name = readFile(input.path() / "name");
        if (!name.empty()) out.emplace_back(name.substr(0, name.find('\n')), input.path());
    }
    return out;
}

int twinsOf(const std::string& sourceName) {
    int n = 0;
    for (const auto& [name, path] : inputDevices())
        if (name.rfind(sourceName, 0) == 0 && name.find("(glidemark)") != std::string::npos) ++n;
    return n;
}

// The twin's event node for a source of that name, once the kernel has made it.
std::string twinOf(const std::string& sourceName) {
    std::string node;
    waitUntil([&] {
        for (const auto& [name, path] : inputDevices()) {
            if (name != sourceName + " (glidemark)") continue;
            for (const auto& child : fs::directory_iterator(path)) {
                const std::string leaf = child.path().filename();
                if (leaf.rfind("event", 0) == 0 && fs::exists("/dev/input/" + leaf)) node = "/dev/input/" + leaf;
            }
        }
        return !node.empty();
    }, 30s);
    // libinput takes a device's udev properties, which come a moment after its node.
    run("udevadm settle --timeout=10");
    return node;
}

// The real program, started as the seat's user with only what the udev rule gives it.
class Program {
public:
    Program() {
        if (!getpwnam(kUser)) {
            ADD_FAILURE() << "no user " << kUser;
            return;
        }
        const fs::path home(kHome);
        fs::remove_all(home);
        fs::create_directories(home / ".config/glidemark");
        fs::create_directories(home / "run");
        // The default settings, but for a duration long enough that a tick's last
        // frames move little: the last one, which the engine never posts, holds at
        // most a few units whatever the clock's phase.
        fs::copy_file(GLIDEMARK_KERNEL_SETTINGS, home / ".config/glidemark/glidemarkSettings.json");
        run(std::string("chown -R ") + kUser + ":" + kUser + " " + kHome + " && chmod 0700 " + kHome + "/run");
        // exec all the way down, so that the shell's pid is the program's.
        std::string command = std::string("exec env -i HOME=") + kHome + " XDG_CONFIG_HOME=" + kHome +
                              "/.config XDG_RUNTIME_DIR=" + kHome + "/run PATH=/usr/bin:/bin GLIDEMARK_TRACE_POSTS=1";
        for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* v = std::getenv(keep)) command += std::string(" ") + keep + "='" + v + "'";
        command += std::string(" setpriv --reuid=") + kUser + " --regid=" + kUser + " --clear-groups " +
                   GLIDEMARK_PROGRAM " >" + kHome + "/log 2>&1";
        char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), command.data(), nullptr};
        if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, argv, environ) != 0) pid_ = -1;
        EXPECT_GT(pid_, 0);
    }
    ~Program() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGTERM);
        const int status = wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "exit status " << status << "\n" << log();
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    std::string log() const { return readFile(fs::path(kHome) / "log"); }
    int count(const std::string& text) const {
        const std::string all = log();
        int n = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }
    // The point deltas the engine posted since `from` (a length of log()), per axis.
    std::array<double, 2> postedSince(std::size_t from) const {
        std::istringstream lines(log().substr(from));
        std::array<double, 2> sum{};
        for (std::string line; std::getline(lines, line);) {
            double v = 0, h = 0;
            if (std::sscanf(line.c_str(), "glidemark[general] posted %*u %lf %lf", &v, &h) == 2) {
                sum[0] += v;
                sum[1] += h;
            }
        }
        return sum;
    }
    void signal(int number) const { ::kill(pid_, number); }
    int wait() {
        int status = 0;
        waitpid(std::exchange(pid_, -1), &status, 0);
        return status;
    }

private:
    pid_t pid_ = -1;
};

// ---- The tests -------------------------------------------------------------------------

class Kernel : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("GLIDEMARK_VM")) return;
        ASSERT_EQ(run(std::string(GLIDEMARK_SEAT_SCRIPT) + " " GLIDEMARK_RULES_FILE), 0);
    }
    void SetUp() override {
        // A skip says what is missing; CI always runs these inside the VM, where nothing is.
        if (!std::getenv("GLIDEMARK_VM"))
            GTEST_SKIP() << "needs a real kernel with uinput and udev, and a machine it may reconfigure: "
                            "run it with scripts/vm-run.sh -- ctest --preset default -L kernel";
        ASSERT_EQ(::access("/dev/uinput", W_OK), 0) << "no /dev/uinput in the VM";
        ASSERT_EQ(::access("/run/udev/control", F_OK), 0) << "udev is not running in the VM";
    }

    // Starts the program with these mice plugged in and waits for their twins.
    void startWith(std::initializer_list<MouseSpec> specs) {
        for (const MouseSpec& spec : specs) mice_.push_back(std::make_unique<SourceMouse>(spec));
        program_ = std::make_unique<Program>();
        for (const MouseSpec& spec : specs) {
            const std::string twin = twinOf(spec.name);
            ASSERT_FALSE(twin.empty()) << "no twin for " << spec.name << "\n" << program_->log();
            twins_.push_back(twin);
        }
        // A twin is made once the engine's taps exist; give them a moment to be switched on.
        sleepFor(500ms);
    }

    void TearDown() override {
        program_.reset();
        // One twin per source, never a twin of a twin: the fault that left the desktop with nothing.
        for (const auto& [name, path] : inputDevices())
            EXPECT_EQ(name.find("(glidemark) (glidemark)"), std::string::npos) << name;
        mice_.clear();
    }

    std::vector<std::unique_ptr<SourceMouse>> mice_;
    std::vector<std::string> twins_;
    std::unique_ptr<Program> program_;
};

struct NotchRow {
    const char* what;
    std::size_t mouse;  // index into the mice the test starts with
    std::size_t axis;   // 0 vertical, 1 horizontal
    int direction;      // +1 up, or right
    int notches;        // 100 ms apart: no acceleration
};

// Turns the wheel as the row says and checks what reached the desktop: exactly
// what the engine posted (one rounding, nothing lost, no lead left over), which
// is the notches' whole distance but for the frame the engine never posts at the end.
Seen expectNotches(Program& program, Reader& twin, SourceMouse& mouse, const NotchRow& row) {
    const std::size_t logAt = program.log().size();
    for (int k = 0; k < row.notches; ++k) {
        if (k) sleepFor(100ms);
        mouse.notch(row.axis, row.direction);
    }
    const Seen seen = twin.collect(kAnimation, kQuiet);
    const auto posted = program.postedSince(logAt);
    const std::size_t a = row.axis;
    const char* what = row.what;
    // libinput counts a wheel turned up and a tilt left as negative; our points, as positive.
    EXPECT_EQ(seen.v120[a], -std::llround(posted[a] * 120.0 / 90.0))
        << what << ": not what the engine posted (" << seen.scrollEvents << " scroll events)";
    EXPECT_EQ(seen.v120[1 - a], 0) << what;
    const int expected = 120 * row.notches * (row.axis == 0 ? -row.direction : row.direction);
    EXPECT_LE(std::abs(seen.v120[a]), std::abs(expected)) << what << ": further than the notches";
    EXPECT_GE(std::abs(seen.v120[a]), std::abs(expected) - 4) << what << ": short of the notches";
    EXPECT_EQ(seen.v120[a] * expected >= 0, true) << what << ": the wrong way";
    return seen;
}

TEST_F(Kernel, EachNotchArrivesAsSmoothScrollOfExactlyOneNotch) {
    ASSERT_NO_FATAL_FAILURE(startWith({kNotched, kHiRes}));
    const NotchRow rows[] = {
        {"notched, up", 0, 0, +1, 1},  {"notched, right", 0, 1, +1, 1},     {"hi-res, down", 1, 0, -1, 1},
        {"hi-res, left", 1, 1, -1, 1}, {"notched, three down", 0, 0, -1, 3},
    };
    Reader sources[] = {Reader(mice_[0]->node()), Reader(mice_[1]->node())};
    for (const NotchRow& row : rows) {
        Reader twin(twins_[row.mouse]);
        const Seen seen = expectNotches(*program_, twin, *mice_[row.mouse], row);
        EXPECT_GE(seen.scrollEvents, 10 * row.notches) << row.what << ": not smooth";
        std::printf("[ figures  ] %-22s total %+5d v120 in %3d scroll events\n", row.what, seen.v120[row.axis], seen.scrollEvents);
        // The source itself is grabbed: its own notch reaches nobody else.
        EXPECT_EQ(sources[row.mouse].collect(10ms).events, 0) << row.what;
        sleepFor(200ms);  // with the quiet time, libinput's wheel is back at rest for the next row
    }
    EXPECT_EQ(program_->count("wheel mouse added"), 2) << program_->log();
}

TEST_F(Kernel, MotionAndButtonsPassThroughExactly) {
    ASSERT_NO_FATAL_FAILURE(startWith({kNotched}));
    Reader twin(twins_[0]);
    SourceMouse& mouse = *mice_[0];
    const std::vector<std::pair<std::uint32_t, bool>> pressed{
        {BTN_LEFT, true}, {BTN_LEFT, false}, {BTN_RIGHT, true}, {BTN_MIDDLE, true}, {BTN_MIDDLE, false}, {BTN_RIGHT, false}};
    for (int i = 0; i < 20; ++i) {
        mouse.emit({{EV_REL, REL_X, 7}, {EV_REL, REL_Y, -3}});
        sleepFor(5ms);
    }
    for (const auto& [button, down] : pressed) {
        mouse.emit({{EV_KEY, static_cast<int>(button), down ? 1 : 0}});
        mouse.emit({{EV_REL, REL_X, 1}});
        sleepFor(40ms);  // apart, so libinput's button debouncing has nothing to merge
    }
    const Seen seen = twin.collect(500ms);
    EXPECT_DOUBLE_EQ(seen.dx, 20 * 7 + 6);
    EXPECT_DOUBLE_EQ(seen.dy, 20 * -3);
    EXPECT_EQ(seen.buttons, pressed);
    EXPECT_EQ(seen.seatButtonsHeld, 0u);
}

TEST_F(Kernel, UnpluggedMidAnimationAndPluggedBackIn) {
    ASSERT_NO_FATAL_FAILURE(startWith({kNotched}));
    mice_[0]->notch(0, -1);
    sleepFor(150ms);
    mice_[0]->unplug();
    ASSERT_TRUE(waitUntil([] { return twinsOf(kNotched.name) == 0; }, 10s)) << "the twin outlived its mouse";
    mice_[0] = std::make_unique<SourceMouse>(kNotched);
    const std::string twin = twinOf(kNotched.name);
    ASSERT_FALSE(twin.empty()) << program_->log();
    sleepFor(300ms);
    Reader reader(twin);
    expectNotches(*program_, reader, *mice_[0], {"replugged", 0, 0, +1, 1});
    EXPECT_EQ(program_->count("wheel mouse added"), 2);
    EXPECT_EQ(twinsOf(kNotched.name), 1);
}

// Motion on the source until a reader of the source itself sees it: the grab is gone.
double msUntilTheSourceIsFree(SourceMouse& mouse, Clock::duration timeout) {
    Reader source(mouse.node());
    const auto start = Clock::now();
    while (Clock::now() - start < timeout) {
        mouse.emit({{EV_REL, REL_X, 1}});
        if (source.collect(50ms).events > 0)
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    return -1;
}

TEST_F(Kernel, KilledMidAnimationTheMouseIsFreeAndNothingStaysGrabbed) {
    ASSERT_NO_FATAL_FAILURE(startWith({kNotched}));
    mice_[0]->notch(0, -1);
    sleepFor(150ms);
    program_->signal(SIGKILL);
    program_->wait();
    program_.reset();
    EXPECT_GE(msUntilTheSourceIsFree(*mice_[0], 2s), 0);
    const int fd = ::open(mice_[0]->node().c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(ioctl(fd, EVIOCGRAB, 1), 0) << "still grabbed by someone";
    ::close(fd);
    EXPECT_TRUE(waitUntil([] { return twinsOf(kNotched.name) == 0; }, 5s)) << "a twin outlived the program";
}

TEST_F(Kernel, StoppedMidAnimationTheMouseComesBackAndIsTakenOverOnResume) {
    ASSERT_NO_FATAL_FAILURE(startWith({kNotched}));
    mice_[0]->notch(0, -1);
    sleepFor(150ms);
    program_->signal(SIGSTOP);
    const double freeAfter = msUntilTheSourceIsFree(*mice_[0], 3s);
    std::printf("[ figures  ] stopped: the source was free again after %.0f ms of motion\n", freeAfter);
    EXPECT_GE(freeAfter, 0) << "the mouse stayed frozen while the program was stopped";
    EXPECT_LE(freeAfter, 2000);

    program_->signal(SIGCONT);
    Reader twin(twins_[0]);
    ASSERT_TRUE(waitUntil([&] { return program_->count("wheel mouse taken over again") == 1; }, 5s)) << program_->log();
    sleepFor(300ms);
    Reader source(mice_[0]->node());
    twin.drain();
    expectNotches(*program_, twin, *mice_[0], {"resumed", 0, 0, +1, 1});
    EXPECT_EQ(source.collect(10ms).events, 0) << "the source is not grabbed again\n" << program_->log();
}

}  // namespace
