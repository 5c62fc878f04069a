#include "app/CustomWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

namespace gm::app {

namespace {

bool isQuitShortcut(const QKeyEvent& key) {
    return key.key() == Qt::Key_Q && key.modifiers().testFlag(Qt::ControlModifier);
}

}  // namespace

CustomWindow::CustomWindow(QWidget* parent) : QWidget(parent, Qt::Window) {}

bool CustomWindow::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isQuitShortcut(*key)) {
            // Accepting the override keeps any application-wide Ctrl+Q shortcut
            // from firing; the key press that follows is the one we answer.
            key->accept();
            if (event->type() == QEvent::KeyPress) {
                QApplication::beep();
                emit quitShortcutRefused();
            }
            return true;
        }
    }
    return QWidget::event(event);
}

void CustomWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!isVisible() || !screen()) return;
    const QRect available = screen()->availableGeometry();
    QRect frame = frameGeometry();
    if (frame.bottom() <= available.bottom()) return;
    frame.moveBottom(available.bottom());
    if (frame.top() < available.top()) frame.moveTop(available.top());
    move(frame.topLeft());
}

void CustomWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) emit willClose();
}

}  // namespace gm::app
