#include "services/Sha256.h"

#include "services/Libcrypto.h"

Sha256::Sha256()
    : m_crypto(std::make_unique<const Libcrypto>())
    , m_ctx(m_crypto->ok() ? m_crypto->mdCtxNew() : nullptr) {
    m_ok = m_ctx && m_crypto->digestInit(m_ctx, m_crypto->sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
    if (m_ctx)
        m_crypto->mdCtxFree(m_ctx);
}

void Sha256::addData(QByteArrayView data) {
    if (!data.isEmpty())
        m_ok = m_ok && m_crypto->digestUpdate(m_ctx, data.data(), size_t(data.size())) == 1;
}

QByteArray Sha256::result() {
    QByteArray out(EVP_MAX_MD_SIZE, '\0');
    unsigned int len = 0;
    const bool ok = m_ok &&
                    m_crypto->digestFinal(m_ctx, reinterpret_cast<unsigned char*>(out.data()), &len) == 1 &&
                    len == 32;
    m_ok = false;
    if (!ok)
        return {};
    out.truncate(32);
    return out;
}
