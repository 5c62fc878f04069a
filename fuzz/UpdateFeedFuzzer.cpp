// The update feed comes from the network. Any document gives a feed or a
// reason for people; every item that survives is one the updater can act on
// safely, and picking the newest one never fails.
#include <QByteArray>

#include "FuzzCheck.h"
#include "app/update/UpdateFeed.h"
#include "app/update/Version.h"

using gm::fuzz::expect;
using namespace gm::update;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto document = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const auto policy : {TransportPolicy::HttpsOnly, TransportPolicy::HttpsOrLoopbackHttp}) {
        const auto result = parseFeed(document, policy);
        if (!result.feed) {
            expect(!result.error.isEmpty(), "a rejected feed says why");
            continue;
        }
        for (const auto& item : result.feed->items) {
            expect(!item.version.isEmpty() && !item.displayVersion.isEmpty(), "an item has a version");
            expect(isAllowedUrl(item.downloadUrl, policy), "an item downloads over an allowed transport");
            expect(item.releaseNotesUrl.isEmpty() || isAllowedUrl(item.releaseNotesUrl, policy),
                   "release notes link over an allowed transport");
            expect(item.length > 0 && item.signature.size() == 64, "an item has a length and a signature");
        }
        const auto* newest = newestUpdate(*result.feed, QStringLiteral("0.1.0"));
        for (const auto& item : result.feed->items)
            expect(!newest || compareVersions(item.version, newest->version) <= 0, "no item is newer than the newest");
    }
    return 0;
}
