// The engine reads the settings on its own thread while the UI writes them:
// run both at once (under ThreadSanitizer in CI) and check no read is torn.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "settings/ManagerTestSupport.h"

namespace gm::settings {
namespace {

// Writers keep step == duration == block[0], so a torn read shows.
ScrollAdvanced consistent(int i) {
    return ScrollAdvanced{.block = {i}, .step = static_cast<double>(i), .duration = static_cast<double>(i)};
}
bool torn(const ScrollAdvanced& a) {
    return a.step != a.duration || a.block.size() != 1 || static_cast<double>(a.block[0]) != a.step;
}

TEST(SettingsThreads, SnapshotAndExceptionReadsDuringWrites) {
    test::ManagerEnvironment env;
    SettingsManager manager(env.defaults, env.logger, env.clock);
    auto shared = std::make_shared<ExceptionalApplication>("com.example.App", ScrollBase{}, consistent(0), true);
    manager.setSettings(GlidemarkSettings{AppSettings{.exceptionalApplication = {shared}}, {}, consistent(0)});

    constexpr int kRounds = 300;
    std::atomic<bool> done{false};
    std::atomic<int> tornReads{0};
    auto reader = [&] {
        while (!done) {
            auto snapshot = manager.snapshot();
            tornReads += torn(snapshot->scrollAdvanced);
            for (const auto& e : snapshot->appSettings.exceptionalApplication) {
                auto n = e->numbers();
                tornReads += n.step != n.duration || torn(e->fields().scrollAdvanced);
                tornReads += !e->hasBundleId("com.example.App");
            }
        }
    };
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

    EXPECT_EQ(tornReads, 0);
    // Saves are serialised, so the last one stored both writers' last values.
    const auto stored = env.stored();
    EXPECT_EQ(stored.scrollAdvanced.step, kRounds);
    EXPECT_EQ(stored.appSettings.exceptionalApplication.at(0)->scrollAdvanced().step, kRounds);
}

}  // namespace
}  // namespace gm::settings
