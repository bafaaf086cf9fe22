// libFuzzer entry over the minisign readers an update passes through: any public key, secret key or
// signature text must parse or be refused, never crash; and no made-up signature verifies a message.
#include "services/Minisign.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)Minisign::parsePublicKey(bytes);
    QString error;
    (void)Minisign::parseSecretKey(bytes, &error);
    // A fixed key pair, made once: the fuzzed text is the signature of a fixed message.
    static const Minisign::SecretKey secret = Minisign::generate();
    static const auto key = Minisign::parsePublicKey(Minisign::publicKeyFile(secret));
    if (!key)
        __builtin_trap();
    if (Minisign::parseSignature(bytes)) {
        const Minisign::Verified v = Minisign::verify(*key, bytes, QByteArrayLiteral("the fixed message"));
        if (v.ok)
            __builtin_trap(); // a signature nobody made with the secret key
    }
    return 0;
}
