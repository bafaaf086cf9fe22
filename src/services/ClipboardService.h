// The clipboard history: every new plain text copied anywhere, newest first, without what owners mark
// as secret or passing and without text shaped like a credential; pinned entries kept for good, the
// others for a week and at most 40 of them; kept in "clipboard.json".
#pragma once

#include "model/ClipItem.h"
#include "services/LateLoad.h"
#include "services/WorkPool.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <optional>

class Clock;
class Pasteboard;

class ClipboardService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<ClipItem> items READ items NOTIFY itemsChanged)
    Q_PROPERTY(QUuid copiedID READ copiedID NOTIFY copiedIDChanged)
public:
    static constexpr int maxItems = 40;
    static constexpr int maxLength = 10000;         // user-perceived characters
    static constexpr qint64 maxAgeSeconds = 604800; // 7 days
    // Looks at the clipboard are at least this far apart: of a burst of copies, the newest of each
    // second is recorded.
    static constexpr int lookIntervalMs = 1000;
    static constexpr int copiedMarkMs = 1200;

    // Loads the store at `storePath` (a file that does not decode is set aside and the history starts
    // empty), at once or when loadStore() is called, and listens to the clipboard's change notices. What
    // is on the clipboard now is never recorded.
    ClipboardService(Pasteboard& pasteboard, Clock& clock, QString storePath, QObject* parent = nullptr,
                     StoreLoad load = StoreLoad::atOnce);
    ~ClipboardService() override;

    // Reads the store on a worker thread and merges it with what was copied meanwhile; does nothing once
    // it has been read or while it is being read. Until then nothing is saved, so a history that has not
    // been read is never replaced by a shorter one.
    void loadStore();
    bool isStoreLoaded() const { return m_loaded; }

    const QList<ClipItem>& items() const { return m_items; }
    // The entry copy() put on the clipboard in the last 1.2 s; null when none.
    QUuid copiedID() const { return m_copiedID; }
    quint64 changeCount() const { return m_changeCount; }
    QString storePath() const { return m_storePath; }

    // Puts the entry's text on the clipboard without recording it again, and marks it as copied.
    void copy(const ClipItem& item);
    // Puts `text` on the clipboard for a view that copies something of its own (a log, an address), and
    // records it as a copy made in another program would be.
    void copyText(const QString& text);
    // Offers the entry's text as the primary selection too, for the programs that paste only that from
    // the keyboard. Changes nothing in the history.
    void copyToPrimary(const ClipItem& item);
    // Whether a text copy() or copyToPrimary() sent is still on its way to the desktop.
    bool copying() const;
    void togglePin(const ClipItem& item);
    void clearUnpinned();
    void remove(const ClipItem& item);

    // Whether a copied text looks like a key or token that must not be kept.
    static bool looksSensitive(const QString& text);
    // The first `count` user-perceived characters of `text` (all of it when it has fewer); looks no
    // further into the text than it needs to.
    static QString firstGraphemes(const QString& text, int count);
    // Content carrying one of these formats is never recorded (secret, or meant to pass).
    static bool isConcealedOrTransient(const QStringList& types);

    // Waits for the save under way, if any, and writes a change still waiting for it.
    void flush();

public slots:
    // One look at the clipboard: a new content is examined and perhaps recorded. Each change notice
    // leads here, at once or at the end of the second since the last look.
    void poll();
    // Ends the copied mark once 1.2 s have passed since the last copy().
    void expireCopied();

signals:
    void itemsChanged();
    void copiedIDChanged();
    // The store has been read (or found missing or unreadable) and merged.
    void storeLoaded();

private:
    void onChangeNotice();
    void setItems(QList<ClipItem> items);
    void setCopiedID(const QUuid& id);
    // Steps a new content takes into the history: cut, refused when blank or sensitive, moved to the top.
    void record(QString copied);
    void trim();
    void save();
    void saveFinished();
    void applyStore(const std::optional<QList<ClipItem>>& stored);

    Pasteboard& m_pasteboard;
    Clock& m_clock;
    const QString m_storePath;
    QList<ClipItem> m_items;
    QUuid m_copiedID;
    quint64 m_changeCount = 0;
    QTimer m_nextLook; // a notice that came too soon after a look waits here for the next one
    std::optional<qint64> m_lastLookMs;
    QTimer m_copiedTimer;
    qint64 m_copiedUntilMs = 0;
    // Saves run one at a time off the main thread; a change made meanwhile is saved when it ends.
    QFuture<void> m_saving;
    QFutureWatcher<void> m_savingWatch;
    bool m_saveAgain = false;
    WorkPool m_pool{1}; // the saves' thread
    bool m_loaded = false;
    bool m_saveWaitsForLoad = false; // something changed before the store was read
    LateLoad<std::optional<QList<ClipItem>>> m_load;
};
