// The formats the kit converts dropped images to, in chip order.
#pragma once

#include <QString>

enum class ImageOutputFormat { png, jpeg, heic, tiff };

// The chip title ("PNG", "JPEG", ...).
inline QString rawValue(ImageOutputFormat format) {
    switch (format) {
    case ImageOutputFormat::png:
        return QStringLiteral("PNG");
    case ImageOutputFormat::jpeg:
        return QStringLiteral("JPEG");
    case ImageOutputFormat::heic:
        return QStringLiteral("HEIC");
    case ImageOutputFormat::tiff:
        return QStringLiteral("TIFF");
    }
    return QString();
}

// The extension a converted file gets: the title in lower case.
inline QString fileExtension(ImageOutputFormat format) {
    return rawValue(format).toLower();
}
