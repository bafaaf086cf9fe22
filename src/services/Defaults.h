// The user-defaults store: a typed JSON object in one file, with a registration domain for defaults.
// One instance is created by the program and handed to every service that keeps settings.
// Readers see an assignment at once; the file follows within a short window, written off the main thread.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class DefaultsWriter;
class QCoreApplication;

class Defaults : public QObject {
    Q_OBJECT
public:
    // Starts the delayed save. The program's is a single-shot QTimer; tests fire it by hand.
    class SaveTimer {
    public:
        SaveTimer() = default;
        virtual ~SaveTimer() = default;
        SaveTimer(const SaveTimer&) = delete;
        SaveTimer& operator=(const SaveTimer&) = delete;
        // Calls `fire` once, `ms` from now; a second start replaces the first.
        virtual void start(int ms, std::function<void()> fire) = 0;
        virtual void stop() = 0;
        virtual bool isActive() const = 0;
    };

    // How long assignments are gathered before one write of the file.
    static constexpr int defaultSaveDelayMs = 250;

    // `filePath` is the store's file, e.g. folders.defaultsFile("com.farrowlight.quillbay").
    // An unreadable file is moved aside (AppPaths::moveAside) and the store starts empty; a file that no
    // save may reach (a FIFO, a link to a read-only file) is left alone and changes stay in memory.
    explicit Defaults(QString filePath, QObject* parent = nullptr);
    Defaults(QString filePath, std::unique_ptr<SaveTimer> timer, QObject* parent = nullptr);
    // Writes what is pending and waits for it.
    ~Defaults() override;

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

    // Stores at once and saves within the save delay; emits `changed` when the stored value differs.
    void set(const QString& key, const QJsonValue& value);
    void remove(const QString& key);

    // The window that gathers assignments into one write; the first assignment after a write opens it,
    // and later ones do not extend it, so a steady stream of changes still reaches the disk.
    void setSaveDelay(int ms) { m_saveDelayMs = ms; }
    // An assignment is not yet handed to the writer.
    bool hasPendingSave() const { return m_dirty; }

    // The stored keys of another defaults domain, read from its own file beside this store's folder (empty
    // when absent or unreadable).
    QJsonObject persistentDomain(const QString& domain) const;

    // Writes what is pending and blocks until it is on disk, then returns whether the last write
    // succeeded (the values stay in memory either way). Called before the program ends (quit, a quit
    // signal, the relaunch for a language change) and before an update replaces the program.
    bool flush();
    // Writes the store now; the same as flush().
    bool synchronize() { return flush(); }
    // Writes the files this many times, failed writes included (for tests).
    int writesDone() const;

    // Flushes `defaults` when `app`'s event loop is about to end.
    static void flushOnQuit(Defaults& defaults, QCoreApplication& app);

signals:
    void changed(const QString& key);

private:
    void load();
    void scheduleSave();
    void handOver();

    QString m_filePath;
    QJsonObject m_values;
    QJsonObject m_registered;
    // Set when an unreadable file could not be moved aside: saving would then destroy it.
    bool m_holdSaves = false;
    bool m_dirty = false;
    int m_saveDelayMs = defaultSaveDelayMs;
    std::unique_ptr<SaveTimer> m_timer;
    std::unique_ptr<DefaultsWriter> m_writer;
};
