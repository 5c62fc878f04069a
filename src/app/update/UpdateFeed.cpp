#include "app/update/UpdateFeed.h"

#include <QHostAddress>
#include <QXmlStreamReader>

#include "app/update/Version.h"

namespace gm::update {

bool isAllowedUrl(const QUrl& url, TransportPolicy policy) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) return true;
    if (scheme != QLatin1String("http") || policy != TransportPolicy::HttpsOrLoopbackHttp) return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

namespace {

bool isOurs(const QXmlStreamReader& xml, const char* name) {
    return xml.namespaceUri() == QLatin1String(kFeedNamespace) && xml.name() == QLatin1String(name);
}

bool isPlain(const QXmlStreamReader& xml, const char* name) {
    return xml.namespaceUri().isEmpty() && xml.name() == QLatin1String(name);
}

// Reads one <item> (the reader stands on its start element). Returns the reason it is
// unusable, or an empty string.
QString readItem(QXmlStreamReader& xml, UpdateItem& item, TransportPolicy policy) {
    QString url;
    QString length;
    QString signature;
    bool haveEnclosure = false;
    while (xml.readNextStartElement()) {
        if (isOurs(xml, "version")) {
            item.version = xml.readElementText().trimmed();
        } else if (isOurs(xml, "displayVersion")) {
            item.displayVersion = xml.readElementText().trimmed();
        } else if (isOurs(xml, "releaseNotesUrl")) {
            item.releaseNotesUrl = QUrl(xml.readElementText().trimmed());
        } else if (isPlain(xml, "description")) {
            item.releaseNotes = xml.readElementText().trimmed();
        } else if (isPlain(xml, "title")) {
            item.title = xml.readElementText().trimmed();
        } else if (isPlain(xml, "enclosure")) {
            haveEnclosure = true;
            const auto attributes = xml.attributes();
            url = attributes.value(QLatin1String("url")).toString().trimmed();
            length = attributes.value(QLatin1String("length")).toString().trimmed();
            signature = attributes.value(QLatin1String(kFeedNamespace), QLatin1String("signature"))
                            .toString()
                            .trimmed();
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError()) return {};
    if (item.version.isEmpty()) return QStringLiteral("no version");
    if (item.displayVersion.isEmpty()) item.displayVersion = item.version;
    if (!haveEnclosure) return QStringLiteral("no enclosure");
    item.downloadUrl = QUrl(url);
    if (url.isEmpty()) return QStringLiteral("no download address");
    if (!isAllowedUrl(item.downloadUrl, policy)) return QStringLiteral("a download address that is not HTTPS");
    bool ok = false;
    item.length = length.toLongLong(&ok);
    if (!ok || item.length <= 0) return QStringLiteral("no usable length");
    item.signature = QByteArray::fromBase64(signature.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (signature.isEmpty()) return QStringLiteral("no signature");
    if (item.signature.size() != 64) return QStringLiteral("a signature that is not 64 bytes of base64");
    if (!item.releaseNotesUrl.isEmpty() && !isAllowedUrl(item.releaseNotesUrl, policy))
        item.releaseNotesUrl.clear();  // notes are a nicety; an unsafe link is dropped, not fatal
    return {};
}

}  // namespace

FeedResult parseFeed(const QByteArray& document, TransportPolicy policy) {
    if (document.trimmed().isEmpty()) return {std::nullopt, QStringLiteral("The update feed is empty.")};
    QXmlStreamReader xml(document);
    UpdateFeed feed;
    bool sawChannel = false;
    if (!xml.readNextStartElement() || !isPlain(xml, "rss")) {
        if (!xml.hasError())
            return {std::nullopt, QStringLiteral("The update feed is not an RSS document.")};
    } else {
        while (xml.readNextStartElement()) {
            if (!isPlain(xml, "channel")) {
                xml.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            int index = 0;
            while (xml.readNextStartElement()) {
                if (!isPlain(xml, "item")) {
                    xml.skipCurrentElement();
                    continue;
                }
                ++index;
                UpdateItem item;
                const QString problem = readItem(xml, item, policy);
                if (problem.isEmpty()) {
                    if (!xml.hasError()) feed.items.push_back(std::move(item));
                } else {
                    feed.skipped << QStringLiteral("item %1 (%2) has %3")
                                           .arg(index)
                                           .arg(item.version.isEmpty() ? QStringLiteral("no version") : item.version,
                                                problem);
                }
            }
        }
    }
    if (xml.hasError())
        return {std::nullopt, QStringLiteral("The update feed is not valid XML: %1 (line %2).")
                                  .arg(xml.errorString())
                                  .arg(xml.lineNumber())};
    if (!sawChannel) return {std::nullopt, QStringLiteral("The update feed has no channel.")};
    if (feed.items.empty() && !feed.skipped.isEmpty())
        return {std::nullopt, QStringLiteral("The update feed has no usable entry: %1.").arg(feed.skipped.join(QStringLiteral("; ")))};
    return {std::move(feed), {}};
}

const UpdateItem* newestUpdate(const UpdateFeed& feed, const QString& currentVersion) {
    const UpdateItem* best = nullptr;
    for (const auto& item : feed.items) {
        if (compareVersions(item.version, currentVersion) <= 0) continue;
        if (!best || compareVersions(item.version, best->version) > 0) best = &item;
    }
    return best;
}

}  // namespace gm::update
