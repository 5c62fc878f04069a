#include "platform/linux/desktop/ShellWindows.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Log.h"
#include "platform/linux/desktop/DesktopEntry.h"
#include "platform/linux/desktop/ShellReports.h"

namespace gm::platform::linux_desktop {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGnomeBusName = "org.glidemark.GnomeShell";
constexpr const char* kWindowsPath = "/org/glidemark/Windows";
constexpr const char* kGnomeInterface = "org.glidemark.Windows";
constexpr const char* kOwnBusName = "org.glidemark.Glidemark";
constexpr const char* kReportsInterface = "org.glidemark.WindowReports";
constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kDBus = "org.freedesktop.DBus";
// The calls made at start-up and exit wait this long at most, so a desktop
// that is stuck cannot hold the program up for the library's default 25 s.
constexpr std::uint64_t kCallTimeoutUsec = 2'000'000;
// GNOME Shell's extension states, as its Extensions interface reports them.
constexpr double kExtensionEnabled = 1;
constexpr double kExtensionError = 3;
constexpr double kExtensionOutOfDate = 4;

using Report = ShellWindows::Report;

// The same names both ways: the GNOME extension's signals, and the calls the
// KWin script makes on us.
std::optional<Report> reportNamed(const char* member) {
    if (!member) return std::nullopt;
    if (std::strcmp(member, "PointerWindowChanged") == 0) return Report::PointerWindow;
    if (std::strcmp(member, "FocusChanged") == 0) return Report::FocusedWindow;
    if (std::strcmp(member, "WindowsChanged") == 0) return Report::Windows;
    return std::nullopt;
}

struct Reply {
    sd_bus_message* m = nullptr;
    std::string error;
    Reply() = default;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    ~Reply() { sd_bus_message_unref(m); }
};

// One call with its reply; false with the reason in reply.error on failure.
template <typename... Args>
bool call(sd_bus* bus, const char* destination, const char* path, const char* interface, const char* member,
          Reply& reply, const char* types, Args... args) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call_method(bus, destination, path, interface, member, &error, &reply.m, types, args...);
    if (r < 0) reply.error = error.message ? error.message : std::strerror(-r);
    sd_bus_error_free(&error);
    return r >= 0;
}

// The unique name owning `name`, or empty.
std::string ownerOf(sd_bus* bus, const char* name) {
    Reply reply;
    const char* owner = nullptr;
    if (!call(bus, kDBus, "/org/freedesktop/DBus", kDBus, "GetNameOwner", reply, "s", name) ||
        sd_bus_message_read(reply.m, "s", &owner) < 0 || !owner)
        return {};
    return owner;
}

std::string ownerChangedRule(const char* name) {
    return std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                       "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
           name + "'";
}

struct ExtensionInfo {
    bool known = false;  // GNOME Shell has found it (installed before the shell started)
    double state = 0;
    std::string error;
};

// Reads GetExtensionInfo's a{sv}: only "state" and "error" matter here.
ExtensionInfo readExtensionInfo(sd_bus_message* m) {
    ExtensionInfo info;
    if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}") < 0) return info;
    while (sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0 || !key) return info;
        info.known = true;
        const char* text = nullptr;
        if (std::strcmp(key, "state") == 0 && sd_bus_message_read(m, "v", "d", &info.state) >= 0) {
        } else if (std::strcmp(key, "error") == 0 && sd_bus_message_read(m, "v", "s", &text) >= 0) {
            info.error = text ? text : "";
        } else if (sd_bus_message_skip(m, "v") < 0) {
            return info;
        }
        if (sd_bus_message_exit_container(m) < 0) return info;
    }
    return info;
}

fs::path configFolder(const std::string& chosen) {
    if (!chosen.empty()) return chosen;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') return config;
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "") / ".config";
}

std::string findKWinScript() {
    std::error_code ec;
    for (const auto& dir : xdgDataDirs())
        if (const auto path = dir / "kwin/scripts/glidemark/contents/code/main.js"; fs::exists(path, ec))
            return path.string();
    // A program run from its build tree.
    const auto source = fs::path(GLIDEMARK_SOURCE_DATA_DIR) / "kwin/glidemark/contents/code/main.js";
    return fs::exists(source, ec) ? source.string() : std::string();
}

}  // namespace

