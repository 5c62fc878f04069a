#include "settings/SettingsCodec.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace gm::settings {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// ---- encoding -----------------------------------------------------------------

bool allFinite(const ScrollAdvanced& a) {
    return std::isfinite(a.step) && std::isfinite(a.duration) && std::isfinite(a.accelerationDelta) &&
           std::isfinite(a.accelerationLimit) && std::isfinite(a.accelerationTailToHeadRatio);
}

OrderedJson toJson(const ScrollBase& b) {
    OrderedJson j = OrderedJson::object();
    j["smooth"] = b.smooth;
    j["horizontalSmooth"] = b.horizontalSmooth;
    j["reverse"] = b.reverse;
    j["animationEasing"] = b.animationEasing;
    return j;
}

OrderedJson toJson(const ScrollAdvanced& a) {
    OrderedJson j = OrderedJson::object();
    j["dash"] = a.dash;
    j["toggle"] = a.toggle;
    j["block"] = a.block;
    j["step"] = a.step;
    j["duration"] = a.duration;
    j["accelerationDelta"] = a.accelerationDelta;
    j["accelerationLimit"] = a.accelerationLimit;
    j["accelerationTailToHeadRatio"] = a.accelerationTailToHeadRatio;
    return j;
}

// ---- parsing with exact integers ------------------------------------------------

// The whole number a JSON number's text denotes, when it is one and fits a
// signed 64-bit integer. Works on the decimal text rather than on the parsed
// double, so 5.5e1 is 55 while 55.0000000000000000001 is not whole, and
// -9223372036854775808.0 is still the smallest int64.
std::optional<std::int64_t> exactInteger(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    bool negative = false;
    if (i < n && text[i] == '-') {
        negative = true;
        ++i;
    }
    auto isDigit = [&](std::size_t k) { return k < n && text[k] >= '0' && text[k] <= '9'; };
    std::string digits;
    while (isDigit(i)) digits.push_back(text[i++]);
    std::int64_t exponent = 0;
    if (i < n && text[i] == '.') {
        ++i;
        while (isDigit(i)) {
            digits.push_back(text[i++]);
            --exponent;
        }
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
        std::int64_t written = 0;
        constexpr std::int64_t kCap = 1'000'000'000;  // far beyond any exponent that could matter
        while (isDigit(i)) {
            if (written < kCap) written = written * 10 + (text[i] - '0');
            ++i;
        }
        exponent += negativeExponent ? -written : written;
    }
    if (i != n || digits.empty()) return std::nullopt;

    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return 0;  // zero, including -0.0
    digits.erase(0, first);
    while (digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    if (exponent < 0) return std::nullopt;  // a non-zero digit after the point
    // int64 has at most 19 digits, and any 19-digit number fits uint64.
    if (static_cast<std::int64_t>(digits.size()) + exponent > 19) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (char c : digits) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    for (std::int64_t k = 0; k < exponent; ++k) magnitude *= 10;

    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) {
        if (magnitude > kMax) return std::nullopt;
        return static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > kMax + 1) return std::nullopt;
    if (magnitude == kMax + 1) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(magnitude);
}

// Builds the document tree from the parser's events, like the library's own
// builder, except that a number written with a fraction or exponent which is
// exactly a whole int64 becomes an integer, and integer fields can then
// simply insist on an integer.
class TreeBuilder {
public:
    explicit TreeBuilder(Json& root) : root_(root) {}

    bool null() { return add(nullptr); }
    bool boolean(bool value) { return add(value); }
    bool number_integer(Json::number_integer_t value) { return add(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return add(value); }
    bool number_float(Json::number_float_t value, const Json::string_t& text) {
        if (auto whole = exactInteger(text)) return add(*whole);
        return add(value);
    }
    bool string(Json::string_t& value) { return add(std::move(value)); }
    bool binary(Json::binary_t& value) { return add(Json::binary(std::move(value))); }
    bool start_object(std::size_t) { return open(Json::object()); }
    bool key(Json::string_t& key) {
        key_ = std::move(key);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(Json::array()); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const Json::exception& error) {
        error_ = error.what();
        return false;
    }

    const std::string& error() const { return error_; }

private:
    Json* place(Json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        // A repeated key keeps its last value.
        Json& slot = parent[key_];
        slot = std::move(value);
        return &slot;
    }
    bool add(Json value) {
        place(std::move(value));
        return true;
    }
    bool open(Json container) {
        // Pointers into the tree stay valid: a container's parent gains no
        // new member until the container is closed.
        open_.push_back(place(std::move(container)));
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }

    Json& root_;
    std::vector<Json*> open_;
    std::string key_;
    std::string error_;
};

// Library messages start with a "[json.exception.parse_error.101] " tag the user has no use for.
std::string withoutLibraryTag(const std::string& message) {
    if (message.rfind("[json.exception.", 0) == 0) {
        auto end = message.find("] ");
        if (end != std::string::npos) return message.substr(end + 2);
    }
    return message;
}

// ---- strict decoding -------------------------------------------------------------

// Where a value sits in the document. Built on the stack as the decoder walks
// down, and only turned into text when there is something to report.
struct Path {
    const Path* parent = nullptr;
    const char* key = nullptr;  // null for the root and for array elements
    std::size_t index = 0;

