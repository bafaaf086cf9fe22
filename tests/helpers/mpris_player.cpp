// Test helper: a media player on the session bus, driven line by line on standard input, that reports
// every call it receives on standard output.
//   mpris_player <name> <identity> <desktop entry> <status> <title> [url] [position µs]
// Input lines: "title <text>", "status <Playing|Paused|Stopped>", "url <address>", "again" (the same
// track announced once more), "volume <0..1>", "hang <ms>" (stop answering for a while), "quit". Output:
// "ready", then "call <Method>" per call received.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <cstdio>
#include <unistd.h>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");

void report(const QByteArray& line) {
    std::fputs((line + "\n").constData(), stdout);
    std::fflush(stdout);
}

} // namespace

class Player : public QObject {
    Q_OBJECT
public:
    QString identity, desktopEntry, status, title, url;
    qlonglong position = 0;

    QVariantMap metadata() const {
        QVariantMap m;
        m.insert(QStringLiteral("xesam:title"), title);
        m.insert(QStringLiteral("xesam:artist"), QStringList{QStringLiteral("Test Artist")});
        m.insert(QStringLiteral("xesam:album"), QStringLiteral("Test Album"));
        if (!url.isEmpty())
            m.insert(QStringLiteral("xesam:url"), url);
        return m;
    }

    // Players announce their changes; the property values ride along as a real player sends them.
    void announce(const QVariantMap& changed) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
        QDBusConnection::sessionBus().send(signal);
    }
};

class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool CanQuit READ canQuit)
public:
    explicit RootAdaptor(Player* p)
        : QDBusAbstractAdaptor(p)
        , m_p(p) {}
    QString identity() const { return m_p->identity; }
    QString desktopEntry() const { return m_p->desktopEntry; }
    bool canRaise() const { return true; }
    bool canQuit() const { return false; }

public slots:
    void Raise() { report("call Raise"); }
    void Quit() {}

private:
    Player* m_p;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit PlayerAdaptor(Player* p)
        : QDBusAbstractAdaptor(p)
        , m_p(p) {}
    QString playbackStatus() const { return m_p->status; }
    QVariantMap metadata() const { return m_p->metadata(); }
    qlonglong position() const { return m_p->position; }
    bool yes() const { return true; }

public slots:
    void PlayPause() {
        report("call PlayPause");
        m_p->status =
            m_p->status == QLatin1String("Playing") ? QStringLiteral("Paused") : QStringLiteral("Playing");
        m_p->announce({{QStringLiteral("PlaybackStatus"), m_p->status}});
    }
    void Next() { report("call Next"); }
    void Previous() { report("call Previous"); }

private:
    Player* m_p;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 6)
        return 2;
    Player player;
    player.identity = args[2];
    player.desktopEntry = args[3];
    player.status = args[4];
    player.title = args[5];
    if (args.size() > 6)
        player.url = args[6];
    if (args.size() > 7)
        player.position = args[7].toLongLong();
    new RootAdaptor(&player);
    new PlayerAdaptor(&player);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(kPath, &player, QDBusConnection::ExportAdaptors) ||
        !bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.") + args[1]))
        return 1;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[1024];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buf, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            const QString word = line.section(QLatin1Char(' '), 0, 0);
            const QString rest = line.section(QLatin1Char(' '), 1);
            if (word == QLatin1String("title")) {
                player.title = rest;
                player.announce({{QStringLiteral("Metadata"), player.metadata()}});
            } else if (word == QLatin1String("url")) {
                player.url = rest;
                player.announce({{QStringLiteral("Metadata"), player.metadata()}});
            } else if (word == QLatin1String("again")) {
                // As players do: the same track announced again, with a property nobody shows.
                player.announce(
                    {{QStringLiteral("Metadata"), player.metadata()}, {QStringLiteral("Rate"), 1.0}});
            } else if (word == QLatin1String("volume")) {
                player.announce({{QStringLiteral("Volume"), rest.toDouble()}});
            } else if (word == QLatin1String("status")) {
                player.status = rest;
                player.announce({{QStringLiteral("PlaybackStatus"), player.status}});
            } else if (word == QLatin1String("hang")) {
                report("hanging");
                QThread::msleep(rest.toULong()); // the hang is the input
            } else if (word == QLatin1String("quit")) {
                app.quit();
            }
        }
    });
    report("ready");
    return app.exec();
}

#include "mpris_player.moc"
