#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "settings/ExampleDocument.h"
#include "settings/SettingsCodec.h"

namespace gm::settings {
namespace {

using nlohmann::json;
using test::kExampleDocument;

// The example document with one value replaced (or removed when `value` is discarded).
std::string withChange(const char* pointer, const json& value) {
    json doc = json::parse(kExampleDocument);
    json::json_pointer p(pointer);
    if (value.is_discarded())
        doc[p.parent_pointer()].erase(p.back());
    else
        doc[p] = value;
    return doc.dump();
}

const json kRemove = json(json::value_t::discarded);

// The example document with the global `dash` written as `text`.
std::string withDash(const std::string& text) {
    std::string doc = kExampleDocument;
    const std::string global = R"("scrollAdvanced":{"dash":0)";
    auto at = doc.rfind(global);
    doc.replace(at, global.size(), R"("scrollAdvanced":{"dash":)" + text);
    return doc;
}

TEST(SettingsCodec, DecodesTheStoredShape) {
    auto result = decode(kExampleDocument);
    ASSERT_TRUE(result) << result.error;
    const auto& s = *result.settings;
    ASSERT_EQ(s.appSettings.exceptionalApplication.size(), 1U);
    const auto& chrome = *s.appSettings.exceptionalApplication[0];
    EXPECT_EQ(chrome.bundleId(), "com.google.Chrome");
    EXPECT_FALSE(chrome.scrollBase().smooth);
    EXPECT_EQ(chrome.scrollAdvanced(), ScrollAdvanced{});
    EXPECT_TRUE(chrome.inherit());
    GlidemarkSettings expected;
    expected.appSettings.exceptionalApplication = s.appSettings.exceptionalApplication;
    EXPECT_EQ(s, expected);
}

TEST(SettingsCodec, EncodesCompactlyInDeclarationOrder) {
    auto text = encode(*decode(kExampleDocument).settings);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->find_first_of(" \n"), std::string::npos);
    // Same document as the example, up to how whole doubles are written.
    EXPECT_EQ(json::parse(*text), json::parse(kExampleDocument));
    const char* order[] = {"appSettings", "launchAtLogin", "showMenuIcon", "exceptionalApplication", "bundleId",
                           "scrollBase", "smooth", "horizontalSmooth", "reverse", "animationEasing",
                           "scrollAdvanced", "dash", "toggle", "block", "step", "duration", "accelerationDelta",
                           "accelerationLimit", "accelerationTailToHeadRatio", "inherit", "showScrollHelperText",
                           "showSystemHelperText"};
    std::size_t last = 0;
    for (const char* key : order) {
        auto at = text->find('"' + std::string(key) + '"', last);
        ASSERT_NE(at, std::string::npos) << key << " out of order in " << *text;
        last = at;
    }
}

TEST(SettingsCodec, RoundTripsUnusualValues) {
    GlidemarkSettings s;
    s.appSettings.launchAtLogin = true;
    s.scrollBase.reverse = true;
    s.scrollAdvanced.dash = std::numeric_limits<std::int64_t>::min();
    s.scrollAdvanced.toggle = std::numeric_limits<std::int64_t>::max();
    s.scrollAdvanced.block = {};
    s.scrollAdvanced.step = 0.1;
    s.scrollAdvanced.duration = -1e-300;
    s.scrollAdvanced.accelerationLimit = 1e300;
    ScrollAdvanced own;
    own.step = 12.25;
    s.appSettings.exceptionalApplication = {
        std::make_shared<ExceptionalApplication>("org.\"quoted\"\\ünïcode\n", ScrollBase{false, false, true, false},
                                                 own, false),
        std::make_shared<ExceptionalApplication>("")};
    auto text = encode(s);
    ASSERT_TRUE(text);
    auto back = decode(*text);
    ASSERT_TRUE(back) << back.error;
    EXPECT_EQ(*back.settings, s);
    EXPECT_EQ(back.settings->scrollAdvanced, s.scrollAdvanced);
    auto f = back.settings->appSettings.exceptionalApplication[0]->fields();
    EXPECT_EQ(f.bundleId, "org.\"quoted\"\\ünïcode\n");
    EXPECT_EQ(f.scrollBase, (ScrollBase{false, false, true, false}));
    EXPECT_EQ(f.scrollAdvanced, own);
    EXPECT_FALSE(f.inherit);
}

TEST(SettingsCodec, NonFiniteDoublesCannotBeEncoded) {
    GlidemarkSettings s;
    s.scrollAdvanced.step = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(encode(s));
    s = {};
    ScrollAdvanced bad;
    bad.accelerationTailToHeadRatio = -std::numeric_limits<double>::infinity();
    s.appSettings.exceptionalApplication = {std::make_shared<ExceptionalApplication>("a", ScrollBase{}, bad, true)};
    EXPECT_FALSE(encode(s));
}

TEST(SettingsCodec, ReportsTheFirstProblemWithItsPath) {
    const struct {
        const char* pointer;
        json value;
        const char* error;
    } cases[] = {
        {"/appSettings/exceptionalApplication/0/scrollAdvanced/accelerationTailToHeadRatio", kRemove,
         "appSettings.exceptionalApplication[0].scrollAdvanced.accelerationTailToHeadRatio: missing"},
        {"/scrollBase", kRemove, "scrollBase: missing"},
        {"/scrollBase/smooth", 1, "scrollBase.smooth: expected true or false, got 1"},
        {"/appSettings/showMenuIcon", nullptr, "appSettings.showMenuIcon: expected true or false, got null"},
        {"/appSettings/exceptionalApplication/0/inherit", "true",
         R"(appSettings.exceptionalApplication[0].inherit: expected true or false, got "true")"},
        {"/scrollAdvanced/dash", 0.5,
         "scrollAdvanced.dash: expected an integer within the signed 64-bit range, got 0.5"},
        {"/scrollAdvanced/block/1", "58",
         R"(scrollAdvanced.block[1]: expected an integer within the signed 64-bit range, got "58")"},
        {"/scrollAdvanced/block", json::object(), "scrollAdvanced.block: expected an array, got an object"},
        {"/scrollAdvanced/step", "90", R"(scrollAdvanced.step: expected a number, got "90")"},
        {"/scrollAdvanced/duration", nullptr, "scrollAdvanced.duration: expected a number, got null"},
        {"/appSettings/exceptionalApplication/0/bundleId", 5,
         "appSettings.exceptionalApplication[0].bundleId: expected a string, got 5"},
        {"/appSettings/exceptionalApplication/0", nullptr,
         "appSettings.exceptionalApplication[0]: expected an object, got null"},
        {"/appSettings/exceptionalApplication", json::object(),
         "appSettings.exceptionalApplication: expected an array, got an object"},
        {"/scrollBase", json::array(), "scrollBase: expected an object, got an array"},
    };
    for (const auto& c : cases) {
        auto result = decode(withChange(c.pointer, c.value));
        EXPECT_FALSE(result.settings) << c.pointer;
        EXPECT_EQ(result.error, c.error) << c.pointer;
    }
    EXPECT_EQ(decode("[]").error, "document: expected an object, got an array");

    // Two faults: the one earlier in declaration order is reported.
    json doc = json::parse(kExampleDocument);
    doc["scrollAdvanced"]["toggle"] = false;
    doc["scrollBase"]["reverse"] = 0;
    doc["scrollAdvanced"]["dash"] = "x";
    EXPECT_EQ(decode(doc.dump()).error, "scrollBase.reverse: expected true or false, got 0");
}

TEST(SettingsCodec, IntegersAreWholeNumbersByValue) {
    const struct {
        const char* text;
        std::int64_t value;
    } accepted[] = {
        {"55", 55},
        {"55.0", 55},
        {"5.5e1", 55},
        {"550E-1", 55},
        {"0.0000000000000000000055e22", 55},
        {"-0.0", 0},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"9.223372036854775807e18", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"-9223372036854775808.000", std::numeric_limits<std::int64_t>::min()},
    };
    for (const auto& a : accepted) {
        auto result = decode(withDash(a.text));
        ASSERT_TRUE(result) << a.text << ": " << result.error;
        EXPECT_EQ(result.settings->scrollAdvanced.dash, a.value) << a.text;
    }
    // 55.0000000000000000001 reads as the double 55.0, but it is not a whole number.
    for (const char* rejected : {"55.5", "1e30", "9223372036854775808", "-9223372036854775809",
                                 "9223372036854775807.5", "55.0000000000000000001", "1e-400",
                                 "18446744073709551616"}) {
        auto result = decode(withDash(rejected));
        EXPECT_FALSE(result.settings) << rejected;
        EXPECT_EQ(result.error.rfind("scrollAdvanced.dash: expected an integer", 0), 0U) << result.error;
    }
}

