// Ed25519 and BLAKE2b through OpenSSL's libcrypto. Secret keys are kept in memory only as long as a call
// needs them; the seed buffer of a parsed key belongs to the caller.
#include "services/Minisign.h"

#include "services/Libcrypto.h"

#include <QFile>

#include <memory>

namespace Minisign {
namespace {

constexpr qsizetype kKeyIdSize = 8;
constexpr qsizetype kSigSize = 64;
constexpr qsizetype kSecretFileSize = 2 + 2 + 2 + 32 + 8 + 8 + 8 + 64 + 32;
// A signature file is four short lines; anything much longer is not one.
constexpr qsizetype kMaxSignatureText = 4096;

struct PkeyFree {
    decltype(&::EVP_PKEY_free) free = nullptr;
    void operator()(EVP_PKEY* p) const { free(p); }
};
struct MdCtxFree {
    decltype(&::EVP_MD_CTX_free) free = nullptr;
    void operator()(EVP_MD_CTX* c) const { free(c); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

Pkey publicKeyOf(const Libcrypto& c, const QByteArray& key) {
    return Pkey(c.pkeyNewRawPublic(EVP_PKEY_ED25519, nullptr,
                                   reinterpret_cast<const unsigned char*>(key.constData()),
                                   size_t(key.size())),
                PkeyFree{c.pkeyFree});
}

Pkey privateKeyOf(const Libcrypto& c, const QByteArray& seed) {
    return Pkey(c.pkeyNewRawPrivate(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(seed.constData()),
                                    size_t(seed.size())),
                PkeyFree{c.pkeyFree});
}

MdCtx newContext(const Libcrypto& c) {
    return MdCtx(c.mdCtxNew(), MdCtxFree{c.mdCtxFree});
}

std::optional<QByteArray> strictBase64(const QByteArray& text) {
    auto r = QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!r)
        return std::nullopt;
    return *r;
}

bool edVerify(const QByteArray& publicKey, const QByteArray& signature, const char* data, size_t size) {
    const Libcrypto c;
    if (!c.ok())
        return false;
    Pkey pkey = publicKeyOf(c, publicKey);
    MdCtx ctx = newContext(c);
    if (!pkey || !ctx || c.digestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1)
        return false;
    return c.digestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                          size_t(signature.size()), reinterpret_cast<const unsigned char*>(data), size) == 1;
}

QByteArray edSign(const QByteArray& seed, const char* data, size_t size) {
    const Libcrypto c;
    if (!c.ok())
        return {};
    Pkey pkey = privateKeyOf(c, seed);
    MdCtx ctx = newContext(c);
    QByteArray sig(kSigSize, '\0');
    size_t len = size_t(sig.size());
    if (!pkey || !ctx || c.digestSignInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1 ||
        c.digestSign(ctx.get(), reinterpret_cast<unsigned char*>(sig.data()), &len,
                     reinterpret_cast<const unsigned char*>(data), size) != 1 ||
        len != size_t(kSigSize))
        return {};
    return sig;
}

QByteArray publicFromSeed(const QByteArray& seed) {
    const Libcrypto c;
    if (!c.ok())
        return {};
    Pkey pkey = privateKeyOf(c, seed);
    QByteArray pk(32, '\0');
    size_t len = 32;
    if (!pkey || c.pkeyGetRawPublic(pkey.get(), reinterpret_cast<unsigned char*>(pk.data()), &len) != 1)
        return {};
    return pk;
}

// BLAKE2b-512, fed in pieces.
class Blake2b {
public:
    Blake2b()
        : m_ctx(m_c.ok() ? newContext(m_c) : MdCtx()) {
        m_ok = m_ctx && m_c.digestInit(m_ctx.get(), m_c.blake2b512(), nullptr) == 1;
    }
    void add(const char* data, qsizetype size) {
        m_ok = m_ok && m_c.digestUpdate(m_ctx.get(), data, size_t(size)) == 1;
    }
    std::optional<QByteArray> result() {
        QByteArray out(64, '\0');
        unsigned int len = 0;
        if (!m_ok || m_c.digestFinal(m_ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len) != 1)
            return std::nullopt;
        return out;
    }

private:
    const Libcrypto m_c;
    MdCtx m_ctx;
    bool m_ok = false;
};

// Reads the lines of a signature file; the untrusted comment is not checked.
std::optional<Signature> parseLines(const QByteArray& text) {
    if (text.size() > kMaxSignatureText)
        return std::nullopt;
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    if (lines.size() < 4 || !lines[0].startsWith("untrusted comment:") ||
        !lines[2].startsWith("trusted comment: "))
        return std::nullopt;
    const auto body = strictBase64(lines[1]);
    const auto global = strictBase64(lines[3]);
    if (!body || !global || body->size() != 2 + kKeyIdSize + kSigSize || global->size() != kSigSize)
        return std::nullopt;
    Signature s;
    const QByteArray alg = body->left(2);
    if (alg == "ED")
        s.prehashed = true;
    else if (alg == "Ed")
        s.prehashed = false;
    else
        return std::nullopt;
    s.keyId = body->mid(2, kKeyIdSize);
    s.signature = body->mid(2 + kKeyIdSize);
    s.trustedComment = lines[2].mid(int(qstrlen("trusted comment: ")));
    s.globalSignature = *global;
    return s;
}

Verified checkParts(const PublicKey& key, const Signature& s, const char* data, size_t size) {
    Verified v;
    if (s.keyId != key.keyId) {
        v.error = QStringLiteral("signed by another key (%1)").arg(keyIdText(s.keyId));
        return v;
    }
    if (!edVerify(key.key, s.signature, data, size)) {
        v.error = QStringLiteral("the signature does not match the file");
        return v;
    }
    const QByteArray global = s.signature + s.trustedComment;
    if (!edVerify(key.key, s.globalSignature, global.constData(), size_t(global.size()))) {
        v.error = QStringLiteral("the trusted comment was altered");
        return v;
    }
    v.ok = true;
    v.trustedComment = s.trustedComment;
    return v;
}

QByteArray signatureText(const SecretKey& key, const QByteArray& sig, bool prehashed,
                         const QByteArray& trustedComment, const QByteArray& untrustedComment) {
    const QByteArray global =
        edSign(key.seed, (sig + trustedComment).constData(), size_t(sig.size() + trustedComment.size()));
    return "untrusted comment: " + untrustedComment + "\n" +
           (QByteArray(prehashed ? "ED" : "Ed") + key.keyId + sig).toBase64() + "\n" +
           "trusted comment: " + trustedComment + "\n" + global.toBase64() + "\n";
}

} // namespace

std::optional<PublicKey> parsePublicKey(const QByteArray& text) {
    QByteArray line = text.trimmed();
    const QList<QByteArray> lines = line.split('\n');
    if (lines.size() == 2 && lines[0].startsWith("untrusted comment:"))
        line = lines[1].trimmed();
    else if (lines.size() != 1)
        return std::nullopt;
    const auto raw = strictBase64(line);
    if (!raw || raw->size() != 2 + kKeyIdSize + 32 || !raw->startsWith("Ed"))
        return std::nullopt;
    return PublicKey{raw->mid(2, kKeyIdSize), raw->mid(2 + kKeyIdSize)};
}

std::optional<SecretKey> parseSecretKey(const QByteArray& text, QString* error) {
    auto failed = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QList<QByteArray> lines = text.trimmed().split('\n');
    if (lines.size() != 2 || !lines[0].startsWith("untrusted comment:"))
        return failed(QStringLiteral("not a minisign secret key file"));
    const auto raw = strictBase64(lines[1]);
    if (!raw || raw->size() != kSecretFileSize || !raw->startsWith("Ed"))
        return failed(QStringLiteral("not a minisign secret key file"));
    if (raw->mid(2, 2) != QByteArray(2, '\0'))
        return failed(
            QStringLiteral("the secret key is protected by a password; remove it with `minisign -C -W`"));
    const qsizetype at = 2 + 2 + 2 + 32 + 8 + 8;
    SecretKey key{raw->mid(at, kKeyIdSize), raw->mid(at + kKeyIdSize, 32),
                  raw->mid(at + kKeyIdSize + 32, 32)};
    // The stored public half must be the seed's own, or the file is damaged.
    if (publicFromSeed(key.seed) != key.publicKey)
        return failed(QStringLiteral("the secret key file is damaged"));
    return key;
}

std::optional<Signature> parseSignature(const QByteArray& text) {
    return parseLines(text);
}

QString keyIdText(const QByteArray& keyId) {
    QString out;
    for (qsizetype i = keyId.size() - 1; i >= 0; --i)
        out += QStringLiteral("%1").arg(uchar(keyId[i]), 2, 16, QLatin1Char('0')).toUpper();
    return out;
}

QByteArray publicKeyFile(const SecretKey& key) {
    return "untrusted comment: minisign public key " + keyIdText(key.keyId).toLatin1() + "\n" +
           (QByteArray("Ed") + key.keyId + key.publicKey).toBase64() + "\n";
}

Verified verify(const PublicKey& key, const QByteArray& signatureText, const QByteArray& message) {
    const auto s = parseLines(signatureText);
    if (!s)
        return {false, {}, QStringLiteral("not a minisign signature")};
    if (!s->prehashed)
        return checkParts(key, *s, message.constData(), size_t(message.size()));
    Blake2b h;
    h.add(message.constData(), message.size());
    const auto digest = h.result();
    if (!digest)
        return {false, {}, QStringLiteral("hashing failed")};
    return checkParts(key, *s, digest->constData(), size_t(digest->size()));
}

Verified verifyFile(const PublicKey& key, const QByteArray& signatureText, const QString& path) {
    const auto s = parseLines(signatureText);
    if (!s)
        return {false, {}, QStringLiteral("not a minisign signature")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false, {}, file.errorString()};
    if (!s->prehashed) {
        // The older kind signs the whole file at once: map it rather than read it.
        if (file.size() == 0)
            return checkParts(key, *s, "", 0);
        uchar* data = file.map(0, file.size());
        if (!data)
            return {false, {}, file.errorString()};
        return checkParts(key, *s, reinterpret_cast<const char*>(data), size_t(file.size()));
    }
    Blake2b h;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return {false, {}, file.errorString()};
        if (n == 0)
            break;
        h.add(buffer.constData(), n);
    }
    const auto digest = h.result();
    if (!digest)
        return {false, {}, QStringLiteral("hashing failed")};
    return checkParts(key, *s, digest->constData(), size_t(digest->size()));
}

