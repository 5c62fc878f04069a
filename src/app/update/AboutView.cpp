#include "app/update/AboutView.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/update/Artwork.h"
#include "app/update/BuildInfo.h"

namespace gm::update {

AboutView::Info AboutView::buildInfo() {
    return {build::version(), build::buildDescription(), build::ownershipNotice(), build::supportEmail(),
            build::faqUrl()};
}

QString AboutView::versionLine(const QString& version, const QString& build) {
    const QString shown = version.isEmpty() ? QStringLiteral("unknown") : version;
    if (build.isEmpty() || build == version) return QStringLiteral("Version ") + shown;
    return QStringLiteral("Version %1 (%2)").arg(shown, build);
}

AboutView::AboutView(QWidget* parent) : AboutView(buildInfo(), {}, parent) {}

AboutView::AboutView(Info info, UrlOpener openUrl, QWidget* parent)
    : QWidget(parent), build_(info.build), openUrl_(std::move(openUrl)) {
    if (!openUrl_) openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    setFixedWidth(440);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(24, 24, 24, 24);
    row->setSpacing(32);
    auto* icon = new QLabel(this);
    icon->setPixmap(glidemarkIcon(96));
    icon->setFixedSize(96, 96);
    row->addWidget(icon, 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout;
    column->setSpacing(20);
    auto* heading = new QVBoxLayout;
    heading->setSpacing(2);
    auto* name = new QLabel(QStringLiteral("Glidemark"), this);
    name->setFont(titleFont());
    heading->addWidget(name);
    auto* version = new QLabel(versionLine(info.version, build_), this);
    version->setFont(calloutFont());
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    makeSecondary(version);
    heading->addWidget(version);
    column->addLayout(heading);

    auto* ownership = new QLabel(info.ownershipNotice, this);
    ownership->setFont(footnoteFont());
    ownership->setWordWrap(true);
    makeSecondary(ownership);
    column->addWidget(ownership);

    auto* contact = new QHBoxLayout;
    contact->setSpacing(12);
    auto* email = new QLabel(info.supportEmail, this);
    email->setTextInteractionFlags(Qt::TextSelectableByMouse);
    contact->addWidget(email);
    faq_ = new QPushButton(QStringLiteral("FAQ"), this);
    // Styles give text buttons a wide minimum; next to the address that crowds the row.
    faq_->setFixedWidth(faq_->fontMetrics().horizontalAdvance(faq_->text()) + 32);
    faq_->setEnabled(info.faqUrl.isValid() && !info.faqUrl.isEmpty());
    connect(faq_, &QPushButton::clicked, this, [this, url = info.faqUrl] { openUrl_(url); });
    contact->addWidget(faq_);
    contact->addStretch(1);
    column->addLayout(contact);

    row->addLayout(column, 1);
}

}  // namespace gm::update
