#include "services/Libcrypto.h"

#include "services/OnDemandLibrary.h"

Libcrypto::Libcrypto(const QString& name, int version) {
    OnDemandLibrary library(name, version);
    library.find("EVP_MD_CTX_new", mdCtxNew);
    library.find("EVP_MD_CTX_free", mdCtxFree);
    library.find("EVP_DigestInit_ex", digestInit);
    library.find("EVP_DigestUpdate", digestUpdate);
    library.find("EVP_DigestFinal_ex", digestFinal);
    library.find("EVP_sha256", sha256);
    library.find("EVP_blake2b512", blake2b512);
    library.find("EVP_PKEY_new_raw_public_key", pkeyNewRawPublic);
    library.find("EVP_PKEY_new_raw_private_key", pkeyNewRawPrivate);
    library.find("EVP_PKEY_get_raw_public_key", pkeyGetRawPublic);
    library.find("EVP_PKEY_free", pkeyFree);
    library.find("EVP_DigestVerifyInit", digestVerifyInit);
    library.find("EVP_DigestVerify", digestVerify);
    library.find("EVP_DigestSignInit", digestSignInit);
    library.find("EVP_DigestSign", digestSign);
    library.find("RAND_bytes", randBytes);
    m_error = library.finish("libcrypto");
}
