// The phone QR lookup: the smallest port listened on anywhere in the service's tree, the texts for a
// service that is not running, has no port or finds no local network, and late answers that belong to
// an earlier request.
#include "fakes/TestSupport.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "services/CommandsService.h"

#include <QFile>
#include <QtTest>

namespace {

const QString kNotRunning = QStringLiteral("Start the service first (▶)");
const QString kLooking = QStringLiteral("Looking for the service's port…");
const QString kNoPort = QStringLiteral("Não achei porta escutando — o serviço já terminou de subir?");
const QString kNoLan = QStringLiteral("Sem rede local — conecte no Wi-Fi");

} // namespace

class tst_ServiceQR : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TestSupport::ServiceSandbox> m_box;
    CommandsService* m_service = nullptr;

    SavedCommand command(const QString& name, const QString& line) {
        m_service->add(name, line, std::nullopt);
        return m_service->commands().last();
    }
    // A service whose listening sockets belong to a grandchild of its shell; returns the smaller port.
    quint16 startListener(const SavedCommand& cmd, const QString& portsFile) {
        m_service->start(cmd);
        if (!QTest::qWaitFor([&] { return QFile::exists(portsFile); }, 5000))
            return 0;
        QFile f(portsFile);
        f.open(QIODevice::ReadOnly);
        const QList<QByteArray> words = f.readAll().trimmed().split(' ');
        return quint16(qMin(words.value(0).toUInt(), words.value(1).toUInt()));
    }
    QString listenerLine(const QString& portsFile) const {
        // "; true" keeps zsh from exec'ing sh, so the listener ends up a grandchild.
        return QString("sh -c '\"%1\" \"%2\" & wait'; true").arg(LISTEN_HOST, portsFile);
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        m_box = std::make_unique<TestSupport::ServiceSandbox>();
        m_service = &m_box->service();
    }
    void cleanup() {
        QVERIFY(TestSupport::stopAll(*m_service));
        m_box.reset();
    }

    void notRunningSaysSoAtOnce() {
        const SavedCommand cmd = command("web", "sleep 30");
        m_service->showQR(cmd);
        QVERIFY(m_service->qrInfo());
        QCOMPARE(m_service->qrInfo()->name, "web");
        QCOMPARE(m_service->qrInfo()->message, std::optional<QString>(kNotRunning));
        QVERIFY(!m_service->qrInfo()->url);
        QVERIFY(m_service->qrInfo()->image.isNull());
    }

    void grandchildsSmallerPortGivesTheAddress_data() {
        QTest::addColumn<QString>("lan"); // null: no local network
        QTest::newRow("on a network") << QString("192.168.1.20");
        QTest::newRow("another address") << QString("10.0.0.7");
        QTest::newRow("no local network") << QString();
    }
    void grandchildsSmallerPortGivesTheAddress() {
        QFETCH(QString, lan);
        m_box->lan.set(lan.isNull() ? std::nullopt : std::optional<QString>(lan));
        const QString ports = m_box->path("ports");
        const SavedCommand cmd = command("dev", listenerLine(ports));
        const quint16 port = startListener(cmd, ports);
        QVERIFY(port > 0);
        m_service->showQR(cmd);
        QCOMPARE(m_service->qrInfo()->message, std::optional<QString>(kLooking));
        QTRY_VERIFY_WITH_TIMEOUT(m_service->qrInfo()->message != std::optional<QString>(kLooking), 5000);
        if (lan.isNull()) {
            QCOMPARE(m_service->qrInfo()->message, std::optional<QString>(kNoLan));
            QVERIFY(!m_service->qrInfo()->url);
            QVERIFY(m_service->qrInfo()->image.isNull());
            return;
        }
        // Bound to loopback, yet the phone is given the LAN address.
        QCOMPARE(m_service->qrInfo()->url,
                 std::optional<QString>(QString("http://%1:%2").arg(lan).arg(port)));
        QVERIFY(!m_service->qrInfo()->message);
        QVERIFY(!m_service->qrInfo()->image.isNull());
    }

    void serviceWithoutAPort() {
        const SavedCommand cmd = command("idle", "sleep 30");
        m_service->start(cmd);
        m_service->showQR(cmd);
        QTRY_COMPARE_WITH_TIMEOUT(m_service->qrInfo()->message, std::optional<QString>(kNoPort), 5000);
    }

    void lateAnswerForASameNamedCommandIsDropped() {
        // Two commands share a name; only A runs and listens.
        const QString ports = m_box->path("ports");
        const SavedCommand a = command("web", listenerLine(ports));
        const SavedCommand b = command("web", "npm start");
        QVERIFY(startListener(a, ports) > 0);
        m_service->showQR(a);
        m_service->showQR(b);
        QTest::qWait(500); // proves A's late answer does not land on B's view
        QCOMPARE(m_service->qrInfo()->message, std::optional<QString>(kNotRunning));
        QVERIFY(!m_service->qrInfo()->url);
    }

    void closedViewStaysClosed() {
        const QString ports = m_box->path("ports");
        const SavedCommand cmd = command("web", listenerLine(ports));
        QVERIFY(startListener(cmd, ports) > 0);
        QSignalSpy changed(m_service, &CommandsService::qrInfoChanged);
        m_service->showQR(cmd);
        m_service->hideQR();
        QTest::qWait(500); // proves the late answer does not reopen the view
        QVERIFY(!m_service->qrInfo());
        QCOMPARE(changed.size(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_ServiceQR)
#include "tst_ServiceQR.moc"
