// The engine reads the settings on its own thread while the UI writes them:
// run both at once under ThreadSanitizer and check no reader sees half a change.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "settings/ManagerTestSupport.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::settings {
namespace {

TEST(SettingsThreads, ReadersSeeWholeRecordsWhileTheUiWrites) {
    test::ManagerEnvironment env;
    SettingsManager manager(env.defaults, env.logger, env.clock);
    auto app = manager.appSettings();
    auto shared = std::make_shared<ExceptionalApplication>("com.example.App");
    app.exceptionalApplication = {shared};
    manager.setAppSettings(app);

    // Writers keep step == duration and block == {step}, so a torn read shows.
    constexpr int kRounds = 300;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    auto check = [&](const ScrollAdvanced& a) {
        if (a.step != a.duration || a.block.size() != 1 || static_cast<double>(a.block[0]) != a.step) ++torn;
    };
    auto reader = [&] {
        while (!done.load()) {
            auto snapshot = manager.snapshot();
            check(snapshot->scrollAdvanced);
            for (const auto& e : snapshot->appSettings.exceptionalApplication) {
                auto n = e->numbers();
                if (n.step != n.duration) ++torn;
                check(e->fields().scrollAdvanced);
                (void)e->inherit();
                (void)e->hasBundleId("com.example.App");
            }
        }
    };
    auto consistent = [](int i) {
        ScrollAdvanced a;
        a.step = a.duration = i;
        a.block = {i};
        return a;
    };
    manager.setScrollAdvanced(consistent(0));
    shared->setScrollAdvanced(consistent(0));

    std::thread r1(reader), r2(reader);
    std::thread exceptionWriter([&] {
        for (int i = 1; i <= kRounds; ++i) {
            shared->setScrollAdvanced(consistent(i));
            shared->setInherit(i % 2 == 0);
        }
    });
    for (int i = 1; i <= kRounds; ++i) manager.setScrollAdvanced(consistent(i));
    exceptionWriter.join();
    done = true;
    r1.join();
    r2.join();

    EXPECT_EQ(torn.load(), 0);
    auto stored = decode(*env.defaults.data(SettingsManager::kKey));
    ASSERT_TRUE(stored) << stored.error;
    EXPECT_EQ(stored.settings->scrollAdvanced.step, kRounds);
    // The last save ran after both writers finished their last change.
    EXPECT_EQ(stored.settings->appSettings.exceptionalApplication.at(0)->scrollAdvanced().step, kRounds);
}

}  // namespace
}  // namespace gm::settings
