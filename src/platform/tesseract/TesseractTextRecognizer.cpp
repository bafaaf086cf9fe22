#include "platform/tesseract/TesseractTextRecognizer.h"

#include <QFile>
#include <QStringList>

#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <memory>

namespace {

// Loading the models takes a few hundred milliseconds: each worker thread keeps its own engine (an engine
// must never be shared between threads), for as long as the thread lives.
struct Engine {
    tesseract::TessBaseAPI api;
    QString languages;
    QString dataPath;
    bool ready = false;
};

Engine* engineFor(const QString& languages, const QString& dataPath) {
    thread_local std::unique_ptr<Engine> engine;
    if (engine && engine->ready && engine->languages == languages && engine->dataPath == dataPath)
        return engine.get();
    engine = std::make_unique<Engine>();
    engine->languages = languages;
    engine->dataPath = dataPath;
    const QByteArray path = QFile::encodeName(dataPath);
    const QByteArray langs = languages.toLatin1();
    engine->ready = engine->api.Init(dataPath.isEmpty() ? nullptr : path.constData(), langs.constData(),
                                     tesseract::OEM_LSTM_ONLY) == 0;
    if (!engine->ready)
        return nullptr;
    // Recognition of a selection must not print to the terminal the program was started from.
    engine->api.SetVariable("debug_file", "/dev/null");
    return engine.get();
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(QString languages, QString dataPath)
    : m_languages(std::move(languages))
    , m_dataPath(std::move(dataPath)) {}

QImage TesseractTextRecognizer::prepared(const QImage& image) {
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return grey;
    // Tesseract reads glyphs best at 20-30 pixels tall; screen text is about 12-16.
    const int longest = qMax(grey.width(), grey.height());
    const int scale = longest <= 1200 ? 3 : (longest <= 2400 ? 2 : 1);
    if (scale > 1)
        grey = grey.scaled(grey.width() * scale, grey.height() * scale, Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    quint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            sum += row[x];
    }
    const quint64 pixels = quint64(grey.width()) * quint64(grey.height());
    if (pixels && sum / pixels < 128)
        grey.invertPixels();
    return grey;
}

std::optional<QString> TesseractTextRecognizer::recognize(const QString& path) {
    const QImage image(path);
    if (image.isNull())
        return std::nullopt;
    return recognizeImage(image);
}

std::optional<QString> TesseractTextRecognizer::recognizeImage(const QImage& image) {
    const QImage grey = prepared(image);
    if (grey.isNull())
        return std::nullopt;
    Engine* engine = engineFor(m_languages, m_dataPath);
    if (!engine)
        return std::nullopt;
    tesseract::TessBaseAPI& api = engine->api;
    // Tesseract splits each text line over OpenMP threads (as many as it chooses) that spin while they
    // wait: on a busy machine that costs more wall time than it saves and burns four cores. With no active
    // parallel level allowed, a recognition stays on its own worker thread; the result is the same.
    omp_set_max_active_levels(0);
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    api.SetSourceResolution(300);
    QStringList lines;
    if (api.Recognize(nullptr) == 0) {
        std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
        if (it) {
            do {
                std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
                if (!text)
                    continue;
                const QString line = QString::fromUtf8(text.get()).trimmed();
                if (!line.isEmpty())
                    lines.append(line);
            } while (it->Next(tesseract::RIL_TEXTLINE));
        }
    }
    api.Clear();
    if (lines.isEmpty())
        return std::nullopt;
    return lines.join(QLatin1Char('\n'));
}
