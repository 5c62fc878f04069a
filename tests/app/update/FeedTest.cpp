#include <gtest/gtest.h>

#include "app/update/UpdateFeed.h"
#include "app/update/Version.h"
#include "app/update/UpdateTestSupport.h"

namespace gm::update {
namespace {

// Numbers, not text; missing parts are zeros; a pre-release comes before its release; huge
// numbers must not wrap.
TEST(VersionTest, ComparesLikePeopleReadVersions) {
    const std::tuple<const char*, const char*, int> rows[] = {
        {"1.10", "1.9", 1},     {"1.2", "1.2.0", 0},    {"1.2.0.0", "1.2", 0},   {"1.2.1", "1.2", 1},
        {"2", "10", -1},        {"1.2b1", "1.2", -1},   {"1.2.0b1", "1.2", -1},  {"1.2rc1", "1.2b3", 1},
        {"1.2b2", "1.2b10", -1}, {"1.2.1", "1.2b", 1}, {"99999999999999999999999", "1", 1}};
    for (const auto& [a, b, expected] : rows) {
        const int c = compareVersions(QString::fromLatin1(a), QString::fromLatin1(b));
        EXPECT_EQ((c > 0) - (c < 0), expected) << a << " against " << b;
    }
}

FeedResult parse(const QByteArray& xml) { return parseFeed(xml, TransportPolicy::HttpsOnly); }

test::FeedItem item(const QString& version) {
    return {version, {}, "https://example.org/Glidemark-" + version + ".tar.gz", 1234, QByteArray(64, 'x').toBase64()};
}

TEST(FeedTest, ReadsEveryFieldOfUsableItemsAndSaysWhyTheOthersAreSkipped) {
    auto full = item("1.3.0");
    full.displayVersion = "1.3";
    auto noSignature = item("2.0"), shortSignature = item("2.1"), noLength = item("2.2"), plainHttp = item("2.3");
    noSignature.signature.clear();
    shortSignature.signature = QByteArray(10, 'x').toBase64();
    noLength.length = 0;
    plainHttp.url = "http://example.org/Glidemark-2.3.tar.gz";
    const auto result = parse(test::feed({noSignature, shortSignature, noLength, plainHttp, item({}), full, item("1.4")}));
    ASSERT_TRUE(result.feed);
    ASSERT_EQ(result.feed->items.size(), 2U);
    const UpdateItem& read = result.feed->items[0];
    EXPECT_EQ(std::tie(read.version, read.displayVersion, read.downloadUrl, read.length, read.signature, read.releaseNotes),
              std::tuple(QString("1.3.0"), QString("1.3"), QUrl(full.url), qint64{1234}, QByteArray(64, 'x'), full.notes));
    // Without a display version people see the version itself.
    EXPECT_EQ(result.feed->items[1].displayVersion, "1.4");
    // The newest update is the highest version above the running one.
    ASSERT_NE(newestUpdate(*result.feed, "1.2"), nullptr);
    EXPECT_EQ(newestUpdate(*result.feed, "1.2")->version, "1.4");
    EXPECT_EQ(newestUpdate(*result.feed, "1.4.0"), nullptr);
    const QString why = result.feed->skipped.join('|');
    for (const char* reason : {"item 1 (2.0) has no signature", "2.1) has a signature that is not 64 bytes",
                               "2.2) has no usable length", "2.3) has a download address that is not HTTPS",
                               "item 5 (no version) has no version"})
        EXPECT_TRUE(why.contains(reason)) << why.toStdString();
    // A feed of nothing but unusable items is an error, not "up to date".
    const auto none = parse(test::feed({noSignature}));
    EXPECT_FALSE(none.feed);
    EXPECT_TRUE(none.error.contains("no usable entry")) << none.error.toStdString();
}

TEST(FeedTest, RejectsDocumentsThatAreNotFeeds) {
    for (const char* blank : {"", " \n"}) EXPECT_EQ(parse(blank).error, QStringLiteral("The update feed is empty."));
    EXPECT_TRUE(parse("<rss><channel><item>").error.startsWith(QStringLiteral("The update feed is not valid XML")));
    EXPECT_TRUE(parse("<html><body>Gateway timeout</body></html>").error.contains(QStringLiteral("not an RSS document")));
    EXPECT_TRUE(parse("<rss version=\"2.0\"/>").error.contains(QStringLiteral("no channel")));
    // Our fields only count in our namespace.
    const auto foreign = parse(R"(<rss xmlns:x="urn:other"><channel><item><x:version>9</x:version>
        <enclosure url="https://example.org/a" length="1"/></item></channel></rss>)");
    ASSERT_FALSE(foreign.feed);
    EXPECT_TRUE(foreign.error.contains(QStringLiteral("has no version"))) << foreign.error.toStdString();
    // An empty channel is a feed with no releases yet.
    const auto empty = parse("<rss><channel><title>x</title></channel></rss>");
    ASSERT_TRUE(empty.feed);
    EXPECT_TRUE(empty.feed->items.empty());
}

TEST(FeedTest, OnlyHttpsLeavesTheMachine) {
    using P = TransportPolicy;
    const std::tuple<const char*, P, bool> rows[] = {
        {"https://example.org/feed.xml", P::HttpsOnly, true},        {"http://example.org/feed.xml", P::HttpsOnly, false},
        {"http://127.0.0.1:8080/feed.xml", P::HttpsOnly, false},     {"http://[::1]/feed.xml", P::HttpsOrLoopbackHttp, true},
        {"http://127.0.0.1:8080/feed.xml", P::HttpsOrLoopbackHttp, true},
        {"http://example.org/feed.xml", P::HttpsOrLoopbackHttp, false}, {"ftp://example.org/x", P::HttpsOrLoopbackHttp, false},
        {"http://127.0.0.1.example.org/feed.xml", P::HttpsOrLoopbackHttp, false},
        {"file:///etc/passwd", P::HttpsOrLoopbackHttp, false}};
    for (const auto& [url, policy, allowed] : rows) EXPECT_EQ(isAllowedUrl(QUrl(url), policy), allowed) << url;
}

}  // namespace
}  // namespace gm::update
