// The HUD: where it appears, that it never takes input, and that each overlay
// keeps its own time.
#include <QElapsedTimer>
#include <QScreen>

#include "AppTestSupport.h"
#include "app/HUDManager.h"

namespace gm::app::test {
namespace {

constexpr HUDManager::Timings kQuick{0.02, 0.04};

TEST(HUDTest, OverlayIsCentredClickThroughNeverFocusedAndGoesWithItsManager) {
    auto hud = std::make_unique<HUDManager>();
    hud->show("Glidemark enabled", std::nullopt, 5.0, 300.0);
    QWidget* overlay = hud->window();
    ASSERT_NE(overlay, nullptr);

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(overlay->geometry(), QRect(QPoint(), QSize(300, 300)).translated(area.center() - QPoint(149, 149)));

    // The window system keeps input and focus away from it, whatever the platform makes of widgetAt.
    const auto kept = Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint;
    EXPECT_EQ(overlay->windowFlags() & kept, kept);
    EXPECT_TRUE(overlay->isVisible() && QApplication::activeWindow() != overlay);
    // A click where it shows goes to whatever is beneath: nothing of ours answers.
    EXPECT_EQ(QApplication::widgetAt(area.center()), nullptr);
    const QPointer<QWidget> showing(overlay);
    hud.reset();
    EXPECT_TRUE(showing.isNull());
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
    QWidget* first = hud.window();
    QTest::qWait(100);
    hud.show("second", std::nullopt, 0.5, 300.0);
    QWidget* second = hud.window();
    const qint64 secondShown = clock.elapsed();
    ASSERT_NE(first, second);

    ASSERT_TRUE(QTest::qWaitFor([&] { return closings.size() == 1; }, 2000));
    EXPECT_EQ(closings[0].first, first);
    // The first overlay's end leaves the newer one on screen and current.
    EXPECT_TRUE(second->isVisible() && hud.window() == second);

    ASSERT_TRUE(QTest::qWaitFor([&] { return closings.size() == 2; }, 2000));
    EXPECT_EQ(closings[1].first, second);
    EXPECT_GE(closings[1].second, secondShown + 500 + 40);
    EXPECT_EQ(hud.window(), nullptr);
}

}  // namespace
}  // namespace gm::app::test
