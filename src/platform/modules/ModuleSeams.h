// The seams whose real implementation is a module loaded on first use: text recognition (Tesseract),
// the alert sound (libcanberra), the keyring (libsecret) and HEIF images (libheif and its codecs). Each
// behaves as the desktop without that facility when its module cannot be loaded.
#pragma once

#include "platform/AlertSound.h"
#include "platform/HeifCodec.h"
#include "platform/SecretStore.h"
#include "platform/TextRecognizer.h"
#include "platform/modules/LoadedSeam.h"

// The names of the modules beside the program, and the function each exports.
namespace SeamModules {
inline constexpr auto kTextRecognition = "quillbay-ocr.so";
inline constexpr auto kTextRecognitionSymbol = "quillbay_make_text_recognizer";
inline constexpr auto kAlertSound = "quillbay-sound.so";
inline constexpr auto kAlertSoundSymbol = "quillbay_make_alert_sound";
inline constexpr auto kSecretStore = "quillbay-secrets.so";
inline constexpr auto kSecretStoreSymbol = "quillbay_make_secret_store";
inline constexpr auto kHeifCodec = "quillbay-heif.so";
inline constexpr auto kHeifCodecSymbol = "quillbay_make_heif_codec";
} // namespace SeamModules

class ModuleTextRecognizer final : public TextRecognizer {
public:
    explicit ModuleTextRecognizer(QString modulePath)
        : m_seam(std::move(modulePath), SeamModules::kTextRecognitionSymbol) {}
    std::optional<QString> recognize(const QString& path, const CancelSignal* cancel = nullptr) override;

private:
    LoadedSeam<TextRecognizer> m_seam;
};

class ModuleAlertSound final : public AlertSound {
public:
    explicit ModuleAlertSound(QString modulePath)
        : m_seam(std::move(modulePath), SeamModules::kAlertSoundSymbol) {}
    void play() override;

private:
    LoadedSeam<AlertSound> m_seam;
};

class ModuleSecretStore final : public SecretStore {
public:
    explicit ModuleSecretStore(QString modulePath)
        : m_seam(std::move(modulePath), SeamModules::kSecretStoreSymbol) {}
    std::optional<QByteArray> lookup(const QString& service, int timeoutMs,
                                     const std::atomic_bool& stop) const override;

private:
    LoadedSeam<SecretStore> m_seam;
};

// Without the module, every HEIF image read or written fails with the reason it could not be loaded.
class ModuleHeifCodec final : public HeifCodec {
public:
    explicit ModuleHeifCodec(QString modulePath)
        : m_seam(std::move(modulePath), SeamModules::kHeifCodecSymbol) {}
    QImage decode(const QString& path, qint64 maxBytes, QString* error) override;
    std::optional<QByteArray> encode(const QImage& image, int quality, QString* error) override;

private:
    HeifCodec* made(QString* error) const;
    LoadedSeam<HeifCodec> m_seam;
};