ShellKind detectShell(const std::function<const char*(const char*)>& getenv) {
    const char* desktops = getenv("XDG_CURRENT_DESKTOP");
    std::string_view rest = desktops ? desktops : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto name = rest.substr(0, colon);
        if (name == "GNOME" || name == "GNOME-Classic") return ShellKind::Gnome;
        if (name == "KDE") return ShellKind::KWin;
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    return ShellKind::None;
}

struct ShellWindows::Bus {
    struct Pending {
        ShellWindows* self = nullptr;
        Report report{};
    };
    sd_bus* bus = nullptr;
    // Reports are taken only from the extension's or KWin's own connection.
    std::string reporter;
    std::array<Pending, 3> pending{};
    ~Bus() { sd_bus_flush_close_unref(bus); }

    static int onReport(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<ShellWindows*>(userdata);
        const char* sender = sd_bus_message_get_sender(m);
        const auto report = reportNamed(sd_bus_message_get_member(m));
        const char* json = nullptr;
        const bool genuine = sender && sender == self->bus_->reporter;
        if (genuine && report && sd_bus_message_read(m, "s", &json) > 0 && json) self->apply(*report, json);
        // The extension's signals want no answer; the script's calls do.
        if (sd_bus_message_is_method_call(m, nullptr, nullptr) <= 0) return 0;
        if (!genuine) return sd_bus_reply_method_errorf(m, SD_BUS_ERROR_ACCESS_DENIED, "Only KWin reports windows");
        return sd_bus_reply_method_return(m, "");
    }

    static const sd_bus_vtable* reportsVtable() {
        static const sd_bus_vtable vtable[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("PointerWindowChanged", "s", "", onReport, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("FocusChanged", "s", "", onReport, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("WindowsChanged", "s", "", onReport, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_VTABLE_END};
        return vtable;
    }

    static int onAnswer(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const auto* pending = static_cast<const Pending*>(userdata);
        const char* json = nullptr;
        if (!sd_bus_message_is_method_error(m, nullptr) && sd_bus_message_read(m, "s", &json) > 0 && json)
            pending->self->apply(pending->report, json);
        return 0;
    }

    static int onOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<ShellWindows*>(userdata);
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0 || !after) return 0;
        if (self->kind_ == ShellKind::KWin) {
            // Our script went with it; a KWin that comes back does not load it again.
            if (!*after) self->lost("KWin left the session bus");
            return 0;
        }
        self->bus_->reporter = after;
        if (!*after) {
            self->lost("the GNOME Shell extension stopped (switched off in Extensions?)");
        } else {
            log().info("Per-application settings: the GNOME Shell extension reports windows");
            self->reporting_ = true;
            self->askGnomeExtension();
        }
        return 0;
    }
};

ShellWindows::ShellWindows(ShellKind kind, std::unique_ptr<Bus> bus) : kind_(kind), bus_(std::move(bus)) {}

std::unique_ptr<ShellWindows> ShellWindows::start(ShellKind kind, Options options) {
    auto bus = std::make_unique<Bus>();
    if (kind == ShellKind::None || sd_bus_open_user(&bus->bus) < 0) return nullptr;
    sd_bus_set_method_call_timeout(bus->bus, kCallTimeoutUsec);
    std::unique_ptr<ShellWindows> self(new ShellWindows(kind, std::move(bus)));
    // Everything before the thread starts runs here, on one thread, as the
    // library requires; reports that arrive meanwhile wait in the queue.
    const bool started = kind == ShellKind::Gnome ? self->startGnome(options) : self->startKWin(options);
    if (!started) return self;
    self->wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (self->wakeFd_ < 0) return self;
    self->thread_ = std::thread([s = self.get()] { s->run(); });
    return self;
}

ShellWindows::~ShellWindows() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (kwinScriptLoaded_) {
        Reply reply;
        if (!call(bus_->bus, kKWin, "/Scripting", "org.kde.kwin.Scripting", "unloadScript", reply, "s", kKWinPlugin))
            log().error("Could not unload Glidemark's KWin script: " + reply.error);
    }
}

