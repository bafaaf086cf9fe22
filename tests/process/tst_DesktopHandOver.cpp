// Revealing a file and sending it to a phone over a private session bus that the test starts, with a
// stand-in file manager and a stand-in KDE Connect daemon: a reachable device, an unreachable one,
// none at all, and no daemon.
#include "fakes/TestSupport.h"
#include "platform/dbus/FreedesktopFileRevealer.h"
#include "platform/dbus/KdeConnectSender.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QtTest>

#include <optional>

namespace {

// KDE Connect's daemon as far as sending goes: its device list and each device's share plugin.
class FakeDaemon : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kdeconnect.daemon")
public:
    struct Device {
        QString id;
        bool paired;
        bool reachable;
    };
    QList<Device> known;
    QList<QPair<bool, bool>> asked;

public slots:
    QStringList devices(bool onlyReachable, bool onlyPaired) {
        asked.append({onlyReachable, onlyPaired});
        QStringList ids;
        for (const Device& d : std::as_const(known))
            if ((!onlyReachable || d.reachable) && (!onlyPaired || d.paired))
                ids << d.id;
        return ids;
    }
};

class FakeShare : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kdeconnect.device.share")
public:
    QString device;
    QList<QPair<QString, QString>>* log = nullptr;

public slots:
    void shareUrl(const QString& url) { log->append({device, url}); }
};

class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;
    QStringList startupIds;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        shown.append(uris);
        startupIds.append(startupId);
    }
};

} // namespace

class tst_DesktopHandOver : public QObject {
    Q_OBJECT

    QProcess m_bus;
    QTemporaryDir m_dir;
    QString m_address;
    int m_connections = 0;

    // A fresh pair of connections to the private bus: one for the stand-in services, one for the
    // code under test, so every call really crosses the bus.
    QDBusConnection busConnection(const char* role) {
        return QDBusConnection::connectToBus(m_address,
                                             QStringLiteral("%1-%2").arg(role).arg(++m_connections));
    }

