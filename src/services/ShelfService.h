// The shelf of files dropped on the island: references by path, newest first, kept in "shelf.json".
#pragma once

#include "model/ShelfItem.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

class Clock;

class ShelfService : public QObject {
    Q_OBJECT
public:
    // `storePath` is the shelf's file; the program passes AppPaths::supportDir() + "/shelf.json".
    ShelfService(Clock& clock, QString storePath, QObject* parent = nullptr);

    const QList<ShelfItem>& items() const { return m_items; }
    QString storePath() const { return m_storePath; }

    // Puts the files that exist and are not on the shelf yet at its front, then saves once.
    void add(const QList<QUrl>& urls);
    // Writes the list; a failed write keeps the list in memory and is not reported.
    virtual void save();

signals:
    void itemsChanged();

protected:
    void load();

private:
    Clock& m_clock;
    QString m_storePath;
    QList<ShelfItem> m_items;
};
