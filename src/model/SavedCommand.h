// A saved shell command and the codec of "commands.json": a compact JSON array of
// {"id","name","command","workingDir"?} with upper-case ids, read case-insensitively.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

struct SavedCommand {
    QUuid id;
    QString name;
    QString command;
    std::optional<QString> workingDir;

    bool operator==(const SavedCommand&) const = default;
};

namespace SavedCommandCodec {

// The 36-character upper-case form used in every file we write.
inline QString idString(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Exactly 36 characters (QUuid also takes braces, which the store never holds); any case.
inline std::optional<QUuid> parseId(const QString& text) {
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

// The whole list, or nothing when any part of it does not decode; extra keys are ignored.
inline std::optional<QList<SavedCommand>> decodeList(const QByteArray& data) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<SavedCommand> out;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isObject())
            return std::nullopt;
        const QJsonObject o = v.toObject();
        const QJsonValue id = o.value("id"), name = o.value("name"), command = o.value("command"),
                         dir = o.value("workingDir");
        if (!id.isString() || !name.isString() || !command.isString())
            return std::nullopt;
        const auto uuid = parseId(id.toString());
        if (!uuid)
            return std::nullopt;
        SavedCommand c{*uuid, name.toString(), command.toString(), std::nullopt};
        if (dir.isString())
            c.workingDir = dir.toString();
        else if (!dir.isUndefined() && !dir.isNull())
            return std::nullopt;
        out.append(c);
    }
    return out;
}

// No "workingDir" key at all when there is none.
inline QByteArray encodeList(const QList<SavedCommand>& commands) {
    QJsonArray array;
    for (const SavedCommand& c : commands) {
        QJsonObject o{{"id", idString(c.id)}, {"name", c.name}, {"command", c.command}};
        if (c.workingDir)
            o.insert("workingDir", *c.workingDir);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace SavedCommandCodec
