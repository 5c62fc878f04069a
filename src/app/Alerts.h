#pragma once
// Modal alerts go through an AlertPresenter so that the permission flow can be
// driven without a person at the keyboard: the program uses message boxes,
// tests answer with a script.
#include <QString>
#include <QStringList>
#include <memory>

class QMessageBox;

namespace gm::app {

struct Alert {
    QString messageText;
    QString informativeText;
    QStringList buttons;  // first is the default
};

// Index into `buttons` of the first button, the answer a default press gives.
inline constexpr int kAlertFirstButton = 0;

class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Blocks until answered; returns the index of the chosen button.
    virtual int run(const Alert& alert) = 0;
};

// Builds the message box for an alert without showing it. Used by the
// presenter below and by anything that needs to look at an alert (screenshots).
std::unique_ptr<QMessageBox> makeMessageBox(const Alert& alert);

class MessageBoxPresenter final : public AlertPresenter {
public:
    int run(const Alert& alert) override;
};

}  // namespace gm::app
