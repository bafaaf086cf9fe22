// Reading and writing HEIF/HEIC images, which Qt's image plugins cannot.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QtGlobal>

#include <optional>

class HeifCodec {
public:
    HeifCodec() = default;
    virtual ~HeifCodec() = default;
    Q_DISABLE_COPY_MOVE(HeifCodec)

    // The primary image of the file at `path`, turned upright as the file asks; a null image (and `error`
    // set) when it is no HEIF image, cannot be read, or would take more than `maxBytes` decoded. Blocking
    // and safe to call from several threads at once.
    virtual QImage decode(const QString& path, qint64 maxBytes, QString* error) = 0;
    // The image encoded as HEIC at `quality` (0–100); nothing (and `error` set) when it cannot be.
    virtual std::optional<QByteArray> encode(const QImage& image, int quality, QString* error) = 0;
};

// A desktop without a HEIF library: every image refused with the same reason.
class NoHeifCodec final : public HeifCodec {
public:
    QImage decode(const QString&, qint64, QString* error) override {
        refuse(error);
        return {};
    }
    std::optional<QByteArray> encode(const QImage&, int, QString* error) override {
        refuse(error);
        return std::nullopt;
    }

private:
    static void refuse(QString* error) {
        if (error)
            *error = QStringLiteral("HEIF/HEIC images cannot be read or written here");
    }
};