    std::string text() const {
        if (!parent) return "document";
        std::string out = parent->parent ? parent->text() : std::string();
        if (key) {
            if (!out.empty()) out += '.';
            out += key;
        } else {
            out += '[' + std::to_string(index) + ']';
        }
        return out;
    }
};

struct Failure {
    std::string message;
};

struct Node {
    const Json& value;
    Path path;
};

[[noreturn]] void fail(const Path& path, std::string_view problem) {
    std::string message = path.text();
    message += ": ";
    message += problem;
    throw Failure{std::move(message)};
}

// How a rejected value is shown: scalars as written, containers by kind.
std::string describe(const Json& value) {
    switch (value.type()) {
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "an array";
    case Json::value_t::binary: return "binary data";
    case Json::value_t::discarded: return "nothing";
    default: break;
    }
    std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    constexpr std::size_t kLimit = 40;
    if (text.size() > kLimit) {
        std::size_t cut = kLimit - 3;
        // Do not split a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0U) == 0x80U) --cut;
        text.resize(cut);
        text += "...";
    }
    return text;
}

[[noreturn]] void failType(const Node& node, std::string_view expected) {
    std::string problem = "expected ";
    problem += expected;
    problem += ", got ";
    problem += describe(node.value);
    fail(node.path, problem);
}

Node member(const Node& object, const char* key) {
    Path path{&object.path, key, 0};
    auto it = object.value.find(key);
    if (it == object.value.end()) fail(path, "missing");
    return Node{*it, path};
}

const Node& requireObject(const Node& node) {
    if (!node.value.is_object()) failType(node, "an object");
    return node;
}

const Node& requireArray(const Node& node) {
    if (!node.value.is_array()) failType(node, "an array");
    return node;
}

bool readBool(const Node& node) {
    if (!node.value.is_boolean()) failType(node, "true or false");
    return node.value.get<bool>();
}

std::int64_t readInteger(const Node& node) {
    if (node.value.is_number_integer()) {
        if (node.value.is_number_unsigned()) {
            auto value = node.value.get<std::uint64_t>();
            if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return static_cast<std::int64_t>(value);
        } else {
            return node.value.get<std::int64_t>();
        }
    }
    failType(node, "an integer within the signed 64-bit range");
}

double readDouble(const Node& node) {
    if (!node.value.is_number()) failType(node, "a number");
    return node.value.get<double>();
}

std::string readString(const Node& node) {
    if (!node.value.is_string()) failType(node, "a string");
    return node.value.get<std::string>();
}

ScrollBase readScrollBase(const Node& node) {
    requireObject(node);
    ScrollBase b;
    b.smooth = readBool(member(node, "smooth"));
    b.horizontalSmooth = readBool(member(node, "horizontalSmooth"));
    b.reverse = readBool(member(node, "reverse"));
    b.animationEasing = readBool(member(node, "animationEasing"));
    return b;
}

ScrollAdvanced readScrollAdvanced(const Node& node) {
    requireObject(node);
    ScrollAdvanced a;
    a.dash = readInteger(member(node, "dash"));
    a.toggle = readInteger(member(node, "toggle"));
    {
        Node block = member(node, "block");
        requireArray(block);
        a.block.clear();
        a.block.reserve(block.value.size());
        for (std::size_t i = 0; i < block.value.size(); ++i)
            a.block.push_back(readInteger(Node{block.value[i], Path{&block.path, nullptr, i}}));
    }
    a.step = readDouble(member(node, "step"));
    a.duration = readDouble(member(node, "duration"));
    a.accelerationDelta = readDouble(member(node, "accelerationDelta"));
    a.accelerationLimit = readDouble(member(node, "accelerationLimit"));
    a.accelerationTailToHeadRatio = readDouble(member(node, "accelerationTailToHeadRatio"));
    return a;
}

ExceptionRef readException(const Node& node) {
    requireObject(node);
    // Read in declaration order so the first problem reported is the first in the record.
    std::string bundleId = readString(member(node, "bundleId"));
    ScrollBase base = readScrollBase(member(node, "scrollBase"));
    ScrollAdvanced advanced = readScrollAdvanced(member(node, "scrollAdvanced"));
    bool inherit = readBool(member(node, "inherit"));
    return std::make_shared<ExceptionalApplication>(std::move(bundleId), base, std::move(advanced), inherit);
}

AppSettings readAppSettings(const Node& node) {
    requireObject(node);
    AppSettings s;
    s.launchAtLogin = readBool(member(node, "launchAtLogin"));
    s.showMenuIcon = readBool(member(node, "showMenuIcon"));
    {
        Node list = member(node, "exceptionalApplication");
        requireArray(list);
        s.exceptionalApplication.reserve(list.value.size());
        for (std::size_t i = 0; i < list.value.size(); ++i)
            s.exceptionalApplication.push_back(readException(Node{list.value[i], Path{&list.path, nullptr, i}}));
    }
    s.showScrollHelperText = readBool(member(node, "showScrollHelperText"));
    s.showSystemHelperText = readBool(member(node, "showSystemHelperText"));
    return s;
}

GlidemarkSettings readSettings(const Json& document) {
    Node root{document, Path{}};
    requireObject(root);
    GlidemarkSettings s;
    s.appSettings = readAppSettings(member(root, "appSettings"));
    s.scrollBase = readScrollBase(member(root, "scrollBase"));
    s.scrollAdvanced = readScrollAdvanced(member(root, "scrollAdvanced"));
    return s;
}

}  // namespace

