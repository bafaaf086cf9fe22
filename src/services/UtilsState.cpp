// Kit state, the text tools' dispatch, and the operations that reach outside the process.
#include "services/UtilsState.h"

#include "platform/AbsentSeams.h"

#include "platform/AreaCapture.h"
#include "platform/Clock.h"
#include "platform/FileRevealer.h"
#include "platform/LanAddress.h"
#include "platform/Pasteboard.h"
#include "platform/ScreenColorSampler.h"
#include "platform/TextRecognizer.h"
#include "services/AppPaths.h"
#include "services/ImageConverter.h"
#include "services/KitTools.h"
#include "services/Published.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace {

// Inputs up to this many characters are worked on at once (well under a frame); longer ones, such as a
// pasted log or a large JSON document, go to a worker so typing never stalls.
constexpr qsizetype kInlineLimit = 64 * 1024;

QString deviceHex(const QColor& color) {
    const QColor rgb = color.toRgb();
    auto byte = [](float c) { return int(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f)); };
    return QString::asprintf("#%02X%02X%02X", byte(rgb.redF()), byte(rgb.greenF()), byte(rgb.blueF()));
}

} // namespace

UtilsState::UtilsState(QObject* parent)
    : UtilsState(Seams(), parent) {}

UtilsState::UtilsState(Seams seams, QObject* parent)
    : QObject(parent)
    , m_absent(std::make_unique<AbsentSeams>())
    , m_seams(seams) {
    AbsentSeams::fillSlot(m_seams.pasteboard, m_absent->pasteboard);
    AbsentSeams::fillSlot(m_seams.lanAddress, m_absent->lanAddress);
    AbsentSeams::fillSlot(m_seams.areaCapture, m_absent->areaCapture);
    AbsentSeams::fillSlot(m_seams.colorSampler, m_absent->colorSampler);
    AbsentSeams::fillSlot(m_seams.textRecognizer, m_absent->textRecognizer);
    AbsentSeams::fillSlot(m_seams.fileRevealer, m_absent->fileRevealer);
}

UtilsState::~UtilsState() = default;

void UtilsState::setTool(DevTool tool) {
    if (tool != m_tool) {
        m_tool = tool;
        emit toolChanged();
    }
    process();
}

void UtilsState::setInput(const QString& input) {
    if (input != m_input) {
        m_input = input;
        emit inputChanged();
    }
    process();
}

void UtilsState::setOutput(const QString& output) {
    assignPublished(this, m_output, output, &UtilsState::outputChanged);
}

void UtilsState::setSwatch(std::optional<QColor> swatch) {
    assignPublished(this, m_swatch, swatch, &UtilsState::swatchChanged);
}

void UtilsState::setQrImage(const QImage& image) {
    if (image.isNull() && m_qrImage.isNull())
        return;
    m_qrImage = image;
    emit qrImageChanged();
}

void UtilsState::setCapturing(bool capturing) {
    assignPublished(this, m_capturing, capturing, &UtilsState::capturingChanged);
}

void UtilsState::setImageFormat(ImageOutputFormat format) {
    assignPublished(this, m_imageFormat, format, &UtilsState::imageFormatChanged);
}

void UtilsState::process() {
    const quint64 generation = ++m_generation;
    m_pending = 0;
    setSwatch(std::nullopt);
    setQrImage(QImage());
    const QDateTime now = m_seams.clock ? m_seams.clock->now() : QDateTime::currentDateTime();
    LanAddress* lan = m_seams.lanAddress;
    KitTools::LanLookup lanIP = [lan]() -> std::optional<QString> { return lan->current(); };

    auto apply = [this](const KitTools::Result& result) {
        setOutput(result.output);
        setSwatch(result.swatch);
        setQrImage(result.qrImage);
    };
    const bool computes = m_tool != DevTool::uuid && m_tool != DevTool::ocr && m_tool != DevTool::image;
    if (!computes || m_input.size() <= kInlineLimit) {
        apply(KitTools::process(m_tool, m_input, now, lanIP, m_output));
        return;
    }
    m_pending = generation;
    setOutput(QString());
    m_pool.start(
        [self = QPointer<UtilsState>(this), tool = m_tool, input = m_input, now, lanIP, generation, apply] {
            KitTools::Result result = KitTools::process(tool, input, now, lanIP);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, result = std::move(result), generation, apply] {
                    if (!self || self->m_pool.isCancelled() || self->m_generation != generation)
                        return;
                    self->m_pending = 0;
                    apply(result);
                    emit self->processed();
                },
                Qt::QueuedConnection);
        });
}

