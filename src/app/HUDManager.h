#pragma once
// Shows the transient overlay that confirms a state change ("Glidemark
// enabled"): a square, click-through, focus-less window in the middle of the
// primary screen's available area that fades in, stays, fades out and closes.
// Each overlay runs its own timers, so showing a second one never cuts the
// first short, nor the first's end the second.
#include <QObject>
#include <QString>
#include <optional>
#include <set>

class QWidget;

namespace gm::app {

class HUDManager : public QObject {
    Q_OBJECT
public:
    struct Timings {
        double fadeIn = 0.25;   // seconds
        double fadeOut = 0.4;   // seconds
    };

    explicit HUDManager(QObject* parent = nullptr);
    ~HUDManager() override;

    // The live instance (the application delegate owns it), or null.
    static HUDManager* shared();

    void setTimings(Timings timings) { timings_ = timings; }

    // `duration`: seconds the overlay stays before it fades out; `size`: the
    // side of the square window.
    void show(const QString& message, const std::optional<QString>& systemImage, double duration, double size);

    // The overlay shown last, while it is on screen.
    QWidget* window() const { return window_; }

signals:
    // An overlay has faded out and closed.
    void overlayClosed(QWidget* overlay);

private:
    Timings timings_;
    QWidget* window_ = nullptr;
    std::set<QWidget*> overlays_;  // every overlay still on screen
};

}  // namespace gm::app
