// The kit's text tools. Every number shown is formatted without the user's locale: Qt has set the C
// library's locale from the environment, where pt_BR would print "0,502".
#include "services/KitTools.h"

#include "services/JsonPrettyPrinter.h"
#include "services/QRCode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace {

const QString kInvalidInput = QStringLiteral("❌ Entrada inválida");
const QString kInvalidJSON = QStringLiteral("❌ JSON inválido: ");
const QString kFormatFailed = QStringLiteral("❌ Falha ao formatar");
const QString kJWTTooShort = QStringLiteral("❌ JWT precisa de pelo menos header.payload");
const QString kEpochUnknown = QStringLiteral("❌ Não reconheci — use epoch ou data ISO");
const QString kColorUnknown = QStringLiteral("❌ Use #RRGGBB ou rgb(r, g, b)");
const QString kNotWebURL = QStringLiteral("❌ Informe uma URL HTTP ou HTTPS válida");
const QString kNoLanIP = QStringLiteral("❌ Não encontrei o IP local deste computador");
const QString kNoQR = QStringLiteral("❌ Não foi possível gerar o QR Code");

// The widest span of dates a program is expected to show (±100 million days around 1970, as in ECMAScript),
// in milliseconds; beyond it a number is not taken for a time.
constexpr double kMinMs = -8.64e15;
constexpr double kMaxMs = 8.64e15;

