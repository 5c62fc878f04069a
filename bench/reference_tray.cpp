// The least a Qt Widgets tray program does at launch that Glidemark also does:
// an icon in the tray with a two-item menu, and one line of text shown in a
// translucent window for a moment and then hidden. bench/resident_memory.sh
// measures it beside Glidemark, so the resident figure reads against the floor
// the toolkit sets rather than against nothing.
#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap image(22, 22);
    image.fill(Qt::darkGray);
    QSystemTrayIcon tray{QIcon(image)};
    QMenu menu;
    menu.addAction(QStringLiteral("Preferences…"));
    menu.addAction(QStringLiteral("Quit"), &app, &QApplication::quit);
    tray.setContextMenu(&menu);
    tray.show();

    // Without text, no font is ever loaded; with the line, the font stack is in.
    const bool withText = !app.arguments().contains(QStringLiteral("--no-text"));
    QLabel line(QStringLiteral("Glidemark enabled"));
    line.setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    line.setAttribute(Qt::WA_TranslucentBackground);
    QFont font = line.font();
    font.setPixelSize(18);
    line.setFont(font);
    if (withText) {
        line.show();
        QTimer::singleShot(1500, &line, &QWidget::hide);
    }
    return QApplication::exec();
}
