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
