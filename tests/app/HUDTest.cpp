// The HUD: where it appears, that it never takes input, its layout, and that
// each overlay keeps its own time.
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "app/HUDManager.h"
#include "app/HUDView.h"

namespace gm::app::test {
namespace {

constexpr HUDManager::Timings kQuick{0.02, 0.04};

QWidget* overlayOf(HUDManager& hud) { return hud.window(); }

TEST(HUDTest, OverlayIsCentredClickThroughAndNeverFocused) {
    HUDManager hud;
    hud.setTimings(kQuick);
    hud.show("Glidemark enabled", std::nullopt, 5.0, 300.0);
    QWidget* overlay = overlayOf(hud);
    ASSERT_NE(overlay, nullptr);

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(overlay->size(), QSize(300, 300));
    EXPECT_EQ(overlay->geometry().center(), area.center());

    const Qt::WindowFlags flags = overlay->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(overlay->windowType(), Qt::Tool);
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_NE(QApplication::activeWindow(), overlay);
    // A click where it shows goes to whatever is beneath: nothing of ours answers.
    EXPECT_EQ(QApplication::widgetAt(area.center()), nullptr);
}

TEST(HUDTest, ViewStacksIconAboveTextOnAPaddedPanel) {
    HUDView view("Glidemark enabled");
    view.resize(300, 300);
    const QRect panel = view.panelRect();
    const QRect icon = view.iconRect();
    const QRect text = view.textRect();

    EXPECT_EQ(panel.center(), view.rect().center());
    EXPECT_EQ(icon.size(), QSize(64, 64));
    EXPECT_EQ(icon.top(), panel.top() + 30);
    EXPECT_EQ(text.top(), icon.bottom() + 1 + 12);
    EXPECT_EQ(text.bottom(), panel.bottom() - 30);
    EXPECT_EQ(icon.center().x(), panel.center().x());
    EXPECT_GE(text.left(), panel.left() + 30);
    EXPECT_LE(text.right(), panel.right() - 30);
    // The message fits on its line at its size.
    QFont font = view.font();
    font.setPixelSize(22);
    font.setWeight(QFont::Medium);
    EXPECT_GE(text.width(), QFontMetrics(font).horizontalAdvance("Glidemark enabled"));
    EXPECT_TRUE(view.rect().contains(panel));

    HUDView symbol("Muted", QStringLiteral("audio-volume-muted"));
    symbol.resize(300, 300);
    EXPECT_EQ(symbol.iconRect().size(), QSize(30, 30));
}

TEST(HUDTest, OverlappingOverlaysEachEndOnTheirOwnTime) {
    HUDManager hud;
    hud.setTimings(kQuick);
    std::vector<std::pair<QWidget*, qint64>> closings;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&hud, &HUDManager::overlayClosed,
                     [&](QWidget* overlay) { closings.emplace_back(overlay, clock.elapsed()); });

    hud.show("first", std::nullopt, 0.2, 300.0);
    QWidget* first = overlayOf(hud);
    QTest::qWait(100);
    hud.show("second", std::nullopt, 0.5, 300.0);
    QWidget* second = overlayOf(hud);
    const qint64 secondShown = clock.elapsed();
    ASSERT_NE(first, second);

    ASSERT_TRUE(QTest::qWaitFor([&] { return closings.size() == 1; }, 2000));
    EXPECT_EQ(closings[0].first, first);
    // The first overlay's end leaves the newer one on screen and current.
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(hud.window(), second);

    ASSERT_TRUE(QTest::qWaitFor([&] { return closings.size() == 2; }, 2000));
    EXPECT_EQ(closings[1].first, second);
    EXPECT_GE(closings[1].second, secondShown + 500 + 40);
    EXPECT_EQ(hud.window(), nullptr);
}

TEST(HUDTest, OverlaysStillShowingGoWithTheManager) {
    QPointer<QWidget> overlay;
    {
        HUDManager hud;
        hud.show("Glidemark enabled", std::nullopt, 10.0, 300.0);
        overlay = overlayOf(hud);
        ASSERT_TRUE(overlay);
    }
    EXPECT_TRUE(overlay.isNull());
}

}  // namespace
}  // namespace gm::app::test
