// Qt's image plugins read and write PNG, JPEG and TIFF; HEIF/HEIC goes to the HEIF codec, which Qt cannot.
#include "services/ImageConverter.h"

#include "platform/HeifCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

namespace {

// Decoded pixels stay below this, whatever a file's header claims (Qt's own reader default is the same).
constexpr qint64 kMaxDecodedBytes = 256LL * 1024 * 1024;

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// HEIF files, like every ISO media file, open with an "ftyp" box; only those go to the HEIF codec, so
// converting PNG, JPEG or TIFF never needs it.
bool isIsoMedia(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(8);
    return head.size() == 8 && head.mid(4) == "ftyp";
}

QString noHeif() {
    return QStringLiteral("HEIF/HEIC images cannot be read or written here");
}

} // namespace

namespace ImageConverter {

QString destinationFor(const QString& source, ImageOutputFormat format) {
    const QFileInfo info(source);
    QString name = info.fileName();
    // ".bashrc" has no extension: its name is all of it.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return info.dir().filePath(name + QLatin1Char('.') + fileExtension(format));
}

bool sameFile(const QString& source, const QString& destination) {
    if (source.compare(destination, Qt::CaseInsensitive) == 0)
        return true;
    const QString a = QFileInfo(source).canonicalFilePath();
    const QString b = QFileInfo(destination).canonicalFilePath();
    return !a.isEmpty() && a == b;
}

QImage decode(const QString& path, HeifCodec* heif, QString* error) {
    if (isIsoMedia(path)) {
        if (!heif)
            return setError(error, noHeif()), QImage();
        return heif->decode(path, kMaxDecodedBytes, error);
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(int(kMaxDecodedBytes / (1024 * 1024)));
    QImage image = reader.read(); // the first image or page only
    if (image.isNull())
        setError(error, reader.errorString());
    return image;
}

bool encode(const QImage& image, const QString& destination, ImageOutputFormat format, HeifCodec* codec,
            QString* error) {
    QByteArray heif;
    if (format == ImageOutputFormat::heic) {
        if (!codec)
            return setError(error, noHeif()), false;
        std::optional<QByteArray> bytes = codec->encode(image, 90, error);
        if (!bytes)
            return false;
        heif = std::move(*bytes);
    }
    QSaveFile file(destination);
    if (!file.open(QIODevice::WriteOnly))
        return setError(error, file.errorString()), false;
    bool written = false;
    if (format == ImageOutputFormat::heic) {
        written = file.write(heif) == heif.size();
    } else {
        QImage out = image;
        if (format == ImageOutputFormat::jpeg && image.hasAlphaChannel()) {
            // JPEG has no transparency: see-through parts become white, not black.
            out = QImage(image.size(), QImage::Format_RGB32);
            out.fill(Qt::white);
            QPainter painter(&out);
            painter.drawImage(0, 0, image);
        }
        QImageWriter writer(&file, fileExtension(format).toLatin1());
        if (format == ImageOutputFormat::jpeg)
            writer.setQuality(90);
        written = writer.write(out);
        if (!written)
            setError(error, writer.errorString());
    }
    if (!written) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return setError(error, file.errorString()), false;
    return true;
}

std::optional<QString> convert(const QString& source, ImageOutputFormat format, HeifCodec* heif,
                               QString* error) {
    const QString destination = destinationFor(source, format);
    if (sameFile(source, destination))
        return setError(error, QStringLiteral("the destination is the source")), std::nullopt;
    const QImage image = decode(source, heif, error);
    if (image.isNull())
        return std::nullopt;
    if (!encode(image, destination, format, heif, error))
        return std::nullopt;
    return destination;
}

} // namespace ImageConverter
