// Media players over the session bus: every bus name under the media-player prefix counts.
#pragma once

#include "platform/MediaPlayers.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QVariantMap>

#include <optional>

class DBusMediaPlayers final : public QObject, public MediaPlayers {
    Q_OBJECT
public:
    // listMs bounds the listing and each name query; stateMs bounds a state read or a command.
    explicit DBusMediaPlayers(QDBusConnection bus = QDBusConnection::sessionBus(), int listMs = 2000,
                              int stateMs = 5000, QObject* parent = nullptr);
    ~DBusMediaPlayers() override;

    QList<MediaPlayerInfo> players() override;
    std::optional<MediaPlayerState> state(const QString& busName) override;
    bool send(const QString& busName, Command command) override;
    void setChangeHandler(std::function<void()> handler) override;

    // Turns a reply's property map into a state; public for its tests.
    static MediaPlayerState stateFromProperties(const QVariantMap& properties);

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated, const QDBusMessage& message);
    void onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    QDBusConnection m_bus;
    int m_listMs;
    int m_stateMs;
    std::function<void()> m_handler;
    // What each player's connection last announced of what is shown; main thread only.
    struct Announced {
        std::optional<QString> status;
        std::optional<MediaPlayerState> track;
    };
    QHash<QString, Announced> m_announced;
};