TEST(SettingsCodec, AcceptsWhatTheRulesDoNotForbid) {
    json doc = json::parse(kExampleDocument);
    doc["extra"] = {{"nested", nullptr}};
    doc["appSettings"]["extra"] = nullptr;
    doc["appSettings"]["exceptionalApplication"][0]["extra"] = json::array();
    doc["appSettings"]["exceptionalApplication"][0]["scrollAdvanced"]["extra"] = "x";
    doc["scrollBase"]["extra"] = 1;
    doc["scrollAdvanced"]["block"] = json::array();
    doc["scrollAdvanced"]["step"] = 0;
    doc["scrollAdvanced"]["duration"] = -350.5;
    doc["scrollAdvanced"]["accelerationLimit"] = 18446744073709551615ULL;
    doc["scrollAdvanced"]["dash"] = 70000;  // outside key codes, kept as stored
    auto result = decode(doc.dump());
    ASSERT_TRUE(result) << result.error;
    const auto& a = result.settings->scrollAdvanced;
    EXPECT_TRUE(a.block.empty()) << "an empty block list is not replaced by the defaults";
    EXPECT_EQ(a.step, 0.0);
    EXPECT_EQ(a.duration, -350.5);
    EXPECT_EQ(a.accelerationLimit, 18446744073709551615.0);
    EXPECT_EQ(a.dash, 70000);
}

TEST(SettingsCodec, InvalidTextIsAnError) {
    for (const char* text : {"", "{", R"({"appSettings":tru})", "{} {}", "\xff"}) {
        auto result = decode(text);
        EXPECT_FALSE(result.settings);
        EXPECT_EQ(result.error.rfind("not valid JSON: ", 0), 0U) << result.error;
        EXPECT_EQ(result.error.find("[json.exception"), std::string::npos) << result.error;
    }
    EXPECT_NE(decode(R"({"a":tru})").error.find("line 1, column"), std::string::npos);
    EXPECT_FALSE(decode(withDash("1e400")).settings);
}

}  // namespace
}  // namespace gm::settings
