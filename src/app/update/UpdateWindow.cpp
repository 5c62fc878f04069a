#include "app/update/UpdateWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/update/Artwork.h"

namespace gm::update {

UpdateWindow::UpdateWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Glidemark Update"));
    // Glidemark lives in the tray: closing this window must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 16);
    outer->setSpacing(16);
    auto* icon = new QLabel(this);
    icon->setPixmap(glidemarkIcon(64));
    icon->setFixedSize(64, 64);
    outer->addWidget(icon, 0, Qt::AlignTop);
    body_ = new QVBoxLayout;
    body_->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(body_, 1);
}

QWidget* UpdateWindow::replacePage() {
    if (page_) {
        body_->removeWidget(page_);
        page_->hide();
        page_->deleteLater();
    }
    page_ = new QWidget(this);
    body_->addWidget(page_);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return page_;
}

void UpdateWindow::fitToWidth(int width) {
    // A page added to a window already on screen stays hidden until shown.
    page_->show();
    // Wrapped labels need the width before they know their height.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    layout()->activate();
    const int height = layout()->hasHeightForWidth() ? layout()->heightForWidth(width) : sizeHint().height();
    setFixedSize(width, height);
}

QLabel* UpdateWindow::addHeading(QVBoxLayout* layout, const QString& text) {
    auto* heading = new QLabel(text, page_);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.1);
    heading->setFont(font);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    return heading;
}

namespace {

QPushButton* addButton(QHBoxLayout* row, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    row->addWidget(button);
    return button;
}

QString formatSize(qint64 bytes) { return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat); }

}  // namespace

void UpdateWindow::showChecking() {
    QWidget* page = replacePage();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    addHeading(layout, QStringLiteral("Checking for updates…"));
    auto* bar = new QProgressBar(page);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    layout->addWidget(bar);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    connect(addButton(row, QStringLiteral("Cancel"), page), &QPushButton::clicked, this, &UpdateWindow::cancelRequested);
    layout->addLayout(row);
    fitToWidth(420);
}

void UpdateWindow::showUpdate(const UpdateItem& item, const QString& currentDisplayVersion) {
    QWidget* page = replacePage();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    addHeading(layout, QStringLiteral("Glidemark %1 is available").arg(item.displayVersion));
    auto* text = new QLabel(QStringLiteral("You are using version %1. Download the new version now, or be reminded later?")
                                .arg(currentDisplayVersion),
                            page);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addSpacing(8);
    auto* notesLabel = new QLabel(QStringLiteral("What’s new:"), page);
    QFont bold = notesLabel->font();
    bold.setBold(true);
    notesLabel->setFont(bold);
    layout->addWidget(notesLabel);
    notes_ = new QTextBrowser(page);
    // Release notes come from the network: only web links leave the window,
    // never file:, smb: or whatever else some handler on the desktop opens.
    notes_->setOpenLinks(false);
    connect(notes_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")) emit openLinkRequested(url);
    });
    notes_->setMinimumHeight(200);
    if (!item.releaseNotes.isEmpty())
        setReleaseNotes(item.releaseNotes);
    else if (item.releaseNotesUrl.isEmpty())
        notes_->setPlainText(QStringLiteral("No release notes were published for this version."));
    else
        notes_->setPlainText(QStringLiteral("Loading release notes…"));
    layout->addWidget(notes_, 1);
    auto* row = new QHBoxLayout;
    connect(addButton(row, QStringLiteral("Skip This Version"), page), &QPushButton::clicked, this,
            &UpdateWindow::skipRequested);
    row->addStretch(1);
    connect(addButton(row, QStringLiteral("Remind Me Later"), page), &QPushButton::clicked, this,
            &UpdateWindow::remindLaterRequested);
    auto* download = addButton(row, QStringLiteral("Download"), page);
    download->setDefault(true);
    download->setFocus();
    connect(download, &QPushButton::clicked, this, &UpdateWindow::downloadRequested);
    layout->addSpacing(4);
    layout->addLayout(row);
    page_->show();
    setMinimumSize(560, 380);
    resize(620, 440);
}

void UpdateWindow::setReleaseNotes(const QString& notes) {
    if (!notes_) return;
    if (Qt::mightBeRichText(notes))
        notes_->setHtml(notes);
    else
        notes_->setPlainText(notes);
}

void UpdateWindow::showDownloading(const UpdateItem& item) {
    QWidget* page = replacePage();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    addHeading(layout, QStringLiteral("Downloading Glidemark %1…").arg(item.displayVersion));
    progress_ = new QProgressBar(page);
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    layout->addWidget(progress_);
    progressText_ = new QLabel(QStringLiteral("%1 of %2").arg(formatSize(0), formatSize(item.length)), page);
    makeSecondary(progressText_);
    layout->addWidget(progressText_);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    connect(addButton(row, QStringLiteral("Cancel"), page), &QPushButton::clicked, this, &UpdateWindow::cancelRequested);
    layout->addLayout(row);
    fitToWidth(420);
}

void UpdateWindow::setProgress(qint64 received, qint64 expected) {
    if (!progress_ || expected <= 0) return;
    progress_->setValue(static_cast<int>(std::clamp<qint64>(received * 1000 / expected, 0, 1000)));
    progressText_->setText(QStringLiteral("%1 of %2").arg(formatSize(received), formatSize(expected)));
}

void UpdateWindow::showReady(const UpdateItem& item, const QString& path) {
    QWidget* page = replacePage();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    addHeading(layout, QStringLiteral("Glidemark %1 is ready to install").arg(item.displayVersion));
    auto* text = new QLabel(QStringLiteral("The update was downloaded and its signature verified. It is in your "
                                           "download folder as “%1”; open the folder to install it.")
                                .arg(QFileInfo(path).fileName()),
                            page);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    connect(addButton(row, QStringLiteral("Done"), page), &QPushButton::clicked, this, &UpdateWindow::finished);
    auto* open = addButton(row, QStringLiteral("Show in Folder"), page);
    open->setDefault(true);
    connect(open, &QPushButton::clicked, this, &UpdateWindow::showInFolderRequested);
    layout->addSpacing(8);
    layout->addLayout(row);
    fitToWidth(460);
}

void UpdateWindow::showMessage(const QString& title, const QString& text) {
    QWidget* page = replacePage();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    addHeading(layout, title);
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* ok = addButton(row, QStringLiteral("OK"), page);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &UpdateWindow::finished);
    layout->addSpacing(8);
    layout->addLayout(row);
    fitToWidth(420);
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit finished();
}

}  // namespace gm::update
