// A followed-sources reader: its unread state, its add-field flag and the throttled refresh.
#pragma once

#include <QObject>
#include <QString>

#include <optional>

class Clock;

class NewsService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasUnread READ hasUnread NOTIFY hasUnreadChanged)
    Q_PROPERTY(bool composing READ composing WRITE setComposing NOTIFY composingChanged)
public:
    // `prefixo` names the service's two files ("<prefixo>-feeds.json", "<prefixo>-items.json").
    NewsService(Clock& clock, QString prefixo, QObject* parent = nullptr);

    QString prefixo() const { return m_prefixo; }
    bool hasUnread() const { return m_hasUnread; }
    bool composing() const { return m_composing; }
    void setComposing(bool composing);

    // Fetches every source unless there is none, one is already running, or (unforced) the last one
    // started less than 1200 s ago.
    void refresh(bool force);

    static constexpr qint64 kRefreshIntervalMs = 1200 * 1000;

signals:
    // Sent after any of the published values changed.
    void changed();
    void hasUnreadChanged();
    void composingChanged();

protected:
    int feedCount() const { return 0; }

private:
    Clock& m_clock;
    QString m_prefixo;
    bool m_hasUnread = false;
    bool m_composing = false;
    bool m_refreshing = false;
    std::optional<qint64> m_lastRefreshStartMs;
};
