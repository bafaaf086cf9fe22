// Text recognition with Tesseract's LSTM engine, Portuguese first and then English, tuned for screen text.
#pragma once

#include "platform/TextRecognizer.h"

#include <QImage>

#include <optional>

class TesseractTextRecognizer final : public TextRecognizer {
public:
    // `languages` in Tesseract's form ("por+eng"); `dataPath` empty: the system's model folder.
    explicit TesseractTextRecognizer(QString languages = QStringLiteral("por+eng"),
                                     QString dataPath = QString());

    std::optional<QString> recognize(const QString& path, const CancelSignal* cancel = nullptr) override;
    // The same on pixels in memory.
    std::optional<QString> recognizeImage(const QImage& image, const CancelSignal* cancel = nullptr);

    // Screen glyphs are small and often light on dark: grey, dark text on light, enlarged to the size
    // the models read best.
    static QImage prepared(const QImage& image);

    // The typical height in pixels of the marks that make up the text of a grey image with dark text on
    // light (a letter's, accents and dots left out), or nothing when it shows no such marks.
    static std::optional<double> glyphHeight(const QImage& grey);
    // How much to enlarge text of that height, at least 1 and at most `limit`.
    static double scaleFor(std::optional<double> glyphHeight, double limit);
    // The glyph height the enlargement aims at.
    static constexpr double kTargetGlyphHeight = 24.0;

private:
    QString m_languages;
    QString m_dataPath;
};
