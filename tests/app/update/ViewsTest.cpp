#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/update/AboutView.h"

namespace gm::update {
namespace {

TEST(AboutViewTest, ShowsNameVersionBuildOwnershipAndSupport) {
    std::vector<QUrl> opened;
    AboutView view({QStringLiteral("0.1.0"), QStringLiteral("v0.1.0-4-g1a2b3c4"), QStringLiteral("© 2026 Someone"),
                    QStringLiteral("help@example.org"), QUrl(QStringLiteral("https://example.org/faq"))},
                   [&](const QUrl& url) { return opened.push_back(url), true; });
    QStringList texts;
    for (auto* label : view.findChildren<QLabel*>()) texts << label->text();
    for (const char* expected : {"Glidemark", "Version 0.1.0 (v0.1.0-4-g1a2b3c4)", "© 2026 Someone", "help@example.org"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_EQ(view.faqButton()->text(), QStringLiteral("FAQ"));
    view.faqButton()->click();
    ASSERT_EQ(opened.size(), 1U);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://example.org/faq")));
}

TEST(AboutViewTest, VersionLineCopesWithMissingParts) {
    EXPECT_EQ(AboutView::versionLine(QStringLiteral("0.1.0"), QStringLiteral("abc1234")), QStringLiteral("Version 0.1.0 (abc1234)"));
    // Without git the build is the version itself; saying it twice helps nobody.
    EXPECT_EQ(AboutView::versionLine(QStringLiteral("0.1.0"), QStringLiteral("0.1.0")), QStringLiteral("Version 0.1.0"));
    EXPECT_EQ(AboutView::versionLine(QStringLiteral("0.1.0"), QString()), QStringLiteral("Version 0.1.0"));
    EXPECT_EQ(AboutView::versionLine(QString(), QString()), QStringLiteral("Version unknown"));
    AboutView noFaq({QStringLiteral("1"), {}, {}, {}, QUrl()}, [](const QUrl&) { return true; });
    EXPECT_FALSE(noFaq.faqButton()->isEnabled());
}

}  // namespace
}  // namespace gm::update
