#pragma once
// Glidemark's update window: one window whose content changes with the session's stage
// (checking, update found, downloading, ready, a final message).
#include <QPointer>
#include <QWidget>

#include "app/update/UpdateFeed.h"

class QLabel;
class QProgressBar;
class QTextBrowser;
class QVBoxLayout;

namespace gm::update {

class UpdateWindow : public QWidget {
    Q_OBJECT
public:
    explicit UpdateWindow(QWidget* parent = nullptr);

    void showChecking();
    void showUpdate(const UpdateItem& item, const QString& currentDisplayVersion);
    void showDownloading(const UpdateItem& item);
    void setProgress(qint64 received, qint64 expected);
    void showReady(const UpdateItem& item, const QString& path);
    void showMessage(const QString& title, const QString& text);
    // Release notes that had to be fetched; ignored when the update page is gone.
    void setReleaseNotes(const QString& notes);

signals:
    void downloadRequested();
    void remindLaterRequested();
    void skipRequested();
    void cancelRequested();
    void showInFolderRequested();
    void finished();  // OK, Done or the window's close button
    void openLinkRequested(const QUrl& url);  // a web link in the release notes was clicked

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* replacePage();
    void fitToWidth(int width);
    QLabel* addHeading(QVBoxLayout* layout, const QString& text);
    QVBoxLayout* body_ = nullptr;
    QWidget* page_ = nullptr;
    QPointer<QTextBrowser> notes_;
    QPointer<QProgressBar> progress_;
    QPointer<QLabel> progressText_;
};

}  // namespace gm::update
