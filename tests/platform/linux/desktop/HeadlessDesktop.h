#pragma once
// A real GNOME Shell or KWin for one test, headless (software rendering), on
// private D-Bus buses and a private 0700 runtime folder, with GTK 4 windows of
// known app ids and a pointer the test moves and clicks: through Mutter's
// RemoteDesktop interface on GNOME, through org_kde_kwin_fake_input on KWin.
// Everything it starts shares one process group, stopped together at the end.
#include <fcntl.h>
#include <poll.h>
#include <linux/input-event-codes.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <memory>

#include "DesktopTestSupport.h"
#include "fake-input-client.h"

extern char** environ;

namespace gm::testing {

class HeadlessDesktop {
public:
    enum class Kind { Gnome, KWin };

    // Null with `whyNot` set when the compositor cannot run here. Desktop
    // entries for `appIds` are written first, so the shell knows them. GNOME's
    // screen refreshes `gnomeHz` times a second (KWin's always 60).
    static std::unique_ptr<HeadlessDesktop> start(Kind kind, const std::vector<std::string>& appIds,
                                                  std::string& whyNot, int gnomeHz = 60) {
        const char* program = kind == Kind::Gnome ? "/usr/bin/gnome-shell" : "/usr/bin/kwin_wayland";
        for (const char* needed : {program, "/usr/bin/gjs", "/usr/bin/dbus-daemon"})
            if (::access(needed, X_OK) != 0) {
                whyNot = std::string(needed) + " is not installed (scripts/deps.sh compositors installs it)";
                return nullptr;
            }
        std::unique_ptr<HeadlessDesktop> d(new HeadlessDesktop(kind));
        whyNot = d->launch(program, appIds, gnomeHz);
        return whyNot.empty() ? std::move(d) : nullptr;
    }

