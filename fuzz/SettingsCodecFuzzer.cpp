// The stored settings document is a file anything running as the user can
// write. Any bytes decode to settings or to an error saying where the document
// went wrong; whatever decodes can be stored again and reads back the same.
#include "FuzzCheck.h"
#include "settings/SettingsCodec.h"

using gm::fuzz::expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto decoded = gm::settings::decode(gm::fuzz::textOf(data, size));
    if (!decoded) {
        expect(!decoded.error.empty(), "a rejected document says why");
        return 0;
    }
    const auto stored = gm::settings::encode(*decoded.settings);
    expect(stored.has_value(), "decoded settings can be stored again");
    const auto again = gm::settings::decode(*stored);
    expect(again && *again.settings == *decoded.settings, "stored settings read back equal");
    // Equality looks at the exceptions' bundle ids only; their values must survive too.
    expect(gm::settings::encode(*again.settings) == stored, "stored settings read back the same, values and all");
    return 0;
}
