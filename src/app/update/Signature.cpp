#include "app/update/Signature.h"

#include <QFile>
#include <sodium.h>

namespace gm::update {
namespace {

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

QByteArray decodePublicKey(const QByteArray& base64) {
    const auto decoded = QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != crypto_sign_PUBLICKEYBYTES) return {};
    return decoded.decoded;
}

bool verifyFileSignature(const QString& path, const QByteArray& signature, const QByteArray& publicKey) {
    if (!sodiumReady() || signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // Update archives are a few megabytes; reading them whole keeps the check a single call.
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()),
                                       reinterpret_cast<const unsigned char*>(content.constData()),
                                       static_cast<unsigned long long>(content.size()),
                                       reinterpret_cast<const unsigned char*>(publicKey.constData())) == 0;
}

}  // namespace gm::update
