#pragma once
// The About window's content: icon, name, version and build, the ownership line, the support
// address and a button to the FAQ page.
#include <QUrl>
#include <QWidget>
#include <functional>

class QPushButton;

namespace gm::update {

class AboutView : public QWidget {
    Q_OBJECT
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    struct Info {
        QString version;
        QString build;
        QString ownershipNotice;
        QString supportEmail;
        QUrl faqUrl;
    };
    static Info buildInfo();  // what this build was configured with

    explicit AboutView(QWidget* parent = nullptr);
    AboutView(Info info, UrlOpener openUrl, QWidget* parent = nullptr);

    // "Version 0.1.0 (v0.1.0-4-g1a2b3c4)"; without a build, "Version 0.1.0".
    static QString versionLine(const QString& version, const QString& build);
    QPushButton* faqButton() const { return faq_; }

private:
    QString build_;
    UrlOpener openUrl_;
    QPushButton* faq_;
};

}  // namespace gm::update
