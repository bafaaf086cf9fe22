#include "services/UpdateManifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>

#include <algorithm>

namespace UpdateManifest {

namespace {

const QRegularExpression& versionPattern() {
    static const QRegularExpression re(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+\\.[0-9]+\\.[0-9]+")));
    return re;
}

// Text from the server fit for one log line: printable ASCII, at most 40 characters.
QString quoted(const QString& text) {
    QString out;
    for (const QChar c : text.left(40))
        out += (c.unicode() >= 0x20 && c.unicode() < 0x7f) ? c : QLatin1Char('?');
    return QLatin1Char('"') + out + (text.size() > 40 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

// The number of one dotted piece: its numeric characters, parsed as a signed 64-bit decimal; 0 when
// nothing is left or it does not parse (digits of other scripts, or too large).
qint64 pieceValue(const QString& piece) {
    QString digits;
    for (const QChar c : piece)
        if (c.isNumber())
            digits += c;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    bool ok = false;
    const qint64 v = digits.toLongLong(&ok);
    return ok ? v : 0;
}

QList<qint64> parts(const QString& version) {
    QList<qint64> out;
    for (const QString& piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts))
        out << pieceValue(piece);
    return out;
}

} // namespace

bool isNewer(const QString& a, const QString& b) {
    const QList<qint64> pa = parts(a);
    const QList<qint64> pb = parts(b);
    for (qsizetype i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const qint64 x = pa.value(i, 0);
        const qint64 y = pb.value(i, 0);
        if (x != y)
            return x > y;
    }
    return false;
}

bool isSha256(const QString& text) {
    static const QRegularExpression re(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Fa-f0-9]{64}")));
    return re.match(text).hasMatch();
}

bool isTrustedDownloadURL(const QUrl& url, const QUrl& manifest) {
    if (url.scheme() != QLatin1String("https"))
        return false;
    if (url.host().isEmpty() || url.host() != manifest.host() || url.port(443) != manifest.port(443))
        return false;
    const QString path = url.path(QUrl::FullyDecoded);
    return path.startsWith(QLatin1String("/downloads/")) &&
           !path.split(QLatin1Char('/')).contains(QLatin1String(".."));
}

Offer read(const QByteArray& body, const QUrl& manifestURL) {
    Offer offer;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject manifest = doc.object();
    const QJsonValue version = manifest.value(QStringLiteral("version"));
    if (body.isEmpty()) {
        offer.refusal = QStringLiteral("the manifest is empty");
        return offer;
    }
    if (parseError.error != QJsonParseError::NoError) {
        offer.refusal = QStringLiteral("the manifest is not JSON (%1 at byte %2)")
                            .arg(parseError.errorString())
                            .arg(parseError.offset);
        return offer;
    }
    if (!doc.isObject()) {
        offer.refusal = QStringLiteral("the manifest is not a JSON object");
        return offer;
    }
    if (version.isUndefined() || version.isNull()) {
        offer.refusal = QStringLiteral("the manifest names no version");
        return offer;
    }
    if (!version.isString()) {
        offer.refusal = QStringLiteral("the manifest's version is not a string");
        return offer;
    }
    if (!versionPattern().match(version.toString()).hasMatch()) {
        offer.refusal = QStringLiteral("the manifest's version %1 is not three numbers joined by dots")
                            .arg(quoted(version.toString()));
        return offer;
    }
    offer.version = version.toString();
    offer.kind = Offer::Kind::untrustedDownload;
    const QJsonValue url = manifest.value(QStringLiteral("url"));
    const QJsonValue sha = manifest.value(QStringLiteral("sha256"));
    const QUrl download(url.toString(), QUrl::StrictMode);
    // QUrl lower-cases the scheme while parsing, so its exact spelling is read from the text.
    const bool addressOk = url.isString() && url.toString().startsWith(QLatin1String("https:")) &&
                           download.isValid() && isTrustedDownloadURL(download, manifestURL);
    if (addressOk && sha.isString() && isSha256(sha.toString())) {
        const QJsonValue notes = manifest.value(QStringLiteral("notes"));
        offer.kind = Offer::Kind::offered;
        offer.url = download;
        offer.sha256 = sha.toString().toLower();
        offer.notes = notes.isString() ? notes.toString() : QString();
        return offer;
    }
    if (!url.isString()) {
        offer.refusal = QStringLiteral("the manifest names no download address");
    } else if (!addressOk) {
        const QString host = manifestURL.port() < 0 ? manifestURL.host()
                                                    : manifestURL.host() + QLatin1Char(':') +
                                                          QString::number(manifestURL.port());
        offer.refusal =
            QStringLiteral("the manifest's download address %1 is not https on %2 under /downloads/")
                .arg(download.isValid() ? download.toString(QUrl::FullyEncoded).left(200)
                                        : QStringLiteral("(unreadable)"),
                     host);
    } else {
        offer.refusal = QStringLiteral("the manifest's SHA-256 is not 64 hexadecimal digits");
    }
    return offer;
}

} // namespace UpdateManifest
