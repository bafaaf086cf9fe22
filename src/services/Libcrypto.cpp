#include "services/Libcrypto.h"

#include <QLibrary>
#include <QtDebug>

namespace {

template <class F> void find(QLibrary& library, const char* symbol, F& into, QString& error) {
    into = reinterpret_cast<F>(library.resolve(symbol));
    if (!into && error.isEmpty())
        error = QStringLiteral("%1 has no %2").arg(library.fileName(), QLatin1String(symbol));
}

} // namespace

Libcrypto::Libcrypto(const QString& name, int version) {
    QLibrary library(name, version);
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        m_error = library.errorString();
    } else {
        find(library, "EVP_MD_CTX_new", mdCtxNew, m_error);
        find(library, "EVP_MD_CTX_free", mdCtxFree, m_error);
        find(library, "EVP_DigestInit_ex", digestInit, m_error);
        find(library, "EVP_DigestUpdate", digestUpdate, m_error);
        find(library, "EVP_DigestFinal_ex", digestFinal, m_error);
        find(library, "EVP_sha256", sha256, m_error);
        find(library, "EVP_blake2b512", blake2b512, m_error);
        find(library, "EVP_PKEY_new_raw_public_key", pkeyNewRawPublic, m_error);
        find(library, "EVP_PKEY_new_raw_private_key", pkeyNewRawPrivate, m_error);
        find(library, "EVP_PKEY_get_raw_public_key", pkeyGetRawPublic, m_error);
        find(library, "EVP_PKEY_free", pkeyFree, m_error);
        find(library, "EVP_DigestVerifyInit", digestVerifyInit, m_error);
        find(library, "EVP_DigestVerify", digestVerify, m_error);
        find(library, "EVP_DigestSignInit", digestSignInit, m_error);
        find(library, "EVP_DigestSign", digestSign, m_error);
        find(library, "RAND_bytes", randBytes, m_error);
    }
    if (!m_error.isEmpty())
        qWarning().noquote() << QStringLiteral("[Quillbay] libcrypto unavailable: %1").arg(m_error);
}