    ~HeadlessDesktop() {
        if (pointer_) org_kde_kwin_fake_input_destroy(pointer_);
        if (wayland_) wl_display_disconnect(wayland_);
        sd_bus_flush_close_unref(bus_);
        if (group_ == 0) return;  // nothing started (kill(0) would signal us)
        ::kill(-group_, SIGTERM);
        // GNOME Shell sometimes crashes on the way out: only that all end matters.
        const auto ended = [&] {
            return std::all_of(children_.begin(), children_.end(),
                               [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
        };
        if (!waitFor(ended, std::chrono::seconds(5))) {
            ::kill(-group_, SIGKILL);
            for (const pid_t pid : children_) ::waitpid(pid, nullptr, 0);
        }
    }

    // A GTK 4 window: maximized, or width × height.
    void openWindow(const std::string& appId, int width, int height, bool maximized) {
        spawn({"/usr/bin/gjs", GM_TEST_GTK_CLIENT, appId, std::to_string(width), std::to_string(height),
               maximized ? "maximized" : "normal"},
              {"WAYLAND_DISPLAY=wayland-0", "GDK_BACKEND=wayland", "GSK_RENDERER=cairo", "GTK_A11Y=none"});
    }

    bool movePointer(int x, int y) {
        if (kind_ == Kind::KWin) {
            org_kde_kwin_fake_input_pointer_motion_absolute(pointer_, wl_fixed_from_int(x), wl_fixed_from_int(y));
            return wl_display_roundtrip(wayland_) >= 0;
        }
        // Only relative motion needs no screencast stream: into the corner
        // first (the pointer stops at the edges), then out to the point.
        return notify("NotifyPointerMotionRelative", "dd", -1e5, -1e5) &&
               notify("NotifyPointerMotionRelative", "dd", double(x), double(y));
    }

    bool click() {
        if (kind_ == Kind::KWin) {
            for (const auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED})
                org_kde_kwin_fake_input_button(pointer_, BTN_LEFT, state);
            return wl_display_roundtrip(wayland_) >= 0;
        }
        return notify("NotifyPointerButton", "ib", BTN_LEFT, 1) && notify("NotifyPointerButton", "ib", BTN_LEFT, 0);
    }

    // The end of what the programs wrote, for failure messages.
    // A program of the session, started like the rest (its output joins
    // logs()); its process id, for the test to signal and reap.
    pid_t startProgram(const std::vector<std::string>& argv, std::vector<std::string> env) {
        spawn(argv, std::move(env));
        return children_.back();
    }

    // Xwayland on this compositor, as a session starts it: its display
    // (":N"), or empty when it did not come up.
    std::string startXwayland() {
        int number[2];
        if (::pipe(number) != 0) return {};
        ::fcntl(number[0], F_SETFD, FD_CLOEXEC);  // the write end alone goes to Xwayland
        spawn({"/usr/bin/Xwayland", "-displayfd", std::to_string(number[1]), "-noreset", "-nolisten", "tcp"});
        ::close(number[1]);
        // The number and its newline come in two writes; closing the pipe
        // between them would end Xwayland.
        std::string text;
        pollfd ready{number[0], POLLIN, 0};
        for (char c = 0; text.find('\n') == std::string::npos && ::poll(&ready, 1, 20000) == 1 &&
                         ::read(number[0], &c, 1) == 1;)
            text += c;
        ::close(number[0]);
        return text.find('\n') != std::string::npos ? ":" + std::to_string(std::atoi(text.c_str())) : std::string();
    }

    std::string logs() const {
        std::ostringstream text;
        text << std::ifstream(root_.path() / "output.log").rdbuf();
        const auto all = text.str();
        return "\n--- output of the desktop's programs:\n" + all.substr(all.size() - std::min<std::size_t>(all.size(), 6000));
    }

private:
    explicit HeadlessDesktop(Kind kind) : kind_(kind) {}

    // Empty when the compositor is ready, else why not.
    std::string launch(const std::string& program, const std::vector<std::string>& appIds, int gnomeHz) {
        const auto home = root_.path() / "home";
        const auto runtime = root_.path() / "run";
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        for (const auto& [name, value] :
             {std::pair{"HOME", home.string()}, {"XDG_RUNTIME_DIR", runtime.string()},
              {"XDG_CONFIG_HOME", (home / ".config").string()}, {"XDG_DATA_HOME", (home / ".local/share").string()},
              {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"NO_AT_BRIDGE", "1"}, {"GSETTINGS_BACKEND", "keyfile"}})
            ::setenv(name, value.c_str(), 1);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        for (const auto& id : appIds)
            root_.write("home/.local/share/applications/" + id + ".desktop",
                        "[Desktop Entry]\nType=Application\nName=" + id + "\nExec=gjs " GM_TEST_GTK_CLIENT " " + id + "\n");

        std::vector<std::string> command{program, "--virtual", "--width", "1280", "--height", "800", "--no-lockscreen"};
        if (kind_ == Kind::Gnome) {
            // Without a system bus the shell dies in its login-manager code.
            if (!startBus("system", "DBUS_SYSTEM_BUS_ADDRESS")) return "dbus-daemon did not start";
            // The pointer passes the top left corner on its way: no overview there.
            root_.write("home/.config/glib-2.0/settings/keyfile",
                        "[org/gnome/shell]\ndisable-user-extensions=false\n"
                        "[org/gnome/desktop/interface]\nenable-hot-corners=false\n");
            // Installed for this user as the package does for everyone: off until Glidemark switches it on.
            const auto extension = home / ".local/share/gnome-shell/extensions/glidemark@glidemark.org";
            std::filesystem::create_directories(extension.parent_path());
            std::filesystem::copy(GM_TEST_GNOME_EXTENSION, extension, std::filesystem::copy_options::recursive);
            command = {program, "--headless", "--wayland", "--no-x11", "--virtual-monitor", "1280x800@" + std::to_string(gnomeHz)};
        } else {
            // The installed program carries a file capability this machine may not grant.
            std::filesystem::copy_file(program, root_.path() / "kwin_wayland");
            command[0] = (root_.path() / "kwin_wayland").string();
        }
        if (!startBus("session", "DBUS_SESSION_BUS_ADDRESS") || sd_bus_open_user(&bus_) < 0)
            return "no private session bus";
        spawn(command, {"KWIN_WAYLAND_NO_PERMISSION_CHECKS=1"});
        return kind_ == Kind::Gnome ? gnomeReady() : kwinReady();
    }

    std::string gnomeReady() {
        // It starts in the overview, where no window gets the focus: ready
        // once the overview has opened (start-up is over) and closed again.
        const auto overview = [&](bool close) {
            int shown = 0;
            if (close)
                sd_bus_set_property(bus_, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "OverviewActive",
                                    nullptr, "b", 0);
            sd_bus_get_property_trivial(bus_, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell",
                                        "OverviewActive", nullptr, 'b', &shown);
            return shown != 0;
        };
        if (!waitFor([&] { return overview(false); }) || !waitFor([&] { return !overview(true); }))
            return "gnome-shell did not start up and leave its overview";
        // The session lives as long as this connection.
        sd_bus_message* reply = nullptr;
        const char* path = nullptr;
        if (sd_bus_call_method(bus_, "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                               "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr, &reply, "") >= 0 &&
            sd_bus_message_read(reply, "o", &path) > 0)
            session_ = path;
        sd_bus_message_unref(reply);
        return notify("Start", "") ? "" : "no remote-desktop session to move the pointer with";
    }

    std::string kwinReady() {
        const auto kwinOnTheBus = [&] {
            return sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "GetNameOwner", nullptr, nullptr, "s", "org.kde.KWin") >= 0;
        };
        if (!waitFor(kwinOnTheBus) || !(wayland_ = wl_display_connect("wayland-0"))) return "kwin_wayland did not start";
        static const wl_registry_listener listener{
            [](void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
                if (std::string_view(interface) == org_kde_kwin_fake_input_interface.name && version >= 3)
                    *static_cast<org_kde_kwin_fake_input**>(data) = static_cast<org_kde_kwin_fake_input*>(
                        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3));
            },
            [](void*, wl_registry*, std::uint32_t) {}};
        wl_registry* registry = wl_display_get_registry(wayland_);
        wl_registry_add_listener(registry, &listener, &pointer_);
        wl_display_roundtrip(wayland_);
        wl_registry_destroy(registry);
        if (!pointer_) return "KWin offers no org_kde_kwin_fake_input";
        org_kde_kwin_fake_input_authenticate(pointer_, "Glidemark tests", "moves the pointer");
        return "";
    }

