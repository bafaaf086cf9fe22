// The developer kit's text tools as pure functions: each turns a trimmed text into the kit's output
// text. No state and no widgets, so they can run on any thread and be fuzzed on their own.
#pragma once

#include "model/DevTool.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace KitTools {

// The machine's LAN IPv4 address, asked only when a local address has to be replaced.
using LanLookup = std::function<std::optional<QString>()>;

struct Result {
    QString output;
    std::optional<QColor> swatch;
    QImage qrImage; // null: no image
};

// Pretty-printed JSON with sorted keys; a bare string, number, true, false or null is accepted.
QString formatJSON(const QString& text);
// The header and payload of a JSON Web Token, with an expiry note measured against `now`.
QString jwt(const QString& text, const QDateTime& now);
// The decoded block (when the text is strict Base64 of UTF-8) and the encoding of the text itself.
QString base64(const QString& text);
// A Unix time (seconds, or milliseconds above 1e12) as dates, or a date as Unix seconds and milliseconds.
QString epoch(const QString& text);
// A colour as "#RRGGBB" or three decimal numbers, in three notations; the colour itself as the swatch.
Result color(const QString& text);
// A web address made ready for a phone (localhost replaced by the LAN address) and its QR image.
Result qr(const QString& text, const LanLookup& lanIP);

// The whole step for one tool on an untrimmed input; tools with nothing to compute give `current`.
Result process(DevTool tool, const QString& input, const QDateTime& now, const LanLookup& lanIP,
               const QString& current = QString());

// The tool that suits a text; JSON when nothing fits.
DevTool detectTool(const QString& text);
// An http(s) address with a host that is local or has a dot or colon, "https://" assumed.
bool looksLikeWebURL(const QString& text);
// Base64 with the standard alphabet, padded to a multiple of four, and nothing else; none otherwise.
std::optional<QByteArray> strictBase64(const QString& text);

// The chip title of a tool ("JSON", "Cor", ...) and its symbol name.
QString rawValue(DevTool tool);
QString symbol(DevTool tool);

} // namespace KitTools
