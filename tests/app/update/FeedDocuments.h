#pragma once
// Update feed documents for tests.
#include <QByteArray>
#include <QString>
#include <vector>

namespace gm::update::test {

struct FeedItem {
    QString version;
    QString displayVersion;
    QString url;
    qint64 length = 0;
    QByteArray signature;
    QString notes = QStringLiteral("<ul><li>Smoother.</li></ul>");
    QString notesUrl = QString();  // given: a link instead of the notes
};

inline QByteArray feed(const std::vector<FeedItem>& items) {
    QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:gm="urn:glidemark:update:1"><channel><title>Glidemark</title>)";
    for (const auto& item : items) {
        xml += "<item><title>Glidemark " + item.version.toUtf8() + "</title>";
        if (!item.version.isEmpty()) xml += "<gm:version>" + item.version.toUtf8() + "</gm:version>";
        if (!item.displayVersion.isEmpty())
            xml += "<gm:displayVersion>" + item.displayVersion.toUtf8() + "</gm:displayVersion>";
        if (item.notesUrl.isEmpty())
            xml += "<description><![CDATA[" + item.notes.toUtf8() + "]]></description>";
        else
            xml += "<gm:releaseNotesUrl>" + item.notesUrl.toUtf8() + "</gm:releaseNotesUrl>";
        xml += "<enclosure url=\"" + item.url.toUtf8() + "\" length=\"" + QByteArray::number(item.length) +
               "\" type=\"application/octet-stream\"";
        if (!item.signature.isEmpty()) xml += " gm:signature=\"" + item.signature + "\"";
        xml += "/></item>";
    }
    return xml + "</channel></rss>";
}

}  // namespace gm::update::test