bool ShellWindows::startGnome(const Options& options) {
    sd_bus* bus = bus_->bus;
    // No sender in the match: sd-bus compares a well-known sender with the
    // signal's unique one and would drop them all. onReport checks the sender.
    if (sd_bus_match_signal(bus, nullptr, nullptr, kWindowsPath, kGnomeInterface, nullptr, Bus::onReport, this) < 0 ||
        sd_bus_add_match(bus, nullptr, ownerChangedRule(kGnomeBusName).c_str(), Bus::onOwnerChanged, this) < 0)
        return false;
    bus_->reporter = ownerOf(bus, kGnomeBusName);
    if (!bus_->reporter.empty()) {
        reporting_ = gnomeExtensionOn_ = true;
        askGnomeExtension();
        return true;
    }
    Reply reply;
    if (!call(bus, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Extensions", "GetExtensionInfo", reply, "s",
              kGnomeExtension)) {
        log().info("Per-application settings: GNOME Shell does not answer (" + reply.error + ")");
        return true;  // it may come: the name's owner is watched
    }
    const auto info = readExtensionInfo(reply.m);
    if (!info.known) {
        log().info("Per-application settings need Glidemark's GNOME Shell extension, which GNOME Shell has not "
                   "found: install the package, then log out and in again");
        return true;
    }
    if (info.state == kExtensionError || info.state == kExtensionOutOfDate) {
        log().error("Glidemark's GNOME Shell extension cannot run: " +
                    (info.error.empty() ? std::string("not made for this GNOME Shell") : info.error));
        return true;
    }
    if (info.state == kExtensionEnabled) {
        reporting_ = gnomeExtensionOn_ = true;  // starting up; its name will appear
        return true;
    }
    int extensionsOn = 1;
    sd_bus_get_property_trivial(bus, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Extensions",
                                "UserExtensionsEnabled", nullptr, 'b', &extensionsOn);
    if (!options.mayEnableGnomeExtension || !extensionsOn) {
        log().info(extensionsOn ? "Per-application settings: Glidemark's GNOME Shell extension is switched off in "
                                  "Extensions"
                                : "Per-application settings: extensions are switched off as a whole in Extensions");
        return true;
    }
    Reply enabled;
    int done = 0;
    if (!call(bus, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Extensions", "EnableExtension", enabled,
              "s", kGnomeExtension) ||
        sd_bus_message_read(enabled.m, "b", &done) < 0 || !done) {
        log().error("Could not switch on Glidemark's GNOME Shell extension" +
                    (enabled.error.empty() ? std::string() : ": " + enabled.error));
        return true;
    }
    log().info("Switched on Glidemark's GNOME Shell extension, which tells which application is under the pointer; "
               "it is listed in Extensions, where it can be switched off");
    reporting_ = gnomeExtensionOn_ = true;
    return true;
}

void ShellWindows::askGnomeExtension() {
    static constexpr std::array<std::pair<const char*, Report>, 3> kQuestions{
        {{"PointerWindow", Report::PointerWindow}, {"FocusedWindow", Report::FocusedWindow}, {"Windows", Report::Windows}}};
    for (std::size_t i = 0; i < kQuestions.size(); ++i) {
        bus_->pending[i] = {this, kQuestions[i].second};
        sd_bus_call_method_async(bus_->bus, nullptr, kGnomeBusName, kWindowsPath, kGnomeInterface, kQuestions[i].first,
                                 Bus::onAnswer, &bus_->pending[i], "");
    }
}

