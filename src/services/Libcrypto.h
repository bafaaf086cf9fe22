// The few libcrypto functions the update path calls (SHA-256, BLAKE2b, Ed25519, random bytes), found in
// libcrypto opened on first use: a program that never hashes or checks an update does not map the
// library, whose relocations alone are 0.4 MB of private memory. Once opened it stays open.
#pragma once

#include <QString>

#include <openssl/evp.h>
#include <openssl/rand.h>

class Libcrypto {
public:
    // Opens libcrypto (`name`, major `version`; another name only in tests) and resolves every function
    // below; ok() is false, with the reason in error(), when either fails.
    explicit Libcrypto(const QString& name = QStringLiteral("crypto"), int version = 3);

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    decltype(&::EVP_MD_CTX_new) mdCtxNew = nullptr;
    decltype(&::EVP_MD_CTX_free) mdCtxFree = nullptr;
    decltype(&::EVP_DigestInit_ex) digestInit = nullptr;
    decltype(&::EVP_DigestUpdate) digestUpdate = nullptr;
    decltype(&::EVP_DigestFinal_ex) digestFinal = nullptr;
    decltype(&::EVP_sha256) sha256 = nullptr;
    decltype(&::EVP_blake2b512) blake2b512 = nullptr;
    decltype(&::EVP_PKEY_new_raw_public_key) pkeyNewRawPublic = nullptr;
    decltype(&::EVP_PKEY_new_raw_private_key) pkeyNewRawPrivate = nullptr;
    decltype(&::EVP_PKEY_get_raw_public_key) pkeyGetRawPublic = nullptr;
    decltype(&::EVP_PKEY_free) pkeyFree = nullptr;
    decltype(&::EVP_DigestVerifyInit) digestVerifyInit = nullptr;
    decltype(&::EVP_DigestVerify) digestVerify = nullptr;
    decltype(&::EVP_DigestSignInit) digestSignInit = nullptr;
    decltype(&::EVP_DigestSign) digestSign = nullptr;
    decltype(&::RAND_bytes) randBytes = nullptr;

private:
    QString m_error;
};