std::optional<std::string> encode(const GlidemarkSettings& settings) {
    if (!allFinite(settings.scrollAdvanced)) return std::nullopt;

    OrderedJson exceptions = OrderedJson::array();
    for (const auto& exception : settings.appSettings.exceptionalApplication) {
        if (!exception) continue;
        auto fields = exception->fields();  // one consistent read of a shared object
        if (!allFinite(fields.scrollAdvanced)) return std::nullopt;
        OrderedJson e = OrderedJson::object();
        e["bundleId"] = std::move(fields.bundleId);
        e["scrollBase"] = toJson(fields.scrollBase);
        e["scrollAdvanced"] = toJson(fields.scrollAdvanced);
        e["inherit"] = fields.inherit;
        exceptions.push_back(std::move(e));
    }

    const AppSettings& app = settings.appSettings;
    OrderedJson appJson = OrderedJson::object();
    appJson["launchAtLogin"] = app.launchAtLogin;
    appJson["showMenuIcon"] = app.showMenuIcon;
    appJson["exceptionalApplication"] = std::move(exceptions);
    appJson["showScrollHelperText"] = app.showScrollHelperText;
    appJson["showSystemHelperText"] = app.showSystemHelperText;

    OrderedJson root = OrderedJson::object();
    root["appSettings"] = std::move(appJson);
    root["scrollBase"] = toJson(settings.scrollBase);
    root["scrollAdvanced"] = toJson(settings.scrollAdvanced);
    // A bundle identifier that is not valid UTF-8 is written with replacement
    // characters rather than losing the whole document.
    return root.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

DecodeResult decode(std::string_view json) {
    DecodeResult result;
    Json document;
    TreeBuilder builder(document);
    bool parsed = false;
    try {
        parsed = Json::sax_parse(json.begin(), json.end(), &builder, Json::input_format_t::json, true, false);
    } catch (const Json::exception& error) {
        result.error = "not valid JSON: " + withoutLibraryTag(error.what());
        return result;
    }
    if (!parsed) {
        result.error = "not valid JSON: " + withoutLibraryTag(builder.error());
        return result;
    }
    try {
        result.settings = readSettings(document);
    } catch (const Failure& failure) {
        result.error = failure.message;
    }
    return result;
}

}  // namespace gm::settings
