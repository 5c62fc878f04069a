#pragma once
// The top-level window the registry builds around a content widget. It
// refuses the quit shortcut: while one of these windows has the keyboard,
// Ctrl+Q only beeps, so the program (which lives in the tray) is never quit
// by accident when the user meant to leave a window; quitting is the tray
// menu's business.
#include <QWidget>

namespace gm::app {

class CustomWindow : public QWidget {
    Q_OBJECT
public:
    explicit CustomWindow(QWidget* parent = nullptr);

signals:
    // The window is closing (the close was accepted).
    void willClose();
    // Ctrl+Q was pressed in this window and refused with a beep.
    void quitShortcutRefused();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // A window that follows its content's height (the preferences' pages)
    // keeps its top where it is, unless growing would take it off the screen.
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace gm::app
