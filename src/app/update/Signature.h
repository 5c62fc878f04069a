#pragma once
#include <QByteArray>
#include <QString>

namespace gm::update {

// A 32-byte ed25519 public key from its base64 form; empty when the text is not one.
QByteArray decodePublicKey(const QByteArray& base64);

// True when signature (64 bytes) is publicKey's ed25519 signature of the file's whole content.
bool verifyFileSignature(const QString& path, const QByteArray& signature, const QByteArray& publicKey);

}  // namespace gm::update
