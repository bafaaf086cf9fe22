// The custom tab's stored form and its page address.
#include "model/CustomTab.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// The 36-character hyphenated form, either case; QUuid alone also takes braces and other forms.
std::optional<QUuid> parseCanonicalUuid(const QString& text) {
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                         (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
                         (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (hyphen ? c != QLatin1Char('-') : !hex)
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

// A JSON number that is a whole number a 64-bit integer holds (5.0 counts, 5.5 and 1e30 do not).
std::optional<qint64> integerOf(const QJsonValue& v) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) >= 9.2e18)
        return std::nullopt;
    return v.toInteger(qint64(d));
}

std::optional<CustomTab> decodeTab(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const QJsonValue id = o.value(QLatin1String("id")), name = o.value(QLatin1String("name")),
                     kind = o.value(QLatin1String("kind")), command = o.value(QLatin1String("command")),
                     url = o.value(QLatin1String("url")), refresh = o.value(QLatin1String("refreshSeconds")),
                     enabled = o.value(QLatin1String("enabled"));
    if (!id.isString() || !name.isString() || !kind.isString() || !command.isString() || !url.isString() ||
        !enabled.isBool())
        return std::nullopt;
    const std::optional<QUuid> uuid = parseCanonicalUuid(id.toString());
    const std::optional<CustomTab::Kind> k = CustomTabCodec::kindFromRawValue(kind.toString());
    const std::optional<qint64> seconds = integerOf(refresh);
    if (!uuid || !k || !seconds)
        return std::nullopt;
    CustomTab tab;
    tab.id = *uuid;
    tab.name = name.toString();
    tab.kind = *k;
    tab.command = command.toString();
    tab.url = url.toString();
    tab.refreshSeconds = *seconds;
    tab.enabled = enabled.toBool();
    return tab;
}

} // namespace

std::optional<QUrl> CustomTab::resolvedURL() const {
    qsizetype from = 0, to = url.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (from < to && blank(url[from]))
        ++from;
    while (to > from && blank(url[to - 1]))
        --to;
    const QString text = url.mid(from, to - from);
    if (text.isEmpty())
        return std::nullopt;
    QString address = text;
    if (!text.contains(QLatin1String("://"))) {
        const bool local =
            text.startsWith(QLatin1String("localhost")) || text.startsWith(QLatin1String("127."));
        address = (local ? QLatin1String("http://") : QLatin1String("https://")) + text;
    }
    const QUrl parsed(address, QUrl::StrictMode);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed;
}

namespace CustomTabCodec {

QString kindRawValue(CustomTab::Kind kind) {
    return kind == CustomTab::Kind::web ? QStringLiteral("web") : QStringLiteral("script");
}

std::optional<CustomTab::Kind> kindFromRawValue(const QString& text) {
    if (text == QLatin1String("script"))
        return CustomTab::Kind::script;
    if (text == QLatin1String("web"))
        return CustomTab::Kind::web;
    return std::nullopt;
}

QByteArray encode(const QList<CustomTab>& tabs) {
    QJsonArray array;
    for (const CustomTab& t : tabs) {
        QJsonObject o;
        o.insert(QLatin1String("id"), t.id.toString(QUuid::WithoutBraces).toUpper());
        o.insert(QLatin1String("name"), t.name);
        o.insert(QLatin1String("kind"), kindRawValue(t.kind));
        o.insert(QLatin1String("command"), t.command);
        o.insert(QLatin1String("url"), t.url);
        o.insert(QLatin1String("refreshSeconds"), t.refreshSeconds);
        o.insert(QLatin1String("enabled"), t.enabled);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<CustomTab>> decode(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<CustomTab> tabs;
    const QJsonArray array = doc.array();
    tabs.reserve(array.size());
    for (const QJsonValue& v : array) {
        std::optional<CustomTab> tab = decodeTab(v);
        if (!tab)
            return std::nullopt;
        tabs.append(std::move(*tab));
    }
    return tabs;
}

} // namespace CustomTabCodec
