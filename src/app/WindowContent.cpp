#include "app/WindowContent.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/Artwork.h"

namespace gm::app {

namespace {

QWidget* interimView(const QString& headline, const QString& body) {
    auto* view = new QWidget;
    view->setFixedWidth(440);
    auto* row = new QHBoxLayout(view);
    row->setContentsMargins(24, 24, 24, 24);
    row->setSpacing(24);
    auto* icon = new QLabel;
    icon->setPixmap(artwork::pixmap(artwork::kGlidemouse, QSize(72, 72), view->devicePixelRatioF()));
    icon->setFixedSize(72, 72);
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    auto* title = new QLabel(headline);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    auto* text = new QLabel(body);
    text->setWordWrap(true);
    column->addWidget(title);
    column->addWidget(text);
    column->addStretch(1);
    row->addLayout(column, 1);
    return view;
}

}  // namespace

WindowContent WindowContent::interim() {
    return {[] {
                return interimView(QStringLiteral("Preferences"),
                                   QStringLiteral("Scrolling, exceptions and update settings will appear here."));
            },
            [] {
                return interimView(QStringLiteral("Glidemark"),
                                   QStringLiteral("Version %1\nSmooth scrolling for notched mouse wheels.")
                                       .arg(QCoreApplication::applicationVersion()));
            }};
}

void openPreferencesWindow(WindowManager& windows, const WindowContent& content) {
    windows.openWindow(kPreferencesWindowId, kPreferencesWindowTitle, content.preferences, WindowLevel::Normal,
                       kWindowStyleTitled | kWindowStyleClosable);
}

void openAboutWindow(WindowManager& windows, const WindowContent& content) {
    windows.openWindow(kAboutWindowId, QString(), content.about, WindowLevel::Normal,
                       kWindowStyleTitled | kWindowStyleClosable);
}

}  // namespace gm::app
