#include <gtest/gtest.h>

#include <limits>
#include <regex>
#include <nlohmann/json.hpp>

#include "settings/ExampleDocument.h"
#include "settings/SettingsCodec.h"

namespace gm::settings {
namespace {

using nlohmann::json;
using test::kExampleDocument;
const json kRemove = json(json::value_t::discarded);

// The example document with the value at `pointer` replaced, or removed.
std::string withChange(const char* pointer, const json& value) {
    json doc = json::parse(kExampleDocument);
    json::json_pointer p(pointer);
    value.is_discarded() ? void(doc[p.parent_pointer()].erase(p.back())) : void(doc[p] = value);
    return doc.dump();
}

TEST(SettingsCodec, StoredShapeRoundTrips) {
    auto decoded = decode(kExampleDocument);
    ASSERT_TRUE(decoded) << decoded.error;
    ASSERT_EQ(decoded.settings->appSettings.exceptionalApplication.size(), 1U);
    EXPECT_FALSE(decoded.settings->appSettings.exceptionalApplication[0]->scrollBase().smooth);
    GlidemarkSettings defaults = *decoded.settings;  // everything but the exception is the defaults
    defaults.appSettings.exceptionalApplication.clear();
    EXPECT_EQ(defaults, GlidemarkSettings{});
    // Written back compactly with the keys in declaration order; whole doubles keep their ".0".
    const std::string expected = std::regex_replace(
        kExampleDocument, std::regex(R"re(("(step|duration|acceleration\w+)":\d+))re"), "$1.0");
    EXPECT_EQ(encode(*decoded.settings), expected);

    GlidemarkSettings odd;
    odd.scrollAdvanced = {.dash = std::numeric_limits<std::int64_t>::min(), .block = {}, .step = 0.1};
    odd.appSettings.exceptionalApplication = {std::make_shared<ExceptionalApplication>(
        "org.\"q\"\\ü\n", ScrollBase{false, false, true, false}, odd.scrollAdvanced, false)};
    auto back = decode(encode(odd).value());
    ASSERT_TRUE(back) << back.error;
    EXPECT_EQ(*back.settings, odd);
    auto f = back.settings->appSettings.exceptionalApplication[0]->fields();
    EXPECT_TRUE(f.bundleId == "org.\"q\"\\ü\n" && f.scrollAdvanced == odd.scrollAdvanced && !f.inherit &&
                f.scrollBase == (ScrollBase{false, false, true, false}));

    // JSON has no NaN or infinity, wherever the double sits.
    odd.appSettings.exceptionalApplication[0]->setScrollAdvanced(ScrollAdvanced{.step = std::numeric_limits<double>::infinity()});
    EXPECT_FALSE(encode(odd));
}

TEST(SettingsCodec, ReportsTheFirstProblemWithItsPath) {
    const std::tuple<const char*, json, const char*> cases[] = {  // where, the value put there, the error
        {"/appSettings/exceptionalApplication/0/scrollAdvanced/accelerationTailToHeadRatio", kRemove,
         "appSettings.exceptionalApplication[0].scrollAdvanced.accelerationTailToHeadRatio: missing"},
        {"/scrollBase/smooth", 1, "scrollBase.smooth: expected true or false, got 1"},
        {"/scrollAdvanced/dash", 0.5, "scrollAdvanced.dash: expected an integer within the signed 64-bit range, got 0.5"},
        {"/scrollAdvanced/block/1", "58",
         R"(scrollAdvanced.block[1]: expected an integer within the signed 64-bit range, got "58")"},
        {"/scrollAdvanced/step", "90", R"(scrollAdvanced.step: expected a number, got "90")"},
        {"/appSettings/exceptionalApplication/0/bundleId", 5,
         "appSettings.exceptionalApplication[0].bundleId: expected a string, got 5"},
        {"/appSettings/exceptionalApplication/0", nullptr,
         "appSettings.exceptionalApplication[0]: expected an object, got null"},
        {"/scrollBase", json::array(), "scrollBase: expected an object, got an array"}};
    for (const auto& [pointer, value, error] : cases) {
        auto result = decode(withChange(pointer, value));
        EXPECT_FALSE(result.settings) << pointer;
        EXPECT_EQ(result.error, error);
    }
    EXPECT_EQ(decode("[]").error, "document: expected an object, got an array");

    json doc = json::parse(kExampleDocument);  // two faults: the earlier in declaration order wins
    doc["scrollAdvanced"]["toggle"] = false;
    doc["scrollBase"]["reverse"] = 0;
    EXPECT_EQ(decode(doc.dump()).error, "scrollBase.reverse: expected true or false, got 0");

    for (const char* text : {"", R"({"appSettings":tru})", "{} {}", "\xff"}) {
        auto result = decode(text);
        EXPECT_EQ(result.error.rfind("not valid JSON: parse error at line 1, column ", 0), 0U) << result.error;
    }
}

TEST(SettingsCodec, IntegersAreWholeNumbersByValue) {
    auto dash = [](const std::string& text) {
        std::string doc = kExampleDocument;
        doc.replace(doc.rfind(R"("dash":0)"), 8, "\"dash\":" + text);
        return decode(doc);
    };
    const std::pair<const char*, std::int64_t> accepted[] = {
        {"55", 55}, {"55.0", 55}, {"5.5e1", 55}, {"550E-1", 55}, {"0.0000000000000000000055e22", 55}, {"-0.0", 0},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808.000", std::numeric_limits<std::int64_t>::min()}};
    for (const auto& [text, value] : accepted) {
        auto result = dash(text);
        ASSERT_TRUE(result) << text << ": " << result.error;
        EXPECT_EQ(result.settings->scrollAdvanced.dash, value) << text;
    }
    // 55.0000000000000000001 parses to the double 55.0, but it is not a whole number.
    for (const char* text : {"55.5", "1e30", "9223372036854775808", "-9223372036854775809", "55.0000000000000000001",
                             "1e-400", "18446744073709551616"})
        EXPECT_EQ(dash(text).error.rfind("scrollAdvanced.dash: expected an integer", 0), 0U) << text;
}

TEST(SettingsCodec, AcceptsUnknownKeysAndUncheckedRanges) {
    json doc = json::parse(kExampleDocument);
    doc["extra"] = {{"nested", nullptr}};
    doc["appSettings"]["exceptionalApplication"][0]["extra"] = json::array();
    doc["scrollAdvanced"]["extra"] = "x";
    doc["scrollAdvanced"]["block"] = json::array();
    doc["scrollAdvanced"]["duration"] = -350.5;
    doc["scrollAdvanced"]["accelerationLimit"] = 18446744073709551615ULL;
    doc["scrollAdvanced"]["dash"] = 70000;
    auto result = decode(doc.dump());
    ASSERT_TRUE(result) << result.error;
    const auto& a = result.settings->scrollAdvanced;
    EXPECT_TRUE(a.block.empty()) << "an empty block list is not replaced by the defaults";
    EXPECT_EQ(std::make_tuple(a.duration, a.accelerationLimit, a.dash),
              std::make_tuple(-350.5, 18446744073709551615.0, std::int64_t{70000}));
}

}  // namespace
}  // namespace gm::settings
