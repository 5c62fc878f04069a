#include "app/macos/PropertyList.h"

namespace gm::app::macos {

namespace {

bool escape(std::string_view text, std::string& out) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
        if (byte == 0x7F) return false;
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return true;
}

bool writeString(std::string_view text, std::string& out, std::string_view indent) {
    out.append(indent).append("<string>");
    if (!escape(text, out)) return false;
    out += "</string>\n";
    return true;
}

}  // namespace

std::optional<std::string> xmlPropertyList(const PlistDictionary& dictionary) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, value] : dictionary) {
        out += "\t<key>";
        if (!escape(key, out)) return std::nullopt;
        out += "</key>\n";
        bool written = true;
        if (const bool* flag = std::get_if<bool>(&value)) {
            out += *flag ? "\t<true/>\n" : "\t<false/>\n";
        } else if (const std::string* text = std::get_if<std::string>(&value)) {
            written = writeString(*text, out, "\t");
        } else {
            out += "\t<array>\n";
            for (const std::string& item : std::get<std::vector<std::string>>(value))
                written = written && writeString(item, out, "\t\t");
            out += "\t</array>\n";
        }
        if (!written) return std::nullopt;
    }
    out += "</dict>\n</plist>\n";
    return out;
}

std::optional<std::string> infoPlist(const BundleInfo& info) {
    return xmlPropertyList({
        {"CFBundleDevelopmentRegion", std::string("en")},
        {"CFBundleDisplayName", info.name},
        {"CFBundleExecutable", info.executable},
        {"CFBundleIconFile", info.iconFile},
        {"CFBundleIdentifier", info.identifier},
        {"CFBundleInfoDictionaryVersion", std::string("6.0")},
        {"CFBundleName", info.name},
        {"CFBundlePackageType", std::string("APPL")},
        {"CFBundleShortVersionString", info.version},
        {"CFBundleVersion", info.version},
        {"LSMinimumSystemVersion", std::string("11.5")},
        {"LSUIElement", true},
        {"NSHighResolutionCapable", true},
        {"NSHumanReadableCopyright", info.copyright},
        {"NSPrincipalClass", std::string("NSApplication")},
    });
}

std::string launchAgentPath(const std::string& home, const std::string& label) {
    return home + "/Library/LaunchAgents/" + label + ".plist";
}

std::optional<std::string> launchAgentPlist(const std::string& label, const std::string& program) {
    // The program's path is one element of ProgramArguments: launchd runs it
    // directly, no shell ever reads it.
    return xmlPropertyList({
        {"Label", label},
        {"ProgramArguments", std::vector<std::string>{program}},
        {"RunAtLoad", true},
        {"ProcessType", std::string("Interactive")},
        {"LimitLoadToSessionType", std::string("Aqua")},
    });
}

}  // namespace gm::app::macos
