#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/update/AboutView.h"
#include "app/update/UpdateTestSupport.h"
#include "app/update/UpdatesView.h"

namespace gm::update {
namespace {

QStringList labels(const QWidget& widget) {
    QStringList texts;
    for (auto* label : widget.findChildren<QLabel*>()) texts << label->text();
    return texts;
}

TEST(UpdatesViewTest, TheButtonStartsACheckTheUserSees) {
    test::Harness h;
    h.offer(QStringLiteral("1.3"), "payload");
    h.start();
    UpdatesView view(h.updater());
    QSignalSpy finished(&h.updater(), &Updater::checkFinished);
    view.checkForUpdatesView()->button()->click();
    ASSERT_TRUE(finished.wait(2000));
    EXPECT_TRUE(h.windowVisible());
    EXPECT_TRUE(h.notifier->posted.empty());
}

TEST(AboutViewTest, ShowsNameVersionBuildOwnershipAndSupport) {
    std::vector<QUrl> opened;
    AboutView view({QStringLiteral("0.1.0"), QStringLiteral("v0.1.0-4-g1a2b3c4"), QStringLiteral("© 2026 Someone"),
                    QStringLiteral("help@example.org"), QUrl(QStringLiteral("https://example.org/faq"))},
                   [&](const QUrl& url) {
                       opened.push_back(url);
                       return true;
                   });
    const QStringList texts = labels(view);
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
