#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "settings/ExampleDocument.h"
#include "settings/ManagerTestSupport.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsManager.h"

namespace gm::settings {
namespace {

using test::kExampleDocument;
constexpr const char* kInvalidKey = "glidemarkSettings.invalid-20261206T201500Z";

class SettingsManagerTest : public ::testing::Test {
protected:
    test::ManagerEnvironment env;

    std::unique_ptr<SettingsManager> makeManager() {
        return std::make_unique<SettingsManager>(env.defaults, env.logger, env.clock);
    }
    GlidemarkSettings stored() {
        auto bytes = env.defaults.data(SettingsManager::kKey);
        EXPECT_TRUE(bytes);
        auto result = decode(bytes.value_or(""));
        EXPECT_TRUE(result) << result.error;
        return result.settings.value_or(GlidemarkSettings{});
    }
};

TEST_F(SettingsManagerTest, StartsFromDefaultsAndWritesNothingWhenNothingIsStored) {
    auto manager = makeManager();
    EXPECT_EQ(manager->key(), "glidemarkSettings");
    EXPECT_EQ(manager->settings(), GlidemarkSettings{});
    EXPECT_EQ(env.defaults.writeCount(), 0);
    auto lines = env.sink.lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].message, "Module initialized: SettingsManager");
    EXPECT_EQ(lines[0].level, platform::LogLevel::Default);
}

TEST_F(SettingsManagerTest, LoadsTheStoredDocument) {
    env.defaults.setData(SettingsManager::kKey, kExampleDocument);
    auto manager = makeManager();
    auto s = manager->snapshot();
    ASSERT_EQ(s->appSettings.exceptionalApplication.size(), 1U);
    EXPECT_EQ(s->appSettings.exceptionalApplication[0]->bundleId(), "com.google.Chrome");
    EXPECT_EQ(env.defaults.writeCount(), 1) << "loading writes nothing back";
}

TEST_F(SettingsManagerTest, EveryAssignmentIsAnnouncedBeforeReplacementThenStored) {
    auto manager = makeManager();
    std::vector<std::string> events;
    manager->addObserver([&](const GlidemarkSettings& next) {
        // Told before the replacement: readers still see the old record.
        events.push_back("announce reverse=" + std::to_string(next.scrollBase.reverse) +
                         " current=" + std::to_string(manager->scrollBase().reverse) +
                         " writes=" + std::to_string(env.defaults.writeCount()));
    });
    auto before = manager->snapshot();

    manager->setScrollBase(ScrollBase{true, true, true, true});
    EXPECT_EQ(stored(), manager->settings());
    auto advanced = manager->scrollAdvanced();
    advanced.block = {55, 59};
    manager->setScrollAdvanced(advanced);
    EXPECT_EQ(stored(), manager->settings());
    auto app = manager->appSettings();
    app.showMenuIcon = false;
    manager->setAppSettings(app);
    EXPECT_EQ(stored(), manager->settings());
    auto whole = manager->settings();
    whole.appSettings.launchAtLogin = true;
    manager->setSettings(whole);

    EXPECT_EQ(stored(), manager->settings());
    EXPECT_EQ(env.defaults.writeCount(), 4);
    EXPECT_EQ(events, (std::vector<std::string>{"announce reverse=1 current=0 writes=0",
                                                "announce reverse=1 current=1 writes=1",
                                                "announce reverse=1 current=1 writes=2",
                                                "announce reverse=1 current=1 writes=3"}));
    EXPECT_EQ(*before, GlidemarkSettings{}) << "a snapshot already handed out never changes";
    EXPECT_TRUE(manager->settings().appSettings.launchAtLogin);
}

TEST_F(SettingsManagerTest, RemovedObserversAreNotTold) {
    auto manager = makeManager();
    int calls = 0;
    auto id = manager->addObserver([&](const GlidemarkSettings&) { ++calls; });
    manager->setScrollBase({});
    manager->removeObserver(id);
    manager->setScrollBase({});
    EXPECT_EQ(calls, 1);
}

TEST_F(SettingsManagerTest, ExceptionChangesStoreWithoutAnnouncing) {
    env.defaults.setData(SettingsManager::kKey, kExampleDocument);
    auto manager = makeManager();
    int announcements = 0;
    manager->addObserver([&](const GlidemarkSettings&) { ++announcements; });

    // Loaded exceptions are hooked: flip Chrome's smoothing as the menu does.
    auto chrome = manager->settings().appSettings.exceptionalApplication.at(0);
    chrome->setScrollBase(ScrollBase{true, true, false, true});
    EXPECT_TRUE(stored().appSettings.exceptionalApplication.at(0)->scrollBase().smooth);

    // So are exceptions that arrive through an assignment.
    auto app = manager->appSettings();
    auto safari = std::make_shared<ExceptionalApplication>("com.apple.Safari");
    app.exceptionalApplication = {safari, chrome};  // newest first
    manager->setAppSettings(app);
    EXPECT_EQ(announcements, 1);
    safari->setInherit(false);
    ScrollAdvanced own;
    own.step = 40;
    safari->setScrollAdvanced(own);

    auto s = stored();
    ASSERT_EQ(s.appSettings.exceptionalApplication.size(), 2U);
    EXPECT_FALSE(s.appSettings.exceptionalApplication[0]->inherit());
    EXPECT_EQ(s.appSettings.exceptionalApplication[0]->scrollAdvanced().step, 40.0);
    EXPECT_EQ(env.defaults.writeCount(), 1 + 4);
    EXPECT_EQ(announcements, 1);
    // The bundle identifier has no hook.
    safari->setBundleId("com.apple.Safari2");
    EXPECT_EQ(env.defaults.writeCount(), 5);
}

