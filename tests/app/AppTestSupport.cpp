#include "AppTestSupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace gm::app::test {

namespace {

class QtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        platform::log().setSink(&logLines());
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        temporaryDirs().clear();
        app_.reset();
    }
    static std::vector<std::unique_ptr<QTemporaryDir>>& temporaryDirs() {
        static std::vector<std::unique_ptr<QTemporaryDir>> dirs;
        return dirs;
    }

private:
    int argc_ = 1;
    char name_[16] = "glidemark_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class NoteSubscription final : public platform::Subscription {};

}  // namespace

platform::MemoryLogSink& logLines() {
    static platform::MemoryLogSink sink;
    return sink;
}

void FakeWorkspace::activate(platform::AppRef app) {
    front = std::move(app);
    for (auto& observer : observers) observer();
}

std::unique_ptr<platform::Subscription> FakeWorkspace::observeActivations(std::function<void()> block) {
    observers.push_back(std::move(block));
    return std::make_unique<NoteSubscription>();
}

platform::AppRef makeApp(platform::ProcessID pid, std::optional<std::string> bundleId, std::string name) {
    auto app = std::make_shared<platform::RunningApplication>();
    app->processIdentifier = pid;
    app->bundleIdentifier = std::move(bundleId);
    app->localizedName = std::move(name);
    return app;
}

int ScriptedAlerts::run(const Alert& alert) {
    shown.push_back(alert);
    if (onShow) onShow(alert);
    if (answers.empty()) return kAlertFirstButton;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

QString makeTempDir() {
    auto dir = std::make_unique<QTemporaryDir>();
    const QString path = dir->path();
    QtEnvironment::temporaryDirs().push_back(std::move(dir));
    return path;
}

}  // namespace gm::app::test
