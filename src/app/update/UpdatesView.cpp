#include "app/update/UpdatesView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/update/Artwork.h"
#include "app/update/Updater.h"
#include "app/update/UpdaterManager.h"

namespace gm::update {

CheckForUpdatesViewModel::CheckForUpdatesViewModel(Updater& updater, QObject* parent) : QObject(parent) {
    canCheckForUpdates_ = updater.canCheckForUpdates();
    connect(&updater, &Updater::canCheckForUpdatesChanged, this, [this](bool canCheck) {
        if (canCheck == canCheckForUpdates_) return;
        canCheckForUpdates_ = canCheck;
        emit canCheckForUpdatesChanged(canCheck);
    });
}

CheckForUpdatesView::CheckForUpdatesView(Updater& updater, QWidget* parent)
    : QWidget(parent),
      checkForUpdatesViewModel_(new CheckForUpdatesViewModel(updater, this)),
      updater_(updater),
      button_(new QPushButton(QStringLiteral("Check for Updates…"), this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button_);
    layout->addStretch(1);
    button_->setEnabled(checkForUpdatesViewModel_->canCheckForUpdates());
    connect(checkForUpdatesViewModel_, &CheckForUpdatesViewModel::canCheckForUpdatesChanged, button_,
            &QPushButton::setEnabled);
    connect(button_, &QPushButton::clicked, this, [this] { updater_.checkForUpdates(); });
}

namespace {

QCheckBox* addSwitch(QVBoxLayout* layout, const QString& text, const QString& help, bool on, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setChecked(on);
    auto* note = new QLabel(help, parent);
    note->setFont(footnoteFont());
    note->setWordWrap(true);
    // Line the help up with the switch's text rather than its box.
    const int indent = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                       box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    note->setContentsMargins(indent, 0, 0, 0);
    makeSecondary(note);
    layout->addWidget(box);
    layout->addWidget(note);
    return box;
}

}  // namespace

UpdaterSettingsView::UpdaterSettingsView(Updater& updater, QWidget* parent)
    : QWidget(parent),
      updater_(updater),
      automaticallyChecksForUpdates_(updater.automaticallyChecksForUpdates()),
      automaticallyDownloadsUpdates_(updater.automaticallyDownloadsUpdates()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    checks_ = addSwitch(layout, QStringLiteral("Auto-check for updates"),
                        QStringLiteral("Enable to be notified when a new version is available"),
                        automaticallyChecksForUpdates_, this);
    layout->addSpacing(8);
    downloads_ = addSwitch(layout, QStringLiteral("Auto download updates"),
                           QStringLiteral("Download updates in background"), automaticallyDownloadsUpdates_, this);
    connect(checks_, &QCheckBox::toggled, this, [this](bool on) {
        automaticallyChecksForUpdates_ = on;
        updater_.setAutomaticallyChecksForUpdates(on);
    });
    connect(downloads_, &QCheckBox::toggled, this, [this](bool on) {
        automaticallyDownloadsUpdates_ = on;
        updater_.setAutomaticallyDownloadsUpdates(on);
    });
}

UpdatesView::UpdatesView(QWidget* parent) : UpdatesView(UpdaterManager::shared().updater(), parent) {}

UpdatesView::UpdatesView(Updater& updater, QWidget* parent)
    : QWidget(parent), check_(new CheckForUpdatesView(updater, this)), settings_(new UpdaterSettingsView(updater, this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto* title = new QLabel(QStringLiteral("Updates:"), this);
    title->setFixedWidth(150);
    title->setAlignment(Qt::AlignRight | Qt::AlignTop);
    // The caption sits level with the button's text, not with the button's frame.
    title->setContentsMargins(0, (check_->button()->sizeHint().height() - title->sizeHint().height()) / 2, 0, 0);
    row->addWidget(title, 0, Qt::AlignTop);
    auto* column = new QWidget(this);
    column->setFixedWidth(270);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);
    stack->addWidget(check_, 0, Qt::AlignLeft);
    stack->addWidget(settings_);
    row->addWidget(column, 0, Qt::AlignTop);
    row->addStretch(1);
}

}  // namespace gm::update
