// HEIF/HEIC through libheif and the codecs it brings (x265, aom, dav1d, libde265).
#pragma once

#include "platform/HeifCodec.h"

class LibheifCodec final : public HeifCodec {
public:
    QImage decode(const QString& path, qint64 maxBytes, QString* error) override;
    std::optional<QByteArray> encode(const QImage& image, int quality, QString* error) override;
};
