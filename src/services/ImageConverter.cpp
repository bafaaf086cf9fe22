// Qt's image plugins read and write PNG, JPEG and TIFF; libheif does HEIF/HEIC, which Qt cannot.
#include "services/ImageConverter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

#include <libheif/heif.h>

#include <memory>

namespace {

// Decoded pixels stay below this, whatever a file's header claims (Qt's own reader default is the same).
constexpr qint64 kMaxDecodedBytes = 256LL * 1024 * 1024;

void setError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

bool isHeif(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(64);
    const heif_filetype_result kind =
        heif_check_filetype(reinterpret_cast<const uint8_t*>(head.constData()), int(head.size()));
    return kind == heif_filetype_yes_supported || kind == heif_filetype_yes_unsupported;
}

using Context = std::unique_ptr<heif_context, decltype(&heif_context_free)>;
using Handle = std::unique_ptr<const heif_image_handle, decltype(&heif_image_handle_release)>;
using HeifImage = std::unique_ptr<const heif_image, decltype(&heif_image_release)>;
using Encoder = std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)>;

QImage decodeHeif(const QString& path, QString* error) {
    Context ctx(heif_context_alloc(), heif_context_free);
    if (!ctx)
        return setError(error, QStringLiteral("out of memory")), QImage();
    heif_error err = heif_context_read_from_file(ctx.get(), QFile::encodeName(path).constData(), nullptr);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), QImage();
    heif_image_handle* rawHandle = nullptr;
    err = heif_context_get_primary_image_handle(ctx.get(), &rawHandle);
    Handle handle(rawHandle, heif_image_handle_release);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), QImage();
    const qint64 w = heif_image_handle_get_width(handle.get());
    const qint64 h = heif_image_handle_get_height(handle.get());
    if (w <= 0 || h <= 0 || w * h * 4 > kMaxDecodedBytes)
        return setError(error, QStringLiteral("image too large")), QImage();
    // Decoding applies the rotation and mirroring the file asks for.
    heif_image* rawImage = nullptr;
    err = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                            nullptr);
    HeifImage image(rawImage, heif_image_release);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), QImage();
    int stride = 0;
    const uint8_t* data = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int iw = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int ih = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!data || iw <= 0 || ih <= 0)
        return setError(error, QStringLiteral("no pixels")), QImage();
    QImage out(iw, ih, QImage::Format_RGBA8888);
    if (out.isNull())
        return setError(error, QStringLiteral("out of memory")), QImage();
    for (int y = 0; y < ih; ++y)
        memcpy(out.scanLine(y), data + qint64(y) * stride, size_t(iw) * 4);
    return out;
}

heif_error appendBytes(heif_context*, const void* data, size_t size, void* userdata) {
    static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

std::optional<QByteArray> encodeHeif(const QImage& source, QString* error) {
    const bool alpha = source.hasAlphaChannel();
    const QImage rgb = source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    Context ctx(heif_context_alloc(), heif_context_free);
    heif_encoder* rawEncoder = nullptr;
    heif_error err = heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder);
    Encoder encoder(rawEncoder, heif_encoder_release);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), std::nullopt;
    heif_encoder_set_lossy_quality(encoder.get(), 90);
    heif_image* rawImage = nullptr;
    err = heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &rawImage);
    HeifImage image(rawImage, heif_image_release);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), std::nullopt;
    err = heif_image_add_plane(rawImage, heif_channel_interleaved, rgb.width(), rgb.height(), 8);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), std::nullopt;
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(rawImage, heif_channel_interleaved, &stride);
    const size_t rowBytes = size_t(rgb.width()) * (alpha ? 4 : 3);
    for (int y = 0; y < rgb.height(); ++y)
        memcpy(plane + qint64(y) * stride, rgb.constScanLine(y), rowBytes);
    err = heif_context_encode_image(ctx.get(), rawImage, encoder.get(), nullptr, nullptr);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), std::nullopt;
    QByteArray bytes;
    heif_writer writer{1, &appendBytes};
    err = heif_context_write(ctx.get(), &writer, &bytes);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), std::nullopt;
    return bytes;
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

QImage decode(const QString& path, QString* error) {
    if (isHeif(path))
        return decodeHeif(path, error);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(int(kMaxDecodedBytes / (1024 * 1024)));
    QImage image = reader.read(); // the first image or page only
    if (image.isNull())
        setError(error, reader.errorString());
    return image;
}

bool encode(const QImage& image, const QString& destination, ImageOutputFormat format, QString* error) {
    QByteArray heif;
    if (format == ImageOutputFormat::heic) {
        std::optional<QByteArray> bytes = encodeHeif(image, error);
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

std::optional<QString> convert(const QString& source, ImageOutputFormat format, QString* error) {
    const QString destination = destinationFor(source, format);
    if (sameFile(source, destination))
        return setError(error, QStringLiteral("the destination is the source")), std::nullopt;
    const QImage image = decode(source, error);
    if (image.isNull())
        return std::nullopt;
    if (!encode(image, destination, format, error))
        return std::nullopt;
    return destination;
}

} // namespace ImageConverter
