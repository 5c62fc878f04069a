#pragma once
// The registry of the program's on-demand windows (preferences, About): at
// most one window per identifier, brought forward when asked for again,
// forgotten when it closes. Every registration and removal is announced with
// `windowStateChanged`, which the tray icon uses to re-check its visibility.
#include <QObject>
#include <QString>
#include <functional>
#include <map>

#include "app/CustomWindow.h"

class QWidget;

namespace gm::app {

// Window levels: normal windows, or windows that float above them.
enum class WindowLevel { Normal = 0, Floating = 3 };

// Window decorations, as bits.
enum WindowStyle : unsigned {
    kWindowStyleBorderless = 0,
    kWindowStyleTitled = 1U << 0,
    kWindowStyleClosable = 1U << 1,
    kWindowStyleMiniaturizable = 1U << 2,
    kWindowStyleResizable = 1U << 3,
};

class WindowManager : public QObject {
    Q_OBJECT
public:
    // Builds a window's content when the window is created; not called when
    // the window already exists. The window takes ownership.
    using ContentFactory = std::function<QWidget*()>;

    explicit WindowManager(QObject* parent = nullptr);
    ~WindowManager() override;

    // The live instance (the application delegate owns it), or null.
    static WindowManager* shared();

    void openWindow(const QString& id, const QString& title, const ContentFactory& content,
                    WindowLevel level = WindowLevel::Normal,
                    unsigned styleMask = kWindowStyleTitled | kWindowStyleClosable);
    // Closes every registered window (each one unregisters as it closes).
    void closeAll();

    CustomWindow* window(const QString& id) const;
    int count() const { return static_cast<int>(windows_.size()); }
    bool hasVisibleWindows() const;

signals:
    void windowStateChanged();

private:
    std::map<QString, CustomWindow*> windows_;
};

}  // namespace gm::app
