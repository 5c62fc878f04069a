// The parts of the choice that are the same on every system.
#include "app/PlatformChoice.h"

#include <cstdlib>
#include <cstring>

#include "app/LaunchAtLogin.h"
#include "app/StatusBarManager.h"
#include "app/update/AboutView.h"
#include "app/update/UpdaterManager.h"
#include "app/update/UpdatesView.h"
#include "preferences/PreferencesTabView.h"

namespace gm::app {

bool standInRequested() {
    const char* backend = std::getenv("GLIDEMARK_BACKEND");
    return backend && std::strcmp(backend, "standin") == 0;
}

WindowContent windowContent(settings::SettingsManager& settings, platform::Workspace& workspace,
                            std::shared_ptr<const preferences::AppInfoProvider> appInfo, QString exceptionsNotice) {
    WindowContent content = WindowContent::interim();
    content.about = [] { return static_cast<QWidget*>(new update::AboutView); };
    content.preferences = [&settings, &workspace, appInfo = std::move(appInfo),
                           exceptionsNotice = std::move(exceptionsNotice)] {
        preferences::PreferencesContext context;
        context.settingsManager = &settings;
        context.workspace = &workspace;
        context.appInfo = appInfo.get();
        context.exceptionsNotice = exceptionsNotice;
        context.generalActions.setLaunchAtLogin = [](bool enabled) { LaunchAtLogin::setEnabled(enabled); };
        context.generalActions.setMenuIconVisible = [](bool visible) {
            if (StatusBarManager* bar = StatusBarManager::shared()) bar->setVisible(visible);
        };
        // Without an update feed the page says where updates come from instead.
        if (update::UpdaterManager::isAvailable())
            context.updatesPage = [] { return static_cast<QWidget*>(new update::UpdatesView); };
        // This factory, and with it the provider, lives as long as the window registry's content.
        return static_cast<QWidget*>(preferences::createPreferencesTabView(context));
    };
    return content;
}

}  // namespace gm::app