std::optional<QString> UtilsState::pastedText() const {
    std::optional<QString> text = m_seams.pasteboard->text();
    if (!text)
        return std::nullopt;
    const QString trimmed = text->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

void UtilsState::pasteURL() {
    setTool(DevTool::qr);
    if (const std::optional<QString> text = pastedText()) {
        setInput(*text);
        return;
    }
    setInput(QString());
    setOutput(QStringLiteral("❌ A área de transferência não contém uma URL"));
}

void UtilsState::pasteAndDetect() {
    // The clipboard's text as read for the history stops at a few megabytes; a longer one is read
    // again whole, since the start of a document would be judged as a broken one.
    if (m_seams.pasteboard->textIsCut()) {
        m_seams.pasteboard->readWholeText(kWholeTextMaxBytes, this, [this](Pasteboard::WholeText whole) {
            if (whole.tooLarge) {
                setOutput(tr("❌ The clipboard text is too large for the kit (over %1 MB)")
                              .arg(kWholeTextMaxBytes / (1024 * 1024)));
                return;
            }
            if (whole.text)
                detectAndUse(whole.text->trimmed());
            else
                // The owner stopped answering or went away midway: say so rather than seem to ignore the
                // press.
                setOutput(tr("❌ The clipboard text could not be read to its end. Copy it again and retry."));
        });
        return;
    }
    if (const std::optional<QString> text = pastedText())
        detectAndUse(*text);
}

void UtilsState::detectAndUse(const QString& text) {
    if (text.isEmpty())
        return;
    if (text.size() <= kInlineLimit) {
        setTool(detectTool(text));
        setInput(text);
        return;
    }
    // Telling a long text's kind means parsing it: that is done off the main thread.
    m_pool.start([self = QPointer<UtilsState>(this), text] {
        const DevTool tool = detectTool(text);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, tool, text] {
                if (!self || self->m_pool.isCancelled())
                    return;
                self->setTool(tool);
                self->setInput(text);
            },
            Qt::QueuedConnection);
    });
}

void UtilsState::generateUUID() {
    setOutput(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

void UtilsState::copyOutput() {
    m_seams.pasteboard->writeText(m_output);
}

void UtilsState::captureAndOCR() {
    // One selection at a time: a second would close under the first and let the island collapse.
    if (m_capturing)
        return;
    setTool(DevTool::ocr);
    setCapturing(true);
    setOutput(QStringLiteral("Selecione a área da tela…"));
    m_seams.areaCapture->selectArea([self = QPointer<UtilsState>(this)](std::optional<QImage> area) {
        if (!self)
            return;
        self->setCapturing(false);
        if (!area || area->isNull()) {
            self->setOutput(QStringLiteral("Captura cancelada"));
            return;
        }
        self->recognize(*area);
    });
}

void UtilsState::recognize(const QImage& area) {
    TextRecognizer* recognizer = m_seams.textRecognizer;
    const CancelSignal* cancel = &m_pool.cancelSignal();
    m_pool.start([self = QPointer<UtilsState>(this), area, recognizer, cancel] {
        std::optional<QString> text;
        // The picture waits for the recogniser in a folder only we can enter, and goes with it.
        QTemporaryDir folder(QDir(QDir::tempPath()).filePath(QStringLiteral("quillbay-XXXXXX")));
        if (folder.isValid()) {
            const QString path =
                folder.filePath(QStringLiteral("quillbay-ocr-%1.png")
                                    .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()));
            QByteArray png;
            {
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                area.save(&buffer, "PNG");
            }
            if (AppPaths::writePrivate(png, path))
                text = recognizer->recognize(path, cancel);
            QFile::remove(path);
        }
        if (cancel->isRaised())
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, text] {
                if (!self || self->m_pool.isCancelled())
                    return;
                if (text && !text->isEmpty()) {
                    self->setOutput(*text);
                    if (self->m_seams.pasteboard)
                        self->m_seams.pasteboard->writeText(*text);
                } else {
                    self->setOutput(QStringLiteral("❌ Nenhum texto reconhecido na área capturada"));
                }
            },
            Qt::QueuedConnection);
    });
}

void UtilsState::convertImages(const QStringList& paths) {
    setTool(DevTool::image);
    const ImageOutputFormat format = m_imageFormat;
    setOutput(QStringLiteral("Converting…"));
    m_pool.start([self = QPointer<UtilsState>(this), paths, format, heif = m_seams.heifCodec] {
        QStringList converted;
        QStringList failed;
        for (const QString& path : paths) {
            if (const std::optional<QString> out = ImageConverter::convert(path, format, heif))
                converted.append(*out);
            else
                failed.append(QFileInfo(path).fileName());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, converted, failed, format] {
                if (!self || self->m_pool.isCancelled())
                    return;
                QStringList lines;
                if (!converted.isEmpty()) {
                    lines << QStringLiteral("✅ %1 arquivo(s) → %2:")
                                 .arg(converted.size())
                                 .arg(::rawValue(format));
                    for (const QString& path : converted)
                        lines << QStringLiteral("  ") + QFileInfo(path).fileName();
                    self->m_seams.fileRevealer->reveal(converted);
                }
                if (!failed.isEmpty())
                    lines << QStringLiteral("❌ Falhou: ") + failed.join(QStringLiteral(", "));
                self->setOutput(lines.isEmpty() ? QStringLiteral("❌ Solte arquivos de imagem")
                                                : lines.join(QLatin1Char('\n')));
            },
            Qt::QueuedConnection);
    });
}

void UtilsState::pickColorFromScreen() {
    m_seams.colorSampler->sample([self = QPointer<UtilsState>(this)](std::optional<QColor> color) {
        if (!self || !color || !color->isValid())
            return;
        self->setTool(DevTool::color);
        self->setInput(deviceHex(*color));
    });
}

void UtilsState::setPickedColor(const QColor& color) {
    setInput(deviceHex(color.isValid() ? color : QColor(Qt::white)));
    setTool(DevTool::color);
}

DevTool UtilsState::detectTool(const QString& text) {
    return KitTools::detectTool(text);
}

QString UtilsState::rawValue(DevTool tool) {
    return KitTools::rawValue(tool);
}
