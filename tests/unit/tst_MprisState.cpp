// A player's reported properties turned into its state, including what misbehaving players send:
// an artist as one text, an address that does not parse, a negative or missing position, no metadata.
#include "platform/dbus/DBusMediaPlayers.h"

#include <QDBusVariant>
#include <QtTest>

Q_DECLARE_METATYPE(MediaPlayerState)

namespace {

QVariantMap props(const QVariantMap& metadata, const QVariant& position = {}) {
    QVariantMap p{{"PlaybackStatus", QStringLiteral("Playing")}, {"Metadata", metadata}};
    if (position.isValid())
        p.insert("Position", position);
    return p;
}

MediaPlayerState expected(const QString& title, const QStringList& artists, std::optional<QUrl> url = {},
                          std::optional<qint64> position = {}) {
    MediaPlayerState s;
    s.playbackStatus = QStringLiteral("Playing");
    s.title = title;
    s.artists = artists;
    s.url = std::move(url);
    s.positionMicros = position;
    return s;
}

} // namespace

class tst_MprisState : public QObject {
    Q_OBJECT

private slots:
    void fromProperties_data() {
        QTest::addColumn<QVariantMap>("properties");
        QTest::addColumn<MediaPlayerState>("state");
        QTest::newRow("a full answer") << props({{"xesam:title", "T"},
                                                 {"xesam:artist", QStringList{"A", "B"}},
                                                 {"xesam:url", "https://x.org/a"}},
                                                qlonglong(5'000'000))
                                       << expected("T", {"A", "B"}, QUrl("https://x.org/a"), 5'000'000);
        QTest::newRow("an artist sent as one text")
            << props({{"xesam:title", "T"}, {"xesam:artist", "Solo"}}) << expected("T", {"Solo"});
        QTest::newRow("values wrapped in variants")
            << props({{"xesam:title", QVariant::fromValue(QDBusVariant(QStringLiteral("T")))}})
            << expected("T", {});
        QTest::newRow("an address that does not parse")
            << props({{"xesam:title", "T"}, {"xesam:url", "http://[::1"}}) << expected("T", {});
        QTest::newRow("an empty address")
            << props({{"xesam:title", "T"}, {"xesam:url", ""}}) << expected("T", {});
        QTest::newRow("a negative position")
            << props({{"xesam:title", "T"}}, qlonglong(-3)) << expected("T", {});
        QTest::newRow("a position that is no number")
            << props({{"xesam:title", "T"}}, QStringLiteral("soon")) << expected("T", {});
        QTest::newRow("no metadata at all") << QVariantMap{{"PlaybackStatus", "Paused"}} << [] {
            MediaPlayerState s;
            s.playbackStatus = QStringLiteral("Paused");
            return s;
        }();
        QTest::newRow("metadata of the wrong type") << QVariantMap{{"Metadata", 42}} << MediaPlayerState();
    }
    void fromProperties() {
        QFETCH(QVariantMap, properties);
        QFETCH(MediaPlayerState, state);
        const MediaPlayerState got = DBusMediaPlayers::stateFromProperties(properties);
        QCOMPARE(got.playbackStatus, state.playbackStatus);
        QCOMPARE(got.title, state.title);
        QCOMPARE(got.artists, state.artists);
        QCOMPARE(got.album, state.album);
        QCOMPARE(got.url, state.url);
        QCOMPARE(got.positionMicros, state.positionMicros);
    }
};

QTEST_GUILESS_MAIN(tst_MprisState)
#include "tst_MprisState.moc"
