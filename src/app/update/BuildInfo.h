#pragma once
// Values fixed when Glidemark is built (CMake cache settings and the configure-time git
// description); see src/app/update/CMakeLists.txt.
#include <QByteArray>
#include <QString>
#include <QUrl>

namespace gm::update::build {

QString version();           // the project version, e.g. "0.1.0"; what the feed's versions compare with
QString buildDescription();  // `git describe` at configure time, or the version without git
QUrl feedUrl();              // empty when the build has no feed
QByteArray publicKeyBase64();
QString ownershipNotice();
QString supportEmail();
QUrl faqUrl();

}  // namespace gm::update::build
