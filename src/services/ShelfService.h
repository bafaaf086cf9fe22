// The shelf of files dropped on the island: references by path, newest first, kept in "shelf.json".
#pragma once

#include "model/ShelfItem.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>

class AbsentSeams;
class Clock;
class FileRevealer;
class FileSender;
class Pasteboard;
class QMimeData;

class ShelfService : public QObject {
    Q_OBJECT
public:
    // `storePath` is the shelf's file; the program passes its support folder + "/shelf.json".
    // Without the seams the absent ones stand in: revealing, sending or copying does nothing.
    struct Seams {
        FileRevealer& revealer;
        FileSender& sender;
        Pasteboard& pasteboard;
    };
    ShelfService(Clock& clock, QString storePath, QObject* parent = nullptr);
    ShelfService(Clock& clock, QString storePath, Seams seams, QObject* parent = nullptr);
    ~ShelfService() override;

    const QList<ShelfItem>& items() const { return m_items; }
    QString storePath() const { return m_storePath; }

    // Puts the files that exist and are not on the shelf yet at its front, then saves once. Paths are
    // cleaned first, so that "dir/" and "dir" are the same entry.
    void add(const QList<QUrl>& urls);
    // Takes the entries with this id off the shelf (the file stays where it is), then saves.
    void remove(const QUuid& id);
    // Empties the shelf (no file is touched), then saves.
    void clear();
    // Writes the list; a failed write keeps the list in memory and is not reported.
    virtual void save();

    // Shows the entry's file selected in the file manager.
    void reveal(const ShelfItem& item);
    // Sends the entry's file to a reachable paired phone; nothing happens without one.
    void send(const ShelfItem& item);
    // Puts the entry's file on the clipboard, to be pasted as a copy.
    void copy(const ShelfItem& item);

    // A file as a file manager takes it from a drag or the clipboard: its URL as "text/uri-list", and
    // as "x-special/gnome-copied-files" marked "copy", so that pasting copies the file and never moves
    // it. The caller owns the result.
    static QMimeData* fileMimeData(const QString& path);
    // The path as the shelf keeps it: the local path of a file URL, cleaned; empty for anything else.
    static QString cleanPath(const QUrl& url);

    // While an entry is being dragged out of the island: the island stays open under the drag, which
    // would otherwise lose its source half-way.
    bool draggingOut() const { return m_draggingOut; }
    void setDraggingOut(bool on);

signals:
    void itemsChanged();
    void draggingOutChanged();

protected:
    void load();

private:
    ShelfService(Clock& clock, QString storePath, std::unique_ptr<AbsentSeams> absent, QObject* parent);

    Clock& m_clock;
    QString m_storePath;
    std::unique_ptr<AbsentSeams> m_absent; // stands in when no seams are given
    Seams m_seams;
    QList<ShelfItem> m_items;
    bool m_draggingOut = false;
};
