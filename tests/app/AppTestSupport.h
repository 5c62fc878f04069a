#pragma once
// Stand-ins for the shell's collaborators (header-only, so the screenshots use
// them too), and what every test here works with.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <vector>

#include "app/Alerts.h"
#include "app/EngineControl.h"
#include "platform/Log.h"
#include "settings/ManagerTestSupport.h"
#include "settings/SettingsManager.h"

namespace gm::app::test {

// Every line the program logs during the tests.
platform::MemoryLogSink& logLines();

inline platform::AppRef makeApp(platform::ProcessID pid, std::optional<std::string> bundleId, std::string name) {
    auto app = std::make_shared<platform::RunningApplication>();
    app->processIdentifier = pid;
    app->bundleIdentifier = std::move(bundleId);
    app->localizedName = std::move(name);
    return app;
}

class FakeWorkspace final : public platform::Workspace {
public:
    platform::AppRef front;
    std::vector<std::function<void()>> observers;

    // Makes `app` frontmost and tells the observers, as an activation would.
    void activate(platform::AppRef app) {
        front = std::move(app);
        for (auto& observer : observers) observer();
    }
    platform::AppRef applicationWithProcessIdentifier(platform::ProcessID) const override { return nullptr; }
    platform::AppRef applicationWithBundleIdentifier(std::string_view) const override { return nullptr; }
    std::vector<platform::AppRef> runningApplications() const override { return {}; }
    platform::AppRef frontmostApplication() const override { return front; }
    std::unique_ptr<platform::Subscription> observeActivations(std::function<void()> block) override {
        observers.push_back(std::move(block));
        return std::make_unique<platform::Subscription>();
    }
    bool onScreenWindows(std::vector<platform::WindowInfo>&) const override { return false; }
    std::optional<std::string> mainBundleIdentifier() const override { return "com.Pellmar.Glidemark"; }
};

class FakeInputAccess final : public platform::InputAccess {
public:
    bool trusted = false;
    int requests = 0;
    bool isTrusted() const override { return trusted; }
    void requestAccess() override { ++requests; }
};

// Starts only with input access, as the real engine does.
class FakeEngine final : public EngineControl {
public:
    explicit FakeEngine(const platform::InputAccess& access) : access_(access) {}
    int starts = 0;
    int ends = 0;
    void start() override { ++starts, active_ = active_ || access_.isTrusted(); }
    void end() override { ++ends, active_ = false; }
    bool isActive() const override { return active_; }

private:
    const platform::InputAccess& access_;
    bool active_ = false;
};

// Answers alerts from a script (first button when the script runs out) and keeps what it was shown.
class ScriptedAlerts final : public AlertPresenter {
public:
    std::deque<int> answers;
    std::vector<Alert> shown;
    int run(const Alert& alert) override {
        shown.push_back(alert);
        const int answer = answers.empty() ? kAlertFirstButton : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
};

// A settings manager on memory storage, logging where the program does.
struct SettingsFixture : settings::test::ManagerEnvironment {
    settings::SettingsManager manager{defaults, platform::log(), clock};
};

// A directory that is removed with everything in it at the end of the test.
QString makeTempDir();

// The file's bytes, or "<missing>".
inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes `bytes` to `path`, making its folder first.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Environment variables set (a null value: unset) for the object's lifetime.
struct ScopedEnvironment {
    explicit ScopedEnvironment(const std::vector<std::pair<const char*, QString>>& values) {
        for (const auto& [name, value] : values) {
            saved.emplace_back(name, qgetenv(name));
            set(name, value.isNull() ? QByteArray() : QFile::encodeName(value));
        }
    }
    ~ScopedEnvironment() { for (const auto& [name, value] : saved) set(name, value); }
    static void set(const char* name, const QByteArray& value) { value.isNull() ? qunsetenv(name) : qputenv(name, value); }
    std::vector<std::pair<const char*, QByteArray>> saved;
};

}  // namespace gm::app::test
