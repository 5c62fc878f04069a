#include "platform/linux/desktop/AppResolver.h"

#include <cstdlib>

namespace gm::platform::linux_desktop {
namespace {

std::string envOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

}  // namespace

AppResolver::AppResolver(DesktopEntryIndex index, ProcFs proc, std::string locale, std::string currentDesktops)
    : index_(std::move(index)), proc_(std::move(proc)), locale_(std::move(locale)),
      currentDesktops_(std::move(currentDesktops)) {}

AppResolver AppResolver::fromEnvironment() {
    // The same precedence the C library uses for message catalogues.
    std::string locale = envOr("LC_ALL", "");
    if (locale.empty()) locale = envOr("LC_MESSAGES", "");
    if (locale.empty()) locale = envOr("LANG", "C");
    return AppResolver(DesktopEntryIndex::fromEnvironment(), ProcFs(), std::move(locale),
                       envOr("XDG_CURRENT_DESKTOP", ""));
}

EntryMatch AppResolver::match(const WindowFacts& facts, std::string_view desktopId) const {
    // GNOME Shell and KWin have matched the window already, with more to go
    // on (startup notification, the application's own hints).
    if (!desktopId.empty())
        if (const auto* e = index_.byId(desktopId)) return {e, MatchRule::DesktopId};
    if (facts.pid > 0) {
        // A sandboxed application's id is authoritative: its WM_CLASS and
        // executable are whatever the sandbox runtime made them.
        if (const auto id = proc_.flatpakAppId(facts.pid))
            if (const auto* e = index_.byId(*id)) return {e, MatchRule::Sandbox};
        if (const auto snap = proc_.snapApp(facts.pid)) {
            const auto* e = snap->app.empty() ? nullptr : index_.byId(snap->snap + "_" + snap->app);
            if (!e) e = index_.firstWithIdPrefix(snap->snap + "_");
            if (e) return {e, MatchRule::Sandbox};
        }
    }
    for (const auto* name : {&facts.instance, &facts.wmClass})
        if (const auto* e = index_.byStartupWMClass(*name)) return {e, MatchRule::StartupWMClass};
    for (const auto* name : {&facts.instance, &facts.wmClass})
        if (const auto* e = index_.byIdIgnoringCase(*name)) return {e, MatchRule::DesktopId};
    if (facts.pid > 0)
        if (const auto exe = proc_.executable(facts.pid))
            if (const auto* e = index_.byExecutable(*exe)) return {e, MatchRule::Executable};
    return {};
}

RunningApplication AppResolver::application(const WindowFacts& facts, std::string_view desktopId) const {
    RunningApplication app;
    app.processIdentifier = facts.pid;
    if (facts.pid > 0) app.executablePath = proc_.executable(facts.pid);
    const auto found = match(facts, desktopId);
    if (found.entry) {
        app.bundleIdentifier = found.entry->id;
        app.localizedName = found.entry->localizedName(locale_);
        app.activationPolicy = found.entry->shownInMenus(currentDesktops_) ? ActivationPolicy::Regular
                                                                           : ActivationPolicy::Accessory;
    } else {
        app.activationPolicy = ActivationPolicy::Accessory;
    }
    if (app.localizedName.empty()) app.localizedName = !facts.wmClass.empty() ? facts.wmClass : facts.instance;
    if (app.localizedName.empty() && facts.pid > 0) app.localizedName = proc_.command(facts.pid).value_or("");
    return app;
}

AppResolver::Display AppResolver::displayForBundleIdentifier(std::string_view bundleIdentifier) const {
    const auto* e = index_.byId(bundleIdentifier);
    if (!e) return {std::string(bundleIdentifier), {}};
    auto name = e->localizedName(locale_);
    return {name.empty() ? std::string(bundleIdentifier) : std::move(name), e->icon};
}

}  // namespace gm::platform::linux_desktop
