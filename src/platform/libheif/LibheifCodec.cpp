// libheif reads and writes HEIF/HEIC; the conversions it needs to and from Qt's images.
#include "platform/libheif/LibheifCodec.h"

#include <QFile>

#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace {

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

QImage decodeHeif(const QString& path, qint64 maxBytes, QString* error) {
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
    if (w <= 0 || h <= 0 || w * h * 4 > maxBytes)
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

std::optional<QByteArray> encodeHeif(const QImage& source, int quality, QString* error) {
    const bool alpha = source.hasAlphaChannel();
    const QImage rgb = source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    Context ctx(heif_context_alloc(), heif_context_free);
    heif_encoder* rawEncoder = nullptr;
    heif_error err = heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder);
    Encoder encoder(rawEncoder, heif_encoder_release);
    if (err.code != heif_error_Ok)
        return setError(error, QString::fromUtf8(err.message)), std::nullopt;
    heif_encoder_set_lossy_quality(encoder.get(), quality);
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

QImage LibheifCodec::decode(const QString& path, qint64 maxBytes, QString* error) {
    if (!isHeif(path))
        return setError(error, QStringLiteral("not a HEIF image")), QImage();
    return decodeHeif(path, maxBytes, error);
}

std::optional<QByteArray> LibheifCodec::encode(const QImage& image, int quality, QString* error) {
    return encodeHeif(image, quality, error);
}
