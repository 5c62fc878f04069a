#include <gtest/gtest.h>

#include <limits>

#include "settings/GlidemarkSettings.h"

namespace gm::settings {
namespace {

TEST(SettingsModel, EqualityAndHashing) {
    ScrollAdvanced a{.duration = 0.0}, b{.duration = -0.0};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ScrollAdvanced>{}(a), std::hash<ScrollAdvanced>{}(b)) << "equal values hash alike";
    b.block = {59, 58, 55};
    EXPECT_NE(a, b) << "block order matters";
    a.step = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(a, a) << "a NaN equals nothing";

    // Exceptions, and lists of them, compare by bundle identifier only.
    auto chrome = std::make_shared<ExceptionalApplication>("com.google.Chrome");
    auto otherChrome = std::make_shared<ExceptionalApplication>("com.google.Chrome", ScrollBase{false, false, true, false},
                                                                ScrollAdvanced{}, false);
    auto browser = std::make_shared<ExceptionalApplication>("org.example.Browser");
    const auto list = [](std::vector<ExceptionRef> exceptions) { return AppSettings{.exceptionalApplication = exceptions}; };
    EXPECT_EQ(list({chrome, browser}), list({otherChrome, browser}));
    EXPECT_NE(list({chrome, browser}), list({browser, chrome}));
    EXPECT_NE(list({chrome, browser}), list({chrome}));
}

TEST(SettingsModel, StoreHookRunsAfterHookedAssignmentsAndMayReadBack) {
    ExceptionalApplication e("com.example.App");
    std::vector<std::string> seen;
    // The hook reads the exception as the manager's save does: it must see the
    // new value, and must not deadlock on the exception's lock.
    e.setStoreHook([&] {
        auto f = e.fields();
        seen.push_back(std::to_string(f.scrollBase.smooth) + std::to_string(f.scrollAdvanced.dash) +
                       std::to_string(f.inherit));
    });
    e.setScrollBase(ScrollBase{false, true, false, true});
    e.setScrollAdvanced(ScrollAdvanced{.dash = 7});
    e.setInherit(false);
    e.setBundleId("com.example.Other");  // no hook
    EXPECT_EQ(seen, (std::vector<std::string>{"001", "071", "070"}));
}

}  // namespace
}  // namespace gm::settings
