#include "services/FeedEncoding.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace FeedEncoding {

QByteArray declaredEncoding(const QByteArray& bytes) {
    QByteArray head = bytes.left(200);
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    if (!head.startsWith("<?xml"))
        return {};
    const qsizetype end = head.indexOf("?>");
    if (end < 0)
        return {};
    static const QRegularExpression enc(QStringLiteral(R"(encoding\s*=\s*["']([A-Za-z0-9._-]+)["'])"));
    const auto m = enc.match(QString::fromLatin1(head.left(end)));
    return m.hasMatch() ? m.captured(1).toLatin1().toLower() : QByteArray();
}

std::optional<Source> sourceOf(const QByteArray& bytes, QString* unsupported) {
    const QByteArray enc = declaredEncoding(bytes);
    if (enc.isEmpty() || enc == "utf-8" || enc == "utf8" || enc.startsWith("utf-16"))
        return Source{};
    if (enc == "windows-1252" || enc == "cp1252" || enc == "x-cp1252")
        return Source{Source::Kind::cp1252, {}};
    if (enc == "iso-8859-1" || enc == "latin1" || enc == "latin-1" || enc == "iso_8859-1" ||
        enc == "us-ascii" || enc == "ascii")
        return Source{Source::Kind::latin1, {}};
    // Qt may know more names on some builds; use them when it does.
    QStringDecoder decoder(enc.constData());
    if (decoder.isValid()) {
        QString text = decoder(bytes);
        if (!decoder.hasError())
            return Source{Source::Kind::text, std::move(text)};
    }
    *unsupported = QStringLiteral("unsupported encoding: ") + QString::fromLatin1(enc);
    return std::nullopt;
}

} // namespace FeedEncoding
