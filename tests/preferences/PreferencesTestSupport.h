#pragma once
// An in-memory settings manager and a hand-filled workspace for the
// preferences tests, and a QApplication that lives for the whole run.
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "platform/Log.h"
#include "platform/Services.h"
#include "platform/UserDefaults.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::testing {

// Creates the application object on first use (offscreen unless a platform is set).
QApplication& qtApp();

class FixedClock final : public platform::Clock {
public:
    double mediaTime() const override { return 100.0; }
    double wallTime() const override { return 1.8e9; }
};

struct SettingsFixture {
    SettingsFixture();
    explicit SettingsFixture(const settings::GlidemarkSettings& initial);

    // The record as stored right now (decoded from the user defaults).
    settings::GlidemarkSettings stored() const;
    int writes() const { return defaults.writeCount(); }

    platform::MemoryUserDefaults defaults;
    platform::MemoryLogSink logSink;
    platform::Logger logger{"com.Pellmar.Glidemark", "general", &logSink};
    FixedClock clock;
    std::unique_ptr<settings::SettingsManager> manager;
};

class FakeWorkspace final : public platform::Workspace {
public:
    void add(platform::RunningApplication app) { apps.push_back(std::make_shared<platform::RunningApplication>(std::move(app))); }

    platform::AppRef applicationWithProcessIdentifier(platform::ProcessID) const override { return nullptr; }
    platform::AppRef applicationWithBundleIdentifier(std::string_view) const override { return nullptr; }
    std::vector<platform::AppRef> runningApplications() const override { return apps; }
    platform::AppRef frontmostApplication() const override { return nullptr; }
    std::unique_ptr<platform::Subscription> observeActivations(std::function<void()>) override { return nullptr; }
    bool onScreenWindows(std::vector<platform::WindowInfo>&) const override { return false; }
    std::optional<std::string> mainBundleIdentifier() const override { return "com.Pellmar.Glidemark"; }

    std::vector<platform::AppRef> apps;
};

platform::RunningApplication runningApp(const char* bundleId, const char* name,
                                        platform::ActivationPolicy policy = platform::ActivationPolicy::Regular);

// Lets queued calls run.
void processEvents();

}  // namespace gm::testing
