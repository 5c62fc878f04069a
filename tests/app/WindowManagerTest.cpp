// The window registry: one window per identifier, brought forward, forgotten
// on close, announced every time; and the windows' refusal of Ctrl+Q.
#include <QAction>
#include <QLabel>
#include <QLineEdit>

#include "AppTestSupport.h"
#include "app/WindowManager.h"

namespace gm::app::test {
namespace {

class WindowManagerTest : public ::testing::Test {
protected:
    WindowManager::ContentFactory countingContent(const QString& text) {
        return [this, text] {
            ++built;
            auto* label = new QLabel(text);
            label->setMinimumSize(320, 180);
            return label;
        };
    }

    WindowManager windows;
    QSignalSpy changes{&windows, &WindowManager::windowStateChanged};
    int built = 0;
};

TEST_F(WindowManagerTest, OpeningTwiceBringsTheWindowForwardAndClosingForgetsIt) {
    windows.openWindow("preferences", "Glidemark Preferences", countingContent("first"));
    CustomWindow* first = windows.window("preferences");
    ASSERT_NE(first, nullptr);
    // The window takes the size its content asks for.
    EXPECT_TRUE(first->isVisible() && first->width() >= 320 && first->height() >= 180) << first->width();

    first->hide();
    windows.openWindow("preferences", "Another title", countingContent("second"));
    EXPECT_EQ(std::tuple(windows.window("preferences"), windows.count(), built, first->isVisible(), changes.count()),
              std::tuple(first, 1, 1, true, 1));
    EXPECT_EQ(first->windowTitle(), "Glidemark Preferences");

    const QPointer<CustomWindow> closed(first);
    first->close();
    EXPECT_EQ(std::tuple(windows.window("preferences"), windows.hasVisibleWindows(), changes.count()),
              std::tuple(nullptr, false, 2));
    windows.openWindow("preferences", "Glidemark Preferences", countingContent("again"));
    EXPECT_EQ(std::tuple(built, changes.count()), std::tuple(2, 3));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
    EXPECT_NE(windows.window("preferences"), nullptr);
}

TEST_F(WindowManagerTest, CtrlQIsRefusedWhileOtherKeysPassThrough) {
    QLineEdit* field = nullptr;
    windows.openWindow("preferences", "Glidemark Preferences", [&] { return field = new QLineEdit; });
    CustomWindow* window = windows.window("preferences");
    QSignalSpy refused(window, &CustomWindow::quitShortcutRefused);
    // An application-wide quit shortcut must not fire from inside the window.
    QAction quitAction;
    quitAction.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction.setShortcutContext(Qt::ApplicationShortcut);
    window->addAction(&quitAction);
    QSignalSpy quits(&quitAction, &QAction::triggered);
    QApplication::setActiveWindow(window);
    field->setFocus();

    QTest::keyClick(field, Qt::Key_Q, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(std::tuple(refused.count(), quits.count()), std::tuple(2, 0));
    EXPECT_NE(windows.window("preferences"), nullptr);

    QTest::keyClicks(field, "qw");
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(std::tuple(field->text(), field->selectedText(), refused.count()), std::tuple("qw", "qw", 2));
    window->removeAction(&quitAction);
}

}  // namespace
}  // namespace gm::app::test
