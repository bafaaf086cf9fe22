// SHA-256 fed in pieces, computed by libcrypto (opened when the first hash starts): it uses the processor's
// SHA instructions where there are any, several times faster than QCryptographicHash on an update archive.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

class Libcrypto;
struct evp_md_ctx_st;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void addData(QByteArrayView data);
    // The 32-byte digest of everything added; empty if libcrypto failed at any step. Call once.
    QByteArray result();
    // The digest as 64 lower-case hexadecimal digits; empty on failure.
    QByteArray hexResult() { return result().toHex(); }

private:
    std::unique_ptr<const Libcrypto> m_crypto;
    evp_md_ctx_st* m_ctx;
    bool m_ok;
};
