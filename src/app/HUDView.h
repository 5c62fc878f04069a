#pragma once
// The overlay's content: an icon above one line of text on a translucent
// rounded panel. The panel hugs its content (padding included) and sits in
// the middle of the view; the rest of the view is transparent.
#include <QString>
#include <QWidget>
#include <optional>

namespace gm::app {

class HUDView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSpacing = 12;
    static constexpr int kPadding = 30;
    static constexpr qreal kCornerRadius = 16.0;
    static constexpr int kArtworkSide = 64;
    static constexpr int kSymbolPixelSize = 30;
    static constexpr int kMessagePixelSize = 22;

    // `systemImage`: a themed icon name shown above the text; without one,
    // the program's own artwork is shown.
    explicit HUDView(QString message, std::optional<QString> systemImage = std::nullopt, QWidget* parent = nullptr);

    const QString& message() const { return message_; }
    const std::optional<QString>& systemImage() const { return systemImage_; }

    // Where the panel, the icon and the text are drawn, in view coordinates.
    QRect panelRect() const;
    QRect iconRect() const;
    QRect textRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont messageFont() const;
    QSize iconSize() const;
    QSize contentSize() const;

    QString message_;
    std::optional<QString> systemImage_;
};

}  // namespace gm::app