QByteArray sign(const SecretKey& key, const QByteArray& message, const QByteArray& trustedComment,
                bool prehashed) {
    QByteArray sig;
    if (prehashed) {
        Blake2b h;
        h.add(message.constData(), message.size());
        const auto digest = h.result();
        if (!digest)
            return {};
        sig = edSign(key.seed, digest->constData(), size_t(digest->size()));
    } else {
        sig = edSign(key.seed, message.constData(), size_t(message.size()));
    }
    if (sig.isEmpty())
        return {};
    return signatureText(key, sig, prehashed, trustedComment, "signature from quillbay-release");
}

std::optional<QByteArray> signFile(const SecretKey& key, const QString& path,
                                   const QByteArray& trustedComment, const QByteArray& untrustedComment) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Blake2b h;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        h.add(buffer.constData(), n);
    }
    const auto digest = h.result();
    if (!digest)
        return std::nullopt;
    const QByteArray sig = edSign(key.seed, digest->constData(), size_t(digest->size()));
    if (sig.isEmpty())
        return std::nullopt;
    return signatureText(key, sig, true, trustedComment, untrustedComment);
}

SecretKey generate() {
    SecretKey key;
    key.seed = QByteArray(32, '\0');
    key.keyId = QByteArray(kKeyIdSize, '\0');
    // A key made of anything but fresh random bytes would be one anybody can guess: without them there is
    // no key to give.
    const Libcrypto c;
    if (!c.ok() || c.randBytes(reinterpret_cast<unsigned char*>(key.seed.data()), 32) != 1 ||
        c.randBytes(reinterpret_cast<unsigned char*>(key.keyId.data()), int(kKeyIdSize)) != 1)
        qFatal("[Quillbay] no random bytes for a new signing key");
    key.publicKey = publicFromSeed(key.seed);
    return key;
}

QByteArray secretKeyFile(const SecretKey& key) {
    // Not protected by a password, as `minisign -W` writes it; the checksum field is left empty.
    const QByteArray raw = QByteArray("Ed") + QByteArray(2, '\0') + "B2" + QByteArray(32 + 8 + 8, '\0') +
                           key.keyId + key.seed + key.publicKey + QByteArray(32, '\0');
    return "untrusted comment: minisign secret key\n" + raw.toBase64() + "\n";
}

} // namespace Minisign