std::optional<QString> utf8Text(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString indented(const QJsonDocument& doc) {
    QByteArray bytes = doc.toJson(QJsonDocument::Indented);
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

// One JSON value as text: containers indented, scalars as they are written inside an array.
QString printed(const QJsonValue& value) {
    if (value.isObject())
        return indented(QJsonDocument(value.toObject()));
    if (value.isArray())
        return indented(QJsonDocument(value.toArray()));
    QByteArray bytes = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(bytes.mid(1, bytes.size() - 2));
}

// The authority part of "scheme://authority/..." as the user wrote it, and where it starts.
struct RawHost {
    qsizetype start = -1;
    qsizetype length = 0;
    QString host;
};

RawHost rawHost(const QString& url) {
    RawHost out;
    const qsizetype schemeEnd = url.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0)
        return out;
    qsizetype begin = schemeEnd + 3;
    qsizetype end = url.size();
    for (qsizetype i = begin; i < url.size(); ++i) {
        const QChar c = url.at(i);
        if (c == u'/' || c == u'?' || c == u'#') {
            end = i;
            break;
        }
    }
    const qsizetype at = url.lastIndexOf(QLatin1Char('@'), end - 1);
    if (at >= begin)
        begin = at + 1;
    qsizetype hostEnd = end;
    if (begin < end && url.at(begin) == u'[') {
        const qsizetype close = url.indexOf(QLatin1Char(']'), begin);
        hostEnd = (close >= 0 && close < end) ? close + 1 : end;
    } else {
        const qsizetype colon = url.indexOf(QLatin1Char(':'), begin);
        if (colon >= 0 && colon < end)
            hostEnd = colon;
    }
    out.start = begin;
    out.length = hostEnd - begin;
    out.host = url.mid(begin, out.length);
    if (out.host.startsWith(u'[') && out.host.endsWith(u']'))
        out.host = out.host.mid(1, out.host.size() - 2);
    return out;
}

// "https://" assumed, then an http(s) address with a non-empty host; the text to use, or none.
std::optional<QString> webAddress(const QString& text) {
    const QString candidate = text.contains(QStringLiteral("://")) ? text : QStringLiteral("https://") + text;
    const QUrl url(candidate, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    if (url.host().isEmpty() || rawHost(candidate).host.isEmpty())
        return std::nullopt;
    return candidate;
}

// strtod in the C locale over the whole text; finite values only (nan and inf are not times).
std::optional<double> cNumber(const QString& text) {
    if (text.isEmpty() || text.at(0).isSpace())
        return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    if (!cLocale)
        return std::nullopt;
    char* end = nullptr;
    const double value = strtod_l(bytes.constData(), &end, cLocale);
    if (end != bytes.constData() + bytes.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<QDateTime> parsedDate(const QString& text) {
    static const QRegularExpression internet(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(Z|[+-]\\d{2}:\\d{2})$"));
    static const QRegularExpression fractional(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d+(Z|[+-]\\d{2}:\\d{2})$"));
    if (internet.match(text).hasMatch() || fractional.match(text).hasMatch()) {
        const QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (dt.isValid())
            return dt;
    }
    const QDateTime local = QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    if (local.isValid())
        return local;
    return std::nullopt;
}

// Six characters read as one base-16 number, a leading sign included (it counts among the six).
std::optional<qint64> hexValue(const QString& six) {
    qsizetype i = 0;
    bool negative = false;
    if (six.at(0) == u'+' || six.at(0) == u'-') {
        negative = six.at(0) == u'-';
        i = 1;
    }
    if (i >= six.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < six.size(); ++i) {
        const char16_t c = six.at(i).unicode();
        const int digit = (c >= u'0' && c <= u'9')   ? c - u'0'
                          : (c >= u'a' && c <= u'f') ? c - u'a' + 10
                          : (c >= u'A' && c <= u'F') ? c - u'A' + 10
                                                     : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + digit;
    }
    return negative ? -value : value;
}

QString hexText(int r, int g, int b) {
    return QString::asprintf("#%02X%02X%02X", r, g, b);
}

} // namespace

namespace KitTools {

QString formatJSON(const QString& text) {
    if (!QStringView(text).isValidUtf16())
        return kInvalidInput;
    // Plain JSON takes the fast printer; whatever it declines gets Qt's verdict and error text below.
    if (std::optional<QString> fast = JsonPrettyPrinter::indented(text))
        return *std::move(fast);
    // Qt reads only objects and arrays at the top level, so the text is read as the one element of an
    // array; a second element ("1,2") is not one value.
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text.toUtf8() + "]", &error);
    if (error.error != QJsonParseError::NoError)
        return kInvalidJSON + error.errorString() +
               QStringLiteral(" (offset %1)").arg(qMax(0, error.offset - 1));
    const QJsonArray wrapped = doc.array();
    if (wrapped.size() != 1)
        return kInvalidJSON + QJsonParseError{0, QJsonParseError::GarbageAtEnd}.errorString();
    const QString out = printed(wrapped.at(0));
    return out.isNull() ? kFormatFailed : out;
}

QString jwt(const QString& text, const QDateTime& now) {
    const QStringList pieces = text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return kJWTTooShort;

    QJsonObject payloadObject;
    auto segment = [](QString piece, QJsonObject* object) -> QString {
        piece.replace(QLatin1Char('-'), QLatin1Char('+')).replace(QLatin1Char('_'), QLatin1Char('/'));
        while (piece.size() % 4 != 0)
            piece.append(QLatin1Char('='));
        const std::optional<QByteArray> bytes = strictBase64(piece);
        if (!bytes)
            return QStringLiteral("(base64 inválido)");
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
        if (error.error == QJsonParseError::NoError && (doc.isObject() || doc.isArray())) {
            if (doc.isObject() && object)
                *object = doc.object();
            return indented(doc);
        }
        return utf8Text(*bytes).value_or(QStringLiteral("(binário)"));
    };
    const QString header = segment(pieces.at(0), nullptr);
    const QString payload = segment(pieces.at(1), &payloadObject);

    QString note;
    const QJsonValue exp = payloadObject.value(QStringLiteral("exp"));
    if (!payloadObject.isEmpty() && exp.isDouble()) {
        const double ms = exp.toDouble() * 1000.0;
        // A date beyond what can be shown gets no note rather than an overflowing conversion.
        if (std::isfinite(ms) && ms >= kMinMs && ms <= kMaxMs) {
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(ms))).toLocalTime();
            const QString date = when.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
            note = when < now ? QStringLiteral("\n\n⚠️ EXPIRADO em ") + date
                              : QStringLiteral("\n\n✅ Válido até ") + date;
        }
    }
    return QStringLiteral("Header:\n") + header + QStringLiteral("\n\nPayload:\n") + payload + note;
}

QString base64(const QString& text) {
    QString out;
    if (const std::optional<QByteArray> bytes = strictBase64(text)) {
        if (const std::optional<QString> decoded = utf8Text(*bytes))
            out = QStringLiteral("Decodificado:\n") + *decoded + QStringLiteral("\n\n");
    }
    return out + QStringLiteral("Codificado:\n") + QString::fromLatin1(text.toUtf8().toBase64());
}

QString epoch(const QString& text) {
    if (const std::optional<double> number = cNumber(text)) {
        const double seconds = *number > 1e12 ? *number / 1000.0 : *number;
        const double ms = std::floor(seconds * 1000.0);
        // Out of the showable range (or "1e400"): not a time, so it falls through to date reading.
        if (ms >= kMinMs && ms <= kMaxMs) {
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(qint64(ms));
            return QStringLiteral("Local:  ") +
                   when.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) +
                   QStringLiteral("\nISO:    ") +
                   when.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
        }
    }
    if (const std::optional<QDateTime> date = parsedDate(text)) {
        const qint64 s = date->toMSecsSinceEpoch() / 1000; // toward zero
        return QStringLiteral("Segundos:      ") + QString::number(s) + QStringLiteral("\nMilissegundos: ") +
               QString::number(s * 1000);
    }
    return kEpochUnknown;
}

Result color(const QString& text) {
    std::optional<std::array<int, 3>> rgb;
    QString stripped = text;
    stripped.remove(QLatin1Char('#'));
    if (stripped.size() == 6) {
        if (const std::optional<qint64> value = hexValue(stripped)) {
            const quint64 bits = quint64(*value);
            rgb = std::array<int, 3>{int((bits >> 16) & 0xFF), int((bits >> 8) & 0xFF), int(bits & 0xFF)};
        }
    }
    if (!rgb) {
        QList<qint64> numbers;
        qsizetype i = 0;
        while (i < text.size() && numbers.size() < 3) {
            if (text.at(i) < u'0' || text.at(i) > u'9') {
                ++i;
                continue;
            }
            const qsizetype start = i;
            while (i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9')
                ++i;
            bool ok = false;
            const qint64 n = QStringView(text).mid(start, i - start).toLongLong(&ok);
            if (ok) // a run too long for 64 bits is skipped
                numbers.append(n);
        }
        if (numbers.size() >= 3 && numbers[0] <= 255 && numbers[1] <= 255 && numbers[2] <= 255)
            rgb = std::array<int, 3>{int(numbers[0]), int(numbers[1]), int(numbers[2])};
    }
    if (!rgb)
        return {kColorUnknown, std::nullopt, {}};
    const auto [r, g, b] = *rgb;
    auto unit = [](int c) { return QString::number(c / 255.0, 'f', 3); };
    Result out;
    out.output =
        QStringLiteral("HEX:  ") + hexText(r, g, b) +
        QStringLiteral("\nRGB:  rgb(%1, %2, %3)").arg(r).arg(g).arg(b) +
        QStringLiteral("\nSwiftUI: Color(red: %1, green: %2, blue: %3)").arg(unit(r), unit(g), unit(b));
    out.swatch = QColor(r, g, b);
    return out;
}

Result qr(const QString& text, const LanLookup& lanIP) {
    std::optional<QString> address = webAddress(text);
    if (!address)
        return {kNotWebURL, std::nullopt, {}};
    const RawHost host = rawHost(*address);
    if (host.host == QLatin1String("localhost") || host.host == QLatin1String("127.0.0.1")) {
        const std::optional<QString> ip = lanIP ? lanIP() : std::nullopt;
        if (!ip)
            return {kNoLanIP, std::nullopt, {}};
        address->replace(host.start, host.length, *ip);
    }
    if (!QUrl(*address, QUrl::StrictMode).isValid())
        return {kNoQR, std::nullopt, {}};
    const QImage image = QRCode::image(*address, 300);
    if (image.isNull())
        return {kNoQR, std::nullopt, {}};
    return {*address, std::nullopt, image};
}

Result process(DevTool tool, const QString& input, const QDateTime& now, const LanLookup& lanIP,
               const QString& current) {
    const QString text = input.trimmed();
    if (text.isEmpty())
        return {};
    switch (tool) {
    case DevTool::json:
        return {formatJSON(text), std::nullopt, {}};
    case DevTool::jwt:
        return {jwt(text, now), std::nullopt, {}};
    case DevTool::base64:
        return {base64(text), std::nullopt, {}};
    case DevTool::epoch:
        return {epoch(text), std::nullopt, {}};
    case DevTool::color:
        return color(text);
    case DevTool::qr:
        return qr(text, lanIP);
    case DevTool::uuid:
    case DevTool::ocr:
    case DevTool::image:
        break;
    }
    return {current, std::nullopt, {}};
}

std::optional<QByteArray> strictBase64(const QString& text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    static const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9+/]*={0,2}$"));
    if (!alphabet.match(text).hasMatch())
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

bool looksLikeWebURL(const QString& text) {
    const std::optional<QString> address = webAddress(text);
    if (!address)
        return false;
    const QString host = rawHost(*address).host.toLower();
    return host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1") ||
           host.contains(QLatin1Char('.')) || host.contains(QLatin1Char(':'));
}

DevTool detectTool(const QString& text) {
    static const QRegularExpression jwtPattern(
        QStringLiteral("^[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]*$"));
    static const QRegularExpression epochPattern(QStringLiteral("^\\d{10,13}$"));
    static const QRegularExpression colorPattern(QStringLiteral("^#?[0-9a-fA-F]{6}$"));

    if (jwtPattern.match(text).hasMatch())
        return DevTool::jwt;
    if (text.startsWith(QLatin1Char('{')) || text.startsWith(QLatin1Char('['))) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
        if (error.error == QJsonParseError::NoError && (doc.isObject() || doc.isArray()))
            return DevTool::json;
    }
    if (epochPattern.match(text).hasMatch())
        return DevTool::epoch;
    if (colorPattern.match(text).hasMatch())
        return DevTool::color;
    if (looksLikeWebURL(text))
        return DevTool::qr;
    if (text.size() >= 13 && strictBase64(text))
        return DevTool::base64;
    return DevTool::json;
}

QString rawValue(DevTool tool) {
    switch (tool) {
    case DevTool::json:
        return QStringLiteral("JSON");
    case DevTool::jwt:
        return QStringLiteral("JWT");
    case DevTool::uuid:
        return QStringLiteral("UUID");
    case DevTool::base64:
        return QStringLiteral("Base64");
    case DevTool::epoch:
        return QStringLiteral("Epoch");
    case DevTool::color:
        return QStringLiteral("Cor");
    case DevTool::qr:
        return QStringLiteral("QR");
    case DevTool::ocr:
        return QStringLiteral("OCR");
    case DevTool::image:
        return QStringLiteral("Imagem");
    }
    return QString();
}

QString symbol(DevTool tool) {
    switch (tool) {
    case DevTool::json:
        return QStringLiteral("curlybraces");
    case DevTool::jwt:
        return QStringLiteral("key");
    case DevTool::uuid:
        return QStringLiteral("number");
    case DevTool::base64:
        return QStringLiteral("arrow.left.arrow.right");
    case DevTool::epoch:
        return QStringLiteral("clock");
    case DevTool::color:
        return QStringLiteral("paintpalette");
    case DevTool::qr:
        return QStringLiteral("qrcode");
    case DevTool::ocr:
        return QStringLiteral("text.viewfinder");
    case DevTool::image:
        return QStringLiteral("photo");
    }
    return QString();
}

} // namespace KitTools
