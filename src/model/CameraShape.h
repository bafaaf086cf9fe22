// The shapes of the camera mirror's picture, with the text each is stored as.
#pragma once

#include <QString>

#include <array>

enum class CameraShape { widescreen, square, circle };

namespace CameraShapes {

inline constexpr std::array<CameraShape, 3> all{CameraShape::widescreen, CameraShape::square,
                                                CameraShape::circle};

inline QString rawValue(CameraShape shape) {
    switch (shape) {
    case CameraShape::widescreen:
        return QStringLiteral("16:9");
    case CameraShape::square:
        return QStringLiteral("1:1");
    case CameraShape::circle:
        return QStringLiteral("Circle");
    }
    return QStringLiteral("16:9");
}

// Anything that is not one of the stored texts (an older or hand-edited value) is the widescreen shape.
inline CameraShape fromRawValue(const QString& raw) {
    for (CameraShape s : all)
        if (rawValue(s) == raw)
            return s;
    return CameraShape::widescreen;
}

// Width over height of the picture.
inline double aspect(CameraShape shape) {
    return shape == CameraShape::widescreen ? 16.0 / 9.0 : 1.0;
}

} // namespace CameraShapes
