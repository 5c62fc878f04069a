#pragma once
// Building blocks shared by the preferences pages: the text styles, the
// on/off switch, the clickable section heading, and the settings observer
// that keeps a page in step with the settings manager.
#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <functional>

#include "settings/SettingsManager.h"

class QWidget;

namespace gm::preferences {

// Text styles, relative to the widget's own font so they follow the desktop's size.
QFont footnoteFont(const QFont& base);
QFont captionFont(const QFont& base);
QFont title3Font(const QFont& base);
// Less prominent text: the window text blended towards the window colour.
QColor secondaryTextColor(const QPalette& palette);
// A grey that reads on both light and dark windows, at the given opacity.
QColor greyFill(const QPalette& palette, qreal opacity);
// The colour of the selected tab and other highlights.
QColor accentColor(const QPalette& palette);

// A help or hint text: footnote size, secondary colour, wraps.
QLabel* makeFootnoteLabel(const QString& text, QWidget* parent = nullptr);
// A thin horizontal line in the palette's mid colour.
QWidget* makeDivider(QWidget* parent = nullptr);

// An on/off switch with an optional label before it.
class SwitchButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchButton(const QString& text = {}, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // Drawn on a selected list row, whose background is the accent colour.
    void setOnSelection(bool onSelection);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QRectF trackRect() const;
    bool onSelection_ = false;
    static constexpr int kTrackWidth = 30;
    static constexpr int kTrackHeight = 17;
    static constexpr int kGap = 8;
};

// A label that reports a click (press and release inside it).
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// Registers with the settings manager for as long as it lives. The manager
// calls observers before the new record replaces the current one, so the
// callback is handed that new record and must draw from it, not from
// `settings()`. A change announced on another thread is passed on to the
// context's thread (and dropped if the context is gone by then).
class SettingsObservation {
public:
    using Callback = std::function<void(const settings::GlidemarkSettings&)>;
    SettingsObservation(settings::SettingsManager& manager, QObject* context, Callback callback);
    ~SettingsObservation();
    SettingsObservation(const SettingsObservation&) = delete;
    SettingsObservation& operator=(const SettingsObservation&) = delete;

private:
    settings::SettingsManager& manager_;
    settings::SettingsManager::ObserverId id_;
};

}  // namespace gm::preferences
