// Detached Ed25519 signatures in minisign's format, so that releases can be signed and checked with the
// `minisign` tool as well as here. Both signature kinds are read: "ED" signs the BLAKE2b-512 hash of
// the file, the older "Ed" the file itself. The trusted comment is covered by a second signature.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Minisign {

struct PublicKey {
    QByteArray keyId; // 8 bytes
    QByteArray key;   // 32 bytes
};

struct SecretKey {
    QByteArray keyId; // 8 bytes
    QByteArray seed;  // 32 bytes
    QByteArray publicKey;
};

struct Signature {
    bool prehashed = true;
    QByteArray keyId;
    QByteArray signature;       // 64 bytes
    QByteArray trustedComment;  // the text after "trusted comment: "
    QByteArray globalSignature; // 64 bytes, over signature + trusted comment
};

// The key from a .pub file or from its base64 line alone.
std::optional<PublicKey> parsePublicKey(const QByteArray& text);
// A secret key file written with `minisign -G -W` (not protected by a password).
std::optional<SecretKey> parseSecretKey(const QByteArray& text, QString* error = nullptr);
std::optional<Signature> parseSignature(const QByteArray& text);

// The key id as minisign prints it (16 upper-case hexadecimal digits).
QString keyIdText(const QByteArray& keyId);
QByteArray publicKeyFile(const SecretKey& key);

struct Verified {
    bool ok = false;
    QByteArray trustedComment;
    QString error;
};

// Checks `signatureText` over the file at `path` (streamed for prehashed signatures, mapped for the
// older kind) and the trusted comment's signature.
Verified verifyFile(const PublicKey& key, const QByteArray& signatureText, const QString& path);
Verified verify(const PublicKey& key, const QByteArray& signatureText, const QByteArray& message);

// A prehashed signature file for the file at `path`; nothing when it cannot be read.
std::optional<QByteArray> signFile(const SecretKey& key, const QString& path,
                                   const QByteArray& trustedComment,
                                   const QByteArray& untrustedComment = "signature from quillbay-release");
// The same over bytes in memory; `prehashed` false writes the older kind.
QByteArray sign(const SecretKey& key, const QByteArray& message, const QByteArray& trustedComment,
                bool prehashed = true);

// A fresh key pair (for tests and for the release tool's --generate).
SecretKey generate();
QByteArray secretKeyFile(const SecretKey& key);

} // namespace Minisign
