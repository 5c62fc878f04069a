#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "app/update/AboutView.h"

namespace gm::update {
namespace {

TEST(AboutViewTest, ShowsNameVersionBuildOwnershipAndSupportAndCopesWithMissingParts) {
    std::vector<QUrl> opened;
    AboutView view({"0.1.0", "v0.1.0-4-g1a2b3c4", "© 2026 Someone", "help@example.org", QUrl("https://example.org/faq")},
                   [&](const QUrl& url) { return opened.push_back(url), true; });
    QStringList texts;
    for (auto* label : view.findChildren<QLabel*>()) texts << label->text();
    for (const char* expected : {"Glidemark", "Version 0.1.0 (v0.1.0-4-g1a2b3c4)", "© 2026 Someone", "help@example.org"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_EQ(view.faqButton()->text(), "FAQ");
    view.faqButton()->click();
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl("https://example.org/faq")});

    // Without git the build is the version itself; saying it twice helps nobody.
    for (const auto& [version, build, line] : {std::tuple{"0.1.0", "abc1234", "Version 0.1.0 (abc1234)"},
                                               {"0.1.0", "0.1.0", "Version 0.1.0"}, {"0.1.0", "", "Version 0.1.0"}, {"", "", "Version unknown"}})
        EXPECT_EQ(AboutView::versionLine(version, build), line) << build;
    AboutView noFaq({"1", {}, {}, {}, QUrl()}, [](const QUrl&) { return true; });
    EXPECT_FALSE(noFaq.faqButton()->isEnabled());
}

}  // namespace
}  // namespace gm::update
