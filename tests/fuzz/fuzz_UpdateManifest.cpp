// libFuzzer entry over the version manifest reader: any answer from the update server must be read or
// refused, never crash; and what it offers must be a download from the manifest's own host under
// /downloads/, with a lower-case 64-digit SHA-256.
#include "services/UpdateManifest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QUrl manifest(QStringLiteral("https://maker.test/version.json"));
    const UpdateManifest::Offer offer = UpdateManifest::read(bytes, manifest);
    if (offer.kind == UpdateManifest::Offer::Kind::offered) {
        const QString path = offer.url.path(QUrl::FullyDecoded);
        if (offer.url.scheme() != QLatin1String("https") || offer.url.host() != QLatin1String("maker.test") ||
            offer.url.port(443) != 443 || !path.startsWith(QLatin1String("/downloads/")) ||
            path.contains(QLatin1String("/../")) || path.endsWith(QLatin1String("/..")) ||
            offer.sha256.size() != 64 || offer.sha256 != offer.sha256.toLower())
            __builtin_trap();
    }
    return 0;
}
