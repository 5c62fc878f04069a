#pragma once
// The update feed: an RSS 2.0 document whose items describe released versions (format in the
// README, section "Update feed").
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <vector>

namespace gm::update {

// Which addresses the updater may fetch. Release builds only ever use HTTPS; tests serve
// their feed over plain HTTP on the loopback interface.
enum class TransportPolicy { HttpsOnly, HttpsOrLoopbackHttp };

bool isAllowedUrl(const QUrl& url, TransportPolicy policy);

inline constexpr const char* kFeedNamespace = "urn:glidemark:update:1";

struct UpdateItem {
    QString title;
    QString version;         // compared with the running version
    QString displayVersion;  // shown to people; the version when the feed gives none
    QUrl releaseNotesUrl;    // either a page to fetch ...
    QString releaseNotes;    // ... or the notes themselves (HTML or plain text)
    QUrl downloadUrl;
    qint64 length = 0;       // bytes
    QByteArray signature;    // raw 64-byte ed25519 signature of the download
};

struct UpdateFeed {
    std::vector<UpdateItem> items;
    QStringList skipped;  // one line per unusable item, for the log
};

struct FeedResult {
    std::optional<UpdateFeed> feed;
    QString error;  // why the document could not be used, for people
};

FeedResult parseFeed(const QByteArray& document, TransportPolicy policy);

// The newest item strictly newer than currentVersion, or nullptr.
const UpdateItem* newestUpdate(const UpdateFeed& feed, const QString& currentVersion);

}  // namespace gm::update
