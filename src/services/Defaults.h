// The user-defaults store: a typed JSON object in one file, with a registration domain for defaults.
// One instance is created by the program and handed to every service that keeps settings.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class Defaults : public QObject {
    Q_OBJECT
public:
    // `filePath` is the store's file, e.g. AppPaths::defaultsFile("com.farrowlight.quillbay").
    // An unreadable file is moved aside (AppPaths::moveAside) and the store starts empty.
    explicit Defaults(QString filePath, QObject* parent = nullptr);

    QString filePath() const { return m_filePath; }

    // Values used when a key was never stored; not saved.
    void registerDefaults(const QJsonObject& values);

    // The stored value, else the registered one, else undefined.
    QJsonValue object(const QString& key) const;
    bool contains(const QString& key) const { return !object(key).isUndefined(); }

    // Typed readers with the usual user-defaults leniency: bool accepts numbers and "YES"/"true"/"1",
    // integer and double accept numbers, numeric strings and bools. Missing or unconvertible: false / 0.
    bool boolValue(const QString& key) const;
    qint64 integer(const QString& key) const;
    double doubleValue(const QString& key) const;
    // Strings are returned only for string values (numbers are converted as user defaults do).
    std::optional<QString> string(const QString& key) const;
    // Nothing unless the value is an array whose every element is a string.
    std::optional<QStringList> stringArray(const QString& key) const;
    std::optional<QJsonArray> array(const QString& key) const;
    std::optional<QJsonObject> dictionary(const QString& key) const;

    // Stores and saves at once; emits `changed` when the stored value differs.
    void set(const QString& key, const QJsonValue& value);
    void remove(const QString& key);

    // The stored keys of another defaults domain, read from its own file (empty when absent or unreadable).
    QJsonObject persistentDomain(const QString& domain) const;

    // Writes the store now; false when the write failed (the values stay in memory).
    bool synchronize();

signals:
    void changed(const QString& key);

private:
    void load();
    bool save();

    QString m_filePath;
    QJsonObject m_values;
    QJsonObject m_registered;
    // Set when an unreadable file could not be moved aside: saving would then destroy it.
    bool m_holdSaves = false;
};
