#include "app/update/BuildInfo.h"

namespace gm::update::build {

QString version() { return QStringLiteral(GLIDEMARK_VERSION); }
QString buildDescription() { return QString::fromUtf8(GLIDEMARK_BUILD_DESCRIPTION); }
QUrl feedUrl() { return QUrl(QString::fromUtf8(GLIDEMARK_UPDATE_FEED_URL)); }
QByteArray publicKeyBase64() { return QByteArray(GLIDEMARK_UPDATE_PUBLIC_KEY); }
QString ownershipNotice() { return QString::fromUtf8(GLIDEMARK_OWNERSHIP_NOTICE); }
QString supportEmail() { return QString::fromUtf8(GLIDEMARK_SUPPORT_EMAIL); }
QUrl faqUrl() { return QUrl(QString::fromUtf8(GLIDEMARK_FAQ_URL)); }

}  // namespace gm::update::build
