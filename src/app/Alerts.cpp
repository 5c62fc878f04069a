#include "app/Alerts.h"

#include "app/Artwork.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace gm::app {

std::unique_ptr<QMessageBox> makeMessageBox(const Alert& alert) {
    auto box = std::make_unique<QMessageBox>();
    // Like the system's own alerts, ours carry the program's icon.
    box->setIconPixmap(artwork::pixmap(artwork::kGlidemouse, QSize(64, 64), box->devicePixelRatioF()));
    box->setWindowTitle(QGuiApplication::applicationDisplayName());
    box->setText(alert.messageText);
    // The headline stands out, and the explanation gets room enough not to
    // wrap a path or a button name over two lines.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"
                                      "QLabel#qt_msgbox_informativelabel { min-width: 360px; }"));
    box->setInformativeText(alert.informativeText);
    // Buttons keep the order they were given in, left to right, whatever the
    // desktop's usual button order; the first one is the default.
    for (int i = 0; i < alert.buttons.size(); ++i) {
        QPushButton* button = box->addButton(alert.buttons.at(i), QMessageBox::ActionRole);
        button->setProperty("alertIndex", i);
        if (i == kAlertFirstButton) box->setDefaultButton(button);
        if (i == alert.buttons.size() - 1) box->setEscapeButton(button);
    }
    return box;
}

int MessageBoxPresenter::run(const Alert& alert) {
    auto box = makeMessageBox(alert);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    // Closing the box with Escape or the title bar answers as the last button would.
    if (!clicked) return static_cast<int>(alert.buttons.size()) - 1;
    return clicked->property("alertIndex").toInt();
}

}  // namespace gm::app
