// Text recognition with Tesseract's LSTM engine, Portuguese first and then English, tuned for screen text.
#pragma once

#include "platform/TextRecognizer.h"

#include <QImage>

class TesseractTextRecognizer final : public TextRecognizer {
public:
    // `languages` in Tesseract's form ("por+eng"); `dataPath` empty: the system's model folder.
    explicit TesseractTextRecognizer(QString languages = QStringLiteral("por+eng"),
                                     QString dataPath = QString());

    std::optional<QString> recognize(const QString& path) override;
    // The same on pixels in memory.
    std::optional<QString> recognizeImage(const QImage& image);

    // Screen glyphs are small and often light on dark: grey, enlarged, dark text on light.
    static QImage prepared(const QImage& image);

private:
    QString m_languages;
    QString m_dataPath;
};