    std::optional<bool> sendAndWait(KdeConnectSender& sender, const QString& path) {
        std::optional<bool> result;
        sender.send(path, [&](bool sent) { result = sent; });
        if (!TestSupport::waitUntil([&] { return result.has_value(); }, 10000))
            return std::nullopt;
        return result;
    }

private slots:
    void initTestCase() {
        // A session bus of our own whose service folders are empty, so that no installed file manager or
        // phone daemon is started in place of the stand-ins.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_DIRS", m_dir.path());
        env.insert("XDG_DATA_HOME", m_dir.path());
        env.insert("XDG_RUNTIME_DIR", m_dir.path());
        m_bus.setProcessEnvironment(env);
        m_bus.setProgram(QStringLiteral("dbus-daemon"));
        m_bus.setArguments({"--session", "--nofork", "--nopidfile", "--print-address=1"});
        m_bus.start();
        QVERIFY2(m_bus.waitForStarted(5000), "dbus-daemon is needed");
        QVERIFY(TestSupport::waitUntil([&] { return m_bus.canReadLine(); }, 10000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }
    void cleanupTestCase() {
        m_bus.terminate();
        if (!m_bus.waitForFinished(5000))
            m_bus.kill();
    }

    // Each row: the devices the daemon knows; the device that must receive the file, if any.
    void sendsToTheFirstPairedReachableDevice_data() {
        QTest::addColumn<QStringList>("devices"); // id:paired:reachable
        QTest::addColumn<QString>("receiver");
        QTest::newRow("reachable") << QStringList{"phone:1:1"} << QString("phone");
        QTest::newRow("unreachable") << QStringList{"phone:1:0"} << QString();
        QTest::newRow("reachable but not paired") << QStringList{"stranger:0:1"} << QString();
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("the reachable one of two")
            << QStringList{"away:1:0", "tablet:1:1"} << QString("tablet");
        QTest::newRow("an id that is no path element") << QStringList{"../x:1:1"} << QString();
    }
    void sendsToTheFirstPairedReachableDevice() {
        QFETCH(QStringList, devices);
        QFETCH(QString, receiver);
        QDBusConnection services = busConnection("services");
        QVERIFY(services.isConnected());
        FakeDaemon daemon;
        QList<QPair<QString, QString>> shared;
        std::vector<std::unique_ptr<FakeShare>> shares;
        for (const QString& spec : devices) {
            const QStringList f = spec.split(':');
            daemon.known.append({f[0], f[1] == "1", f[2] == "1"});
            auto share = std::make_unique<FakeShare>();
            share->device = f[0];
            share->log = &shared;
            services.registerObject(QStringLiteral("/modules/kdeconnect/devices/%1/share").arg(f[0]),
                                    share.get(), QDBusConnection::ExportAllSlots);
            shares.push_back(std::move(share));
        }
        QVERIFY(services.registerObject("/modules/kdeconnect", &daemon, QDBusConnection::ExportAllSlots));
        QVERIFY(services.registerService("org.kde.kdeconnect"));

        KdeConnectSender sender(busConnection("client"));
        const QString path = QStringLiteral("/home/u/Relatório 1.pdf");
        const std::optional<bool> sent = sendAndWait(sender, path);
        QVERIFY(sent.has_value());
        QCOMPARE(*sent, !receiver.isEmpty());
        QCOMPARE(daemon.asked, (QList<QPair<bool, bool>>{{true, true}}));
        if (receiver.isEmpty()) {
            QVERIFY(shared.isEmpty());
        } else {
            QCOMPARE(shared.size(), 1);
            QCOMPARE(shared[0].first, receiver);
            QCOMPARE(QUrl(shared[0].second).toLocalFile(), path);
        }
        services.unregisterService("org.kde.kdeconnect");
        QDBusConnection::disconnectFromBus(services.name());
    }

    void withoutTheDaemonNothingIsSent() {
        KdeConnectSender sender(busConnection("client"));
        const std::optional<bool> sent = sendAndWait(sender, "/tmp/a.txt");
        QVERIFY(sent.has_value());
        QVERIFY(!*sent);
    }

    void withoutABusNothingIsSent() {
        KdeConnectSender sender(QDBusConnection(QStringLiteral("never-connected")));
        std::optional<bool> sent;
        sender.send("/tmp/a.txt", [&](bool s) { sent = s; });
        QCOMPARE(sent, std::optional<bool>(false));
    }

    void revealAsksTheFileManager() {
        QDBusConnection services = busConnection("services");
        FakeFileManager manager;
        QVERIFY(services.registerObject("/org/freedesktop/FileManager1", &manager,
                                        QDBusConnection::ExportAllSlots));
        QVERIFY(services.registerService("org.freedesktop.FileManager1"));
        QStringList launched;
        FreedesktopFileRevealer revealer(busConnection("client"),
                                         [&](const QString& program, const QStringList& args) {
                                             launched << program + " " + args.join(' ');
                                             return true;
                                         });
        revealer.reveal({QStringLiteral("/home/u/a b#1.txt")});
        QVERIFY(TestSupport::waitUntil([&] { return !manager.shown.isEmpty(); }, 10000));
        QCOMPARE(manager.shown.constFirst(), QStringList{"file:///home/u/a%20b%231.txt"});
        QCOMPARE(manager.startupIds.constFirst(), QString());
        QTest::qWait(50); // proves no fallback program is launched as well
        QVERIFY(launched.isEmpty());
        services.unregisterService("org.freedesktop.FileManager1");
        QDBusConnection::disconnectFromBus(services.name());
    }

    void withoutAFileManagerTheFolderOpens() {
        QStringList launched;
        FreedesktopFileRevealer revealer(busConnection("client"),
                                         [&](const QString& program, const QStringList& args) {
                                             launched << program + " " + args.join(' ');
                                             return true;
                                         });
        revealer.reveal({QStringLiteral("/home/u/docs/a.txt")});
        QVERIFY(TestSupport::waitUntil([&] { return !launched.isEmpty(); }, 10000));
        QCOMPARE(launched, QStringList{"xdg-open /home/u/docs"});
    }
};

QTEST_GUILESS_MAIN(tst_DesktopHandOver)
#include "tst_DesktopHandOver.moc"
