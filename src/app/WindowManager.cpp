#include "app/WindowManager.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <vector>

#include "app/update/WindowActivation.h"
#include "platform/Log.h"

namespace gm::app {

namespace {

WindowManager* liveInstance = nullptr;

Qt::WindowFlags flagsFor(WindowLevel level, unsigned styleMask) {
    Qt::WindowFlags flags = Qt::Window;
    if (!(styleMask & kWindowStyleTitled)) {
        flags |= Qt::FramelessWindowHint;
    } else {
        // Ask for exactly the buttons the style names.
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (styleMask & kWindowStyleClosable) flags |= Qt::WindowCloseButtonHint;
        if (styleMask & kWindowStyleMiniaturizable) flags |= Qt::WindowMinimizeButtonHint;
        if (styleMask & kWindowStyleResizable) flags |= Qt::WindowMaximizeButtonHint;
    }
    if (level == WindowLevel::Floating) flags |= Qt::WindowStaysOnTopHint;
    return flags;
}

}  // namespace

WindowManager::WindowManager(QObject* parent) : QObject(parent) {
    liveInstance = this;
    platform::log().info("Module initialized: WindowManager");
}

WindowManager::~WindowManager() {
    if (liveInstance == this) liveInstance = nullptr;
    const auto open = std::move(windows_);
    windows_.clear();
    for (auto& [id, window] : open) {
        disconnect(window, nullptr, this, nullptr);
        delete window;
    }
}

WindowManager* WindowManager::shared() { return liveInstance; }

void WindowManager::openWindow(const QString& id, const QString& title, const ContentFactory& content,
                               WindowLevel level, unsigned styleMask) {
    if (CustomWindow* existing = window(id)) {
        // Title, content and style of a window that is already open stay as they are.
        update::bringWindowForward(*existing);
        return;
    }

    auto* window = new CustomWindow;
    window->setWindowFlags(flagsFor(level, styleMask));
    window->setWindowTitle(title);
    window->setObjectName(id);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    if (QWidget* view = content ? content() : nullptr) layout->addWidget(view);

    // The window takes the size its content asks for; one the user cannot
    // resize keeps following it (the preferences change height with the tab).
    if (!(styleMask & kWindowStyleResizable)) layout->setSizeConstraint(QLayout::SetFixedSize);
    window->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }

    connect(window, &CustomWindow::willClose, this, [this, id, window] {
        auto it = windows_.find(id);
        if (it == windows_.end() || it->second != window) return;
        windows_.erase(it);
        // A closed window is not reused: opening it again builds fresh content.
        window->deleteLater();
        emit windowStateChanged();
    });

    // Should the window go without closing (torn down with the program), forget it quietly.
    connect(window, &QObject::destroyed, this, [this, id, window] {
        auto it = windows_.find(id);
        if (it != windows_.end() && it->second == window) windows_.erase(it);
    });

    windows_[id] = window;
    update::bringWindowForward(*window);
    emit windowStateChanged();
}

void WindowManager::closeAll() {
    // Closing unregisters, so walk a copy; a window closed by an earlier one is skipped.
    std::vector<QString> ids;
    for (auto& [id, window] : windows_) ids.push_back(id);
    for (const QString& id : ids)
        if (CustomWindow* open = window(id)) open->close();
}

CustomWindow* WindowManager::window(const QString& id) const {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second;
}

bool WindowManager::hasVisibleWindows() const {
    for (const auto& [id, window] : windows_)
        if (window->isVisible()) return true;
    return false;
}

}  // namespace gm::app
