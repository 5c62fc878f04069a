// Writes the generated files of the macOS bundle at build time:
//   glidemark-bundle-files info-plist OUT IDENTIFIER NAME EXECUTABLE VERSION ICONFILE COPYRIGHT
//   glidemark-bundle-files icns OUT PIXELS=PNG...
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/macos/IconFamily.h"
#include "app/macos/PropertyList.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "glidemark-bundle-files: %s\n", message.c_str());
    return 1;
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

int iconFamilyCommand(const std::string& output, const std::vector<std::string>& images) {
    std::vector<std::pair<std::string, std::string>> typed;
    for (const std::string& image : images) {
        const auto equals = image.find('=');
        if (equals == std::string::npos) return fail("expected PIXELS=PNG, got '" + image + "'");
        const int pixels = std::atoi(image.substr(0, equals).c_str());
        const std::vector<std::string> types = gm::app::macos::iconTypesForSize(pixels);
        if (types.empty()) return fail("no icon slot takes " + image.substr(0, equals) + " pixels");
        const auto png = readFile(image.substr(equals + 1));
        if (!png) return fail("cannot read " + image.substr(equals + 1));
        for (const std::string& type : types) typed.emplace_back(type, *png);
    }
    const auto icns = gm::app::macos::iconFamily(typed);
    if (!icns) return fail("the images are too large for an icon file");
    return writeFile(output, *icns) ? 0 : fail("cannot write " + output);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 8 && args[0] == "info-plist") {
        const auto plist = gm::app::macos::infoPlist({args[2], args[3], args[4], args[5], args[6], args[7]});
        if (!plist) return fail("a value holds a character a property list cannot carry");
        return writeFile(args[1], *plist) ? 0 : fail("cannot write " + args[1]);
    }
    if (args.size() >= 3 && args[0] == "icns") return iconFamilyCommand(args[1], {args.begin() + 2, args.end()});
    return fail("usage: info-plist OUT IDENTIFIER NAME EXECUTABLE VERSION ICONFILE COPYRIGHT | icns OUT PIXELS=PNG...");
}
