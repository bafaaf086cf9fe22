// Conversion of one image file to another format, written beside it. Blocking: run it off the main thread.
#pragma once

#include "model/ImageOutputFormat.h"

#include <QImage>
#include <QString>

#include <optional>

class HeifCodec;

// HEIF/HEIC is read and written through `heif`; without one, those files fail with a reason.
namespace ImageConverter {

// Where a converted file goes: the source's folder and name, its last extension replaced by `format`'s.
QString destinationFor(const QString& source, ImageOutputFormat format);

// True when writing `destination` could overwrite `source`: the same path, a path that differs only in
// letter case (one file on a case-insensitive volume), or a path that resolves to the source.
bool sameFile(const QString& source, const QString& destination);

// The first image of a file, turned upright by its orientation tag; HEIF/HEIC is recognised by content.
// A null image (and `error` set) when the file cannot be read or would need more memory than allowed.
QImage decode(const QString& path, HeifCodec* heif, QString* error = nullptr);

// Writes `image` to `destination` as `format` (quality 90 for JPEG and HEIC) through a temporary file in
// the same folder that replaces the destination only once it is complete.
bool encode(const QImage& image, const QString& destination, ImageOutputFormat format, HeifCodec* heif,
            QString* error = nullptr);

// Converts `source` to `format` beside it. The destination path, or nothing (and `error` set) when the
// file cannot be read, decoded or written, or when the destination would be the source itself.
std::optional<QString> convert(const QString& source, ImageOutputFormat format, HeifCodec* heif,
                               QString* error = nullptr);

} // namespace ImageConverter
