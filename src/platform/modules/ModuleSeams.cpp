// Each call goes to the module's implementation, made on the first call.
#include "platform/modules/ModuleSeams.h"

std::optional<QString> ModuleTextRecognizer::recognize(const QString& path, const CancelSignal* cancel) {
    TextRecognizer* made = m_seam.get();
    return made ? made->recognize(path, cancel) : std::nullopt;
}

void ModuleAlertSound::play() {
    if (AlertSound* made = m_seam.get())
        made->play();
}

std::optional<QByteArray> ModuleSecretStore::lookup(const QString& service, int timeoutMs,
                                                    const std::atomic_bool& stop) const {
    const SecretStore* made = m_seam.get();
    return made ? made->lookup(service, timeoutMs, stop) : std::nullopt;
}

HeifCodec* ModuleHeifCodec::made(QString* error) const {
    HeifCodec* codec = m_seam.get();
    if (!codec && error)
        *error = QStringLiteral("HEIF/HEIC support is unavailable: %1").arg(m_seam.error());
    return codec;
}

QImage ModuleHeifCodec::decode(const QString& path, qint64 maxBytes, QString* error) {
    HeifCodec* codec = made(error);
    return codec ? codec->decode(path, maxBytes, error) : QImage();
}

std::optional<QByteArray> ModuleHeifCodec::encode(const QImage& image, int quality, QString* error) {
    HeifCodec* codec = made(error);
    return codec ? codec->encode(image, quality, error) : std::nullopt;
}
