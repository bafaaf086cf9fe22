#include "platform/tesseract/TesseractTextRecognizer.h"

#include "platform/CancelSignal.h"

#include <QFile>
#include <QStringList>

#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

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

// Tesseract asks this between words.
bool cancelRequested(void* signal, int) {
    return static_cast<const CancelSignal*>(signal)->isRaised();
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(QString languages, QString dataPath)
    : m_languages(std::move(languages))
    , m_dataPath(std::move(dataPath)) {}

QImage TesseractTextRecognizer::prepared(const QImage& image) {
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return grey;
    quint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            sum += row[x];
    }
    const quint64 pixels = quint64(grey.width()) * quint64(grey.height());
    if (pixels && sum / pixels < 128)
        grey.invertPixels();
    // Tesseract's models read glyphs best at a few dozen pixels: small screen text is enlarged, but text
    // enlarged well past that loses its accents ("Ação" read as "Acao"). The enlargement follows the size
    // of the text found, within a limit set by the size of the area (a bigger one costs more to read).
    const int longest = qMax(grey.width(), grey.height());
    const double limit = longest <= 1200 ? 3.0 : (longest <= 2400 ? 2.0 : 1.0);
    const double scale = scaleFor(glyphHeight(grey), limit);
    if (scale > 1.0)
        grey = grey.scaled(qRound(grey.width() * scale), qRound(grey.height() * scale), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    return grey;
}

double TesseractTextRecognizer::scaleFor(std::optional<double> glyphHeight, double limit) {
    if (!glyphHeight || *glyphHeight <= 0)
        return limit; // no text found to measure: as much as the area allows
    // Snapped to halves, so that nearly equal sizes are scaled alike.
    const double scale = std::round(2.0 * kTargetGlyphHeight / *glyphHeight) / 2.0;
    return std::clamp(scale, 1.0, limit);
}

std::optional<double> TesseractTextRecognizer::glyphHeight(const QImage& grey) {
    // Dark marks on light, as `prepared` leaves them: the ink is what is darker than the midpoint between
    // the darkest and the lightest grey.
    const int w = grey.width(), h = grey.height();
    if (w == 0 || h == 0)
        return std::nullopt;
    int darkest = 255, lightest = 0;
    for (int y = 0; y < h; ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            darkest = std::min<int>(darkest, row[x]);
            lightest = std::max<int>(lightest, row[x]);
        }
    }
    if (lightest - darkest < 48)
        return std::nullopt; // no contrast, no text
    const int threshold = (darkest + lightest) / 2;

    // One pass of run-based labelling: each run of ink in a row joins the runs it touches in the row above
    // (8-connected); a union-find keeps each mark's top and bottom rows.
    struct Run {
        int x0, x1;
        int label;
    };
    std::vector<int> parent, top, bottom;
    auto find = [&](int a) {
        while (parent[size_t(a)] != a)
            a = parent[size_t(a)] = parent[size_t(parent[size_t(a)])];
        return a;
    };
    std::vector<Run> above, here;
    for (int y = 0; y < h; ++y) {
        const uchar* row = grey.constScanLine(y);
        here.clear();
        size_t j = 0;
        for (int x = 0; x < w;) {
            if (row[x] >= threshold) {
                ++x;
                continue;
            }
            const int x0 = x;
            while (x < w && row[x] < threshold)
                ++x;
            int label = -1;
            while (j < above.size() && above[j].x1 < x0 - 1)
                ++j;
            for (size_t k = j; k < above.size() && above[k].x0 <= x; ++k) {
                const int other = find(above[k].label);
                if (label < 0) {
                    label = other;
                } else if (other != label) {
                    parent[size_t(other)] = label;
                    top[size_t(label)] = std::min(top[size_t(label)], top[size_t(other)]);
                    bottom[size_t(label)] = std::max(bottom[size_t(label)], bottom[size_t(other)]);
                }
            }
            if (label < 0) {
                label = int(parent.size());
                parent.push_back(label);
                top.push_back(y);
                bottom.push_back(y);
            } else {
                bottom[size_t(label)] = y;
            }
            here.push_back({x0, x - 1, label});
        }
        std::swap(above, here);
    }
    // Marks of a glyph's size: accents, dots and specks below, rules and pictures above are left out.
    std::vector<int> heights;
    for (size_t i = 0; i < parent.size(); ++i) {
        if (parent[i] != int(i))
            continue;
        const int height = bottom[i] - top[i] + 1;
        if (height >= 4 && height <= 160)
            heights.push_back(height);
    }
    if (heights.size() < 3)
        return std::nullopt;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return double(heights[heights.size() / 2]);
}

std::optional<QString> TesseractTextRecognizer::recognize(const QString& path, const CancelSignal* cancel) {
    const QImage image(path);
    if (image.isNull())
        return std::nullopt;
    return recognizeImage(image, cancel);
}

std::optional<QString> TesseractTextRecognizer::recognizeImage(const QImage& image,
                                                               const CancelSignal* cancel) {
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
    tesseract::ETEXT_DESC monitor;
    if (cancel) {
        monitor.cancel = &cancelRequested;
        monitor.cancel_this = const_cast<CancelSignal*>(cancel);
    }
    if (cancel && cancel->isRaised()) {
        api.Clear();
        return std::nullopt;
    }
    if (api.Recognize(cancel ? &monitor : nullptr) == 0 && !(cancel && cancel->isRaised())) {
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