    template <typename... Args>
    bool notify(const char* method, const char* types, Args... args) {
        return sd_bus_call_method(bus_, "org.gnome.Mutter.RemoteDesktop", session_.c_str(),
                                  "org.gnome.Mutter.RemoteDesktop.Session", method, nullptr, nullptr, types,
                                  args...) >= 0;
    }

    // A private bus on a socket of its own, its address in `variable`; false when it did not start.
    bool startBus(const std::string& name, const char* variable) {
        const auto socket = root_.path() / (name + "-bus");
        spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket.string()});
        if (!waitFor([&] { return std::filesystem::exists(socket); }, std::chrono::seconds(10))) return false;
        return ::setenv(variable, ("unix:path=" + socket.string()).c_str(), 1) == 0;
    }

    // Starts a program in the group, its output added to <scratch>/output.log.
    // All is prepared before fork: the child of a threaded program may only
    // make async-signal-safe calls.
    void spawn(const std::vector<std::string>& argv, std::vector<std::string> env = {}) {
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        for (auto& e : env) envp.push_back(e.data());
        args.push_back(nullptr);
        envp.push_back(nullptr);
        const int out = ::open((root_.path() / "output.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, group_);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execve(args[0], args.data(), envp.data());
            ::_exit(127);
        }
        ::close(out);
        ::setpgid(pid, group_);
        if (group_ == 0) group_ = pid;
        children_.push_back(pid);
    }

    Kind kind_;
    TempDir root_;
    pid_t group_ = 0;
    std::vector<pid_t> children_;
    sd_bus* bus_ = nullptr;
    std::string session_;
    wl_display* wayland_ = nullptr;
    org_kde_kwin_fake_input* pointer_ = nullptr;
};

}  // namespace gm::testing
