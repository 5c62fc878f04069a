#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "settings/ExampleDocument.h"
#include "settings/ManagerTestSupport.h"

namespace gm::settings {
namespace {

constexpr const char* kInvalidKey = "glidemarkSettings.invalid-20261206T201500Z";

struct SettingsManagerTest : ::testing::Test {
    test::ManagerEnvironment env;
    auto start() { return std::make_unique<SettingsManager>(env.defaults, env.logger, env.clock); }
};

TEST_F(SettingsManagerTest, StartsFromDefaultsAndEachAssignmentIsAnnouncedThenReplacedThenStored) {
    auto manager = start();
    EXPECT_EQ(manager->settings(), GlidemarkSettings{});
    EXPECT_EQ(env.defaults.writeCount(), 0) << "starting writes nothing";
    std::string events;
    manager->addObserver([&](const GlidemarkSettings& next) {
        // Readers still see the old record, and nothing of this change is stored yet.
        events += std::to_string(next.scrollBase.reverse) + std::to_string(manager->scrollBase().reverse) +
                  std::to_string(env.defaults.writeCount()) + " ";
    });
    auto first = manager->snapshot();
    manager->setScrollBase(ScrollBase{true, true, true, true});
    EXPECT_EQ(env.stored(), manager->settings());
    manager->setScrollAdvanced(ScrollAdvanced{.block = {55, 59}});
    EXPECT_EQ(env.stored(), manager->settings());
    manager->setAppSettings(AppSettings{.showMenuIcon = false, .exceptionalApplication = {}});
    EXPECT_EQ(env.stored(), manager->settings());
    EXPECT_EQ(events, "100 111 112 ");
    EXPECT_EQ(*first, GlidemarkSettings{}) << "a snapshot handed out never changes";
}

TEST_F(SettingsManagerTest, ExceptionChangesStoreWithoutAnnouncing) {
    env.defaults.setData(SettingsManager::kKey, test::kExampleDocument);
    auto manager = start();
    int announcements = 0;
    manager->addObserver([&](const GlidemarkSettings&) { ++announcements; });
    // Loaded exceptions are hooked...
    auto chrome = manager->settings().appSettings.exceptionalApplication.at(0);
    chrome->setScrollBase(ScrollBase{});
    EXPECT_TRUE(env.stored().appSettings.exceptionalApplication.at(0)->scrollBase().smooth);
    // ...and so are those that arrive through an assignment.
    auto browser = std::make_shared<ExceptionalApplication>("org.example.Browser");
    auto app = manager->appSettings();
    app.exceptionalApplication = {browser, chrome};
    manager->setAppSettings(app);
    browser->setInherit(false);
    EXPECT_FALSE(env.stored().appSettings.exceptionalApplication.at(0)->inherit());
    EXPECT_EQ(std::tuple(env.defaults.writeCount(), announcements), std::tuple(4, 1));

    manager.reset();
    browser->setInherit(true);  // a hook outliving its manager does nothing
    EXPECT_EQ(env.defaults.writeCount(), 4);
}

TEST_F(SettingsManagerTest, UndecodableDocumentIsKeptAsideBeforeTheFirstSave) {
    env.defaults.setData(kInvalidKey, "an earlier kept document");
    env.defaults.setData(SettingsManager::kKey, R"({"appSettings":{}})");
    auto manager = start();
    EXPECT_EQ(manager->settings(), GlidemarkSettings{});
    EXPECT_EQ(env.defaults.writeCount(), 2) << "nothing written at start-up";

    manager->setScrollBase(ScrollBase{false, true, false, true});
    manager->setScrollBase(ScrollBase{});
    EXPECT_EQ(env.defaults.data(kInvalidKey), "an earlier kept document");
    EXPECT_EQ(env.defaults.data(std::string(kInvalidKey) + "-2"), R"({"appSettings":{}})");
    EXPECT_EQ(env.stored(), manager->settings());
    EXPECT_EQ(env.defaults.writeCount(), 2 + 3) << "kept once only";
    EXPECT_EQ(env.sink.lines().size(), 2U);
    EXPECT_EQ(env.sink.lines().back().message,
              "Stored settings could not be read (appSettings.launchAtLogin: missing); keeping them as "
              "glidemarkSettings.invalid-20261206T201500Z-2");
}

// Stores the settings key only, like a store that cannot create another file.
struct OneKeyDefaults final : platform::UserDefaults {
    platform::MemoryUserDefaults inner;
    std::optional<std::string> data(const std::string& key) const override { return inner.data(key); }
    bool setData(const std::string& key, const std::string& bytes) override {
        return key == SettingsManager::kKey && inner.setData(key, bytes);
    }
};

TEST_F(SettingsManagerTest, UnsavableChangesStayInMemoryAndTheStoredDocumentStays) {
    OneKeyDefaults defaults;
    defaults.inner.setData(SettingsManager::kKey, "{oops");
    SettingsManager manager(defaults, env.logger, env.clock);
    manager.setScrollBase(ScrollBase{false, true, false, true});
    EXPECT_EQ(defaults.data(SettingsManager::kKey), "{oops") << "an undecodable document that cannot be kept stays";
    EXPECT_TRUE(!manager.scrollBase().smooth && env.sink.lines().back().level == platform::LogLevel::Error);

    auto good = start();
    good->setScrollBase(ScrollBase{});
    auto advanced = good->scrollAdvanced();
    advanced.step = std::numeric_limits<double>::quiet_NaN();
    good->setScrollAdvanced(advanced);
    EXPECT_TRUE(std::isnan(good->scrollAdvanced().step));
    EXPECT_TRUE(env.stored().scrollAdvanced.step == 90.0 && env.sink.lines().back().level == platform::LogLevel::Error);
}

}  // namespace
}  // namespace gm::settings
