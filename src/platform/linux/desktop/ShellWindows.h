#pragma once
// The window under the pointer, the focused window and the window list on
// GNOME and KDE Plasma (Wayland), from Glidemark's own helpers inside them.
// Wayland keeps other clients' windows from us, and unlike sway and Hyprland
// neither GNOME Shell nor KWin answers such questions over a socket, so:
//  * GNOME: the Shell extension owns org.glidemark.GnomeShell, answers
//    org.glidemark.Windows calls and signals every change;
//  * KDE: we load our script into KWin through its Scripting interface when
//    we start (and unload it when we stop); the script calls
//    org.glidemark.WindowReports on us whenever an answer changes.
// Both send the JSON of ShellReports.h. A thread of our own receives the
// reports and keeps the latest of each, so that reading them, which happens
// for every wheel notch, never waits for the desktop.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/linux/desktop/WaylandCompositors.h"

namespace gm::platform::linux_desktop {

enum class ShellKind { None, Gnome, KWin };

// GNOME or KDE from XDG_CURRENT_DESKTOP (which may list several desktops, as
// "ubuntu:GNOME"). Only asked on Wayland sessions that are not sway or Hyprland.
ShellKind detectShell(const std::function<const char*(const char*)>& getenv);

class ShellWindows {
public:
    static constexpr const char* kGnomeExtension = "glidemark@glidemark.org";
    static constexpr const char* kKWinPlugin = "glidemark";

    struct Options {
        // KWin: the script to load. Empty: kwin/scripts/glidemark/contents/code/main.js
        // in the XDG data folders, else in the source tree of this build.
        std::string kwinScript;
        // KWin: where kwinrc lives (the user may switch the script off in
        // System Settings). Empty: $XDG_CONFIG_HOME, else ~/.config.
        std::string kwinConfigFolder;
        // GNOME: whether we may switch our extension on when it is off. We do
        // that once only: after that, the user's choice in Extensions stands
        // (see gnomeExtensionOn).
        bool mayEnableGnomeExtension = false;
    };

    // Null when there is no session bus; otherwise reporting() says whether
    // reports can come.
    static std::unique_ptr<ShellWindows> start(ShellKind kind, Options options);
    // Stops the thread and unloads the KWin script.
    ~ShellWindows();
    ShellWindows(const ShellWindows&) = delete;
    ShellWindows& operator=(const ShellWindows&) = delete;

    ShellKind kind() const { return kind_; }
    // The extension or script is at work, or switched on and about to be.
    bool reporting() const { return reporting_.load(); }
    // GNOME: the extension was on, or we switched it on; the caller remembers
    // this so that we never switch it on again once the user turned it off.
    bool gnomeExtensionOn() const { return gnomeExtensionOn_; }

    std::optional<CompositorWindow> pointerWindow() const;
    std::optional<CompositorWindow> focusedWindow() const;
    std::vector<CompositorWindow> windows() const;
    // Called on the reports' thread after each report of the focused window.
    // Replacing it waits for a call in progress, so it may not be replaced
    // from inside the callback.
    void setFocusCallback(std::function<void()> callback);

    // What a report does to the state; public for the bus callbacks.
    enum class Report { PointerWindow, FocusedWindow, Windows };
    void apply(Report report, std::string_view json);
    void lost(std::string_view why);

private:
    struct Bus;
    ShellWindows(ShellKind kind, std::unique_ptr<Bus> bus);
    bool startGnome(const Options& options);
    bool startKWin(const Options& options);
    void askGnomeExtension();
    void run();

    ShellKind kind_;
    std::unique_ptr<Bus> bus_;
    std::atomic<bool> reporting_{false};
    bool gnomeExtensionOn_ = false;
    bool kwinScriptLoaded_ = false;
    int wakeFd_ = -1;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::optional<CompositorWindow> pointer_;
    std::optional<CompositorWindow> focused_;
    std::vector<CompositorWindow> windows_;

    std::mutex callbackMutex_;
    std::function<void()> focusCallback_;
};

}  // namespace gm::platform::linux_desktop
