#include "services/Sha256.h"

#include <openssl/evp.h>

Sha256::Sha256()
    : m_ctx(EVP_MD_CTX_new()) {
    m_ok = m_ctx && EVP_DigestInit_ex(m_ctx, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(m_ctx);
}

void Sha256::addData(QByteArrayView data) {
    if (!data.isEmpty())
        m_ok = m_ok && EVP_DigestUpdate(m_ctx, data.data(), size_t(data.size())) == 1;
}

QByteArray Sha256::result() {
    QByteArray out(EVP_MAX_MD_SIZE, '\0');
    unsigned int len = 0;
    const bool ok = m_ok &&
                    EVP_DigestFinal_ex(m_ctx, reinterpret_cast<unsigned char*>(out.data()), &len) == 1 &&
                    len == 32;
    m_ok = false;
    if (!ok)
        return {};
    out.truncate(32);
    return out;
}
