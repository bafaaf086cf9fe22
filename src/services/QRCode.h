// QR code images of short texts (for phones to scan).
#pragma once

#include "platform/LanRanking.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace QRCode {

// The ranking lives with the address seam; these names stay for the code that knows it as QR lookup.
using LanRanking::chooseLanIP;
using LanRanking::looksVirtual;
using LanRanking::NetInterface;
using LanRanking::parseRoutes;
using LanRanking::Route;

// A QR code of `text`'s UTF-8 bytes at error-correction level M, `size` pixels square, black modules on
// white with a four-module quiet zone included, scaled without smoothing. Null when encoding fails.
QImage image(const QString& text, double size);

} // namespace QRCode