TEST_F(SettingsManagerTest, HooksOutlivingTheirManagerDoNothing) {
    auto manager = makeManager();
    auto e = std::make_shared<ExceptionalApplication>("com.example.App");
    auto app = manager->appSettings();
    app.exceptionalApplication = {e};
    manager->setAppSettings(app);
    manager.reset();
    e->setInherit(false);
    EXPECT_EQ(env.defaults.writeCount(), 1);
}

TEST_F(SettingsManagerTest, UndecodableDocumentIsKeptAsideBeforeTheFirstSave) {
    const std::string typo = std::string(kExampleDocument).replace(std::string(kExampleDocument).find("false"), 5, "flase");
    env.defaults.setData(SettingsManager::kKey, typo);
    auto manager = makeManager();
    EXPECT_EQ(manager->settings(), GlidemarkSettings{});
    EXPECT_EQ(env.defaults.writeCount(), 1) << "nothing is written at start-up";
    EXPECT_EQ(env.sink.lines().size(), 1U) << "and nothing is said until the document is replaced";

    manager->setScrollBase(ScrollBase{false, true, false, true});
    EXPECT_EQ(env.defaults.data(kInvalidKey), typo);
    EXPECT_EQ(stored(), manager->settings());
    auto lines = env.sink.lines();
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[1].message.rfind("Stored settings could not be read (not valid JSON: ", 0), 0U) << lines[1].message;
    EXPECT_NE(lines[1].message.find("); keeping them as glidemarkSettings.invalid-20261206T201500Z"),
              std::string::npos)
        << lines[1].message;

    manager->setScrollBase(ScrollBase{});
    EXPECT_EQ(env.defaults.writeCount(), 4) << "kept once only";
}

TEST_F(SettingsManagerTest, KeptDocumentNeverReplacesAnotherOne) {
    env.defaults.setData(kInvalidKey, "an earlier one");
    env.defaults.setData(SettingsManager::kKey, R"({"appSettings":{}})");
    auto manager = makeManager();
    manager->save();
    EXPECT_EQ(env.defaults.data(kInvalidKey), "an earlier one");
    EXPECT_EQ(env.defaults.data(std::string(kInvalidKey) + "-2"), R"({"appSettings":{}})");
    auto lines = env.sink.lines();
    EXPECT_NE(lines.back().message.find("(appSettings.launchAtLogin: missing)"), std::string::npos);
}

// Refuses every key but the settings key, as a store whose folder filled up might.
class PickyDefaults final : public platform::UserDefaults {
public:
    platform::MemoryUserDefaults inner;
    std::optional<std::string> data(const std::string& key) const override { return inner.data(key); }
    bool setData(const std::string& key, const std::string& bytes) override {
        return key == SettingsManager::kKey && inner.setData(key, bytes);
    }
};

TEST_F(SettingsManagerTest, UndecodableDocumentIsNotOverwrittenWhenItCannotBeKept) {
    PickyDefaults defaults;
    defaults.inner.setData(SettingsManager::kKey, "{oops");
    SettingsManager manager(defaults, env.logger, env.clock);
    manager.setScrollBase(ScrollBase{false, true, false, true});
    EXPECT_FALSE(manager.save());
    EXPECT_EQ(defaults.data(SettingsManager::kKey), "{oops");
    EXPECT_FALSE(manager.scrollBase().smooth) << "the change stays in memory";
    EXPECT_EQ(env.sink.lines().back().level, platform::LogLevel::Error);
}

TEST_F(SettingsManagerTest, NonFiniteValuesLeaveTheStoredDocument) {
    auto manager = makeManager();
    manager->setScrollBase(ScrollBase{false, true, false, true});
    const auto before = env.defaults.data(SettingsManager::kKey);
    auto advanced = manager->scrollAdvanced();
    advanced.step = std::numeric_limits<double>::quiet_NaN();
    manager->setScrollAdvanced(advanced);
    EXPECT_TRUE(std::isnan(manager->scrollAdvanced().step));
    EXPECT_EQ(env.defaults.data(SettingsManager::kKey), before);
    EXPECT_EQ(env.sink.lines().back().level, platform::LogLevel::Error);
}

TEST(SettingsManagerKeys, InvalidDocumentKeyIsUtcSeconds) {
    EXPECT_EQ(SettingsManager::invalidDocumentKey(1'796'588'100.75), kInvalidKey);
    EXPECT_EQ(SettingsManager::invalidDocumentKey(std::nan("")), "glidemarkSettings.invalid-19700101T000000Z");
}

}  // namespace
}  // namespace gm::settings
