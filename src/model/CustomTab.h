// A custom dashboard tab of the user's: the output of a script or a web page.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

struct CustomTab {
    enum class Kind { script, web };

    QUuid id;
    QString name;
    Kind kind = Kind::script;
    QString command;
    QString url;
    // Stored as written; views clamp it where a timer needs a bounded interval.
    qint64 refreshSeconds = 0;
    bool enabled = true;

    bool operator==(const CustomTab&) const = default;

    // The page address of a web tab: `url` trimmed of spaces and tabs, with "http://" put before a
    // local address and "https://" before any other text that names no scheme; nothing when empty or
    // when the text does not parse.
    std::optional<QUrl> resolvedURL() const;
};

namespace CustomTabCodec {

// "script" / "web".
QString kindRawValue(CustomTab::Kind kind);
std::optional<CustomTab::Kind> kindFromRawValue(const QString& text);

// The stored form: a compact JSON array of objects with the seven keys, ids in upper case.
QByteArray encode(const QList<CustomTab>& tabs);
// All or nothing: any element without one of the seven keys, with a key of the wrong type, an unknown
// kind or an id that is not a UUID fails the whole list. Extra keys are ignored.
std::optional<QList<CustomTab>> decode(const QByteArray& json);

} // namespace CustomTabCodec