bool ShellWindows::startKWin(const Options& options) {
    sd_bus* bus = bus_->bus;
    if (std::ifstream in(configFolder(options.kwinConfigFolder) / "kwinrc"); in) {
        std::ostringstream text;
        text << in.rdbuf();
        if (shell::kwinScriptSwitchedOff(text.str())) {
            log().info("Per-application settings: Glidemark's KWin script is switched off in System Settings");
            return false;
        }
    }
    const std::string script = options.kwinScript.empty() ? findKWinScript() : options.kwinScript;
    bus_->reporter = ownerOf(bus, kKWin);
    if (script.empty() || bus_->reporter.empty()) {
        log().info(script.empty() ? "Per-application settings need Glidemark's KWin script, which is not installed"
                                  : "Per-application settings: KWin is not on the session bus");
        return false;
    }
    // The script calls us by this name as soon as it runs.
    if (sd_bus_add_object_vtable(bus, nullptr, kWindowsPath, kReportsInterface, Bus::reportsVtable(), this) < 0 ||
        sd_bus_request_name(bus, kOwnBusName, 0) < 0 ||
        sd_bus_add_match(bus, nullptr, ownerChangedRule(kKWin).c_str(), Bus::onOwnerChanged, this) < 0) {
        log().error(std::string("Per-application settings: cannot take the bus name ") + kOwnBusName);
        return false;
    }
    const char* scripting = "org.kde.kwin.Scripting";
    Reply loaded;
    int isLoaded = 0;
    // A copy already running (loaded by KWin at login, or left by a run of
    // ours that ended abruptly) reported to nobody: start one afresh, whose
    // first reports are the current state.
    if (call(bus, kKWin, "/Scripting", scripting, "isScriptLoaded", loaded, "s", kKWinPlugin) &&
        sd_bus_message_read(loaded.m, "b", &isLoaded) >= 0 && isLoaded) {
        Reply unloaded;
        call(bus, kKWin, "/Scripting", scripting, "unloadScript", unloaded, "s", kKWinPlugin);
    }
    Reply load;
    int id = -1;
    if (!call(bus, kKWin, "/Scripting", scripting, "loadScript", load, "ss", script.c_str(), kKWinPlugin) ||
        sd_bus_message_read(load.m, "i", &id) < 0 || id < 0) {
        log().error("KWin did not load Glidemark's script " + script + (load.error.empty() ? "" : ": " + load.error));
        return false;
    }
    kwinScriptLoaded_ = true;
    // Plasma 5.27 names the script's object /<id>, Plasma 6 /Scripting/Script<id>.
    Reply ran;
    const auto number = std::to_string(id);
    const std::string paths[] = {"/" + number, "/Scripting/Script" + number};
    for (const auto& path : paths) {
        ran.error.clear();
        if (call(bus, kKWin, path.c_str(), "org.kde.kwin.Script", "run", ran, "")) {
            log().info("Per-application settings: Glidemark's KWin script reports windows");
            reporting_ = true;
            return true;
        }
    }
    log().error("KWin did not run Glidemark's script: " + ran.error);
    return false;
}

void ShellWindows::run() {
    sd_bus* bus = bus_->bus;
    for (;;) {
        int r = 0;
        while ((r = sd_bus_process(bus, nullptr)) > 0) {
        }
        if (r < 0) {
            lost("the session bus connection broke");
            return;
        }
        std::uint64_t until = 0;
        int timeout = -1;
        if (sd_bus_get_timeout(bus, &until) >= 0 && until != UINT64_MAX) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const auto nowUsec = static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u +
                                 static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
            timeout = until <= nowUsec ? 0 : static_cast<int>(std::min<std::uint64_t>((until - nowUsec + 999) / 1000, 60'000));
        }
        const int events = sd_bus_get_events(bus);
        pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(events < 0 ? POLLIN : events), 0},
                         {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
    }
}

void ShellWindows::apply(Report report, std::string_view json) {
    {
        std::lock_guard lock(mutex_);
        switch (report) {
            case Report::PointerWindow:
                pointer_ = shell::parseWindow(json);
                return;
            case Report::FocusedWindow:
                focused_ = shell::parseWindow(json);
                break;
            case Report::Windows:
                windows_ = shell::parseWindows(json);
                return;
        }
    }
    std::lock_guard lock(callbackMutex_);
    if (focusCallback_) focusCallback_();
}

void ShellWindows::lost(std::string_view why) {
    if (reporting_.exchange(false))
        log().info("Per-application settings stop applying: " + std::string(why));
    {
        std::lock_guard lock(mutex_);
        pointer_.reset();
        focused_.reset();
        windows_.clear();
    }
    std::lock_guard lock(callbackMutex_);
    if (focusCallback_) focusCallback_();
}

std::optional<CompositorWindow> ShellWindows::pointerWindow() const {
    std::lock_guard lock(mutex_);
    return pointer_;
}

std::optional<CompositorWindow> ShellWindows::focusedWindow() const {
    std::lock_guard lock(mutex_);
    return focused_;
}

std::vector<CompositorWindow> ShellWindows::windows() const {
    std::lock_guard lock(mutex_);
    return windows_;
}

void ShellWindows::setFocusCallback(std::function<void()> callback) {
    std::lock_guard lock(callbackMutex_);
    focusCallback_ = std::move(callback);
}

}  // namespace gm::platform::linux_desktop
