// LAN address choice over fixture interfaces and routing tables, and QR images that a scanner reads back.
#include "services/QRCode.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using QRCode::NetInterface;

namespace {

NetInterface nic(const QString& name, const QStringList& ipv4, bool up = true, bool loopback = false,
                 bool isVirtual = false) {
    NetInterface n;
    n.name = name;
    n.ipv4 = ipv4;
    n.up = up;
    n.loopback = loopback;
    n.isVirtual = isVirtual;
    return n;
}

const NetInterface lo = nic("lo", {"127.0.0.1"}, true, true);
const NetInterface docker0 = nic("docker0", {"172.17.0.1"}, true, false, true);
const NetInterface eth0 = nic("eth0", {"192.168.1.20"});
const NetInterface wlan0 = [] {
    NetInterface n = nic("wlan0", {"192.168.1.33"});
    n.wireless = true;
    return n;
}();

const char* const kHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

QString table(const QStringList& rows) {
    return QString::fromLatin1(kHeader) + rows.join(u'\n') + u'\n';
}

// Default route (0.0.0.0/0, up and via a gateway) on `iface` with `metric`.
QString defaultRoute(const QString& iface, int metric) {
    return QStringLiteral("%1\t00000000\t0101A8C0\t0003\t0\t0\t%2\t00000000\t0\t0\t0").arg(iface).arg(metric);
}

QString subnetRoute(const QString& iface) {
    return QStringLiteral("%1\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0").arg(iface);
}

// Decodes a QR image with zbarimg; empty when it finds nothing.
QString scan(const QImage& img) {
    QTemporaryDir dir;
    const QString file = dir.filePath("qr.png");
    if (!img.save(file))
        return {};
    QProcess p;
    p.start("zbarimg", {"--quiet", "--raw", file});
    p.waitForFinished(30000);
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    if (out.endsWith(u'\n'))
        out.chop(1);
    return out;
}

} // namespace

class tst_QRCode : public QObject {
    Q_OBJECT
private slots:
    void ranking_data() {
        QTest::addColumn<QList<NetInterface>>("interfaces");
        QTest::addColumn<QString>("routes");
        QTest::addColumn<QString>("expected"); // empty = none

        QTest::newRow("default route on eth0 beats docker0 listed first")
            << QList<NetInterface>{lo, docker0, eth0}
            << table({defaultRoute("eth0", 100), subnetRoute("eth0")}) << "192.168.1.20";
        QTest::newRow("default route beats earlier physical interface")
            << QList<NetInterface>{wlan0, eth0} << table({defaultRoute("eth0", 100)}) << "192.168.1.20";
        QTest::newRow("lowest metric wins over table order")
            << QList<NetInterface>{eth0, wlan0}
            << table({defaultRoute("eth0", 600), defaultRoute("wlan0", 100)}) << "192.168.1.33";
        QTest::newRow("no default route: first non-virtual")
            << QList<NetInterface>{lo, docker0, wlan0, eth0} << table({subnetRoute("eth0")})
            << "192.168.1.33";
        QTest::newRow("no default route on a card: Wi-Fi before an earlier wired card")
            << QList<NetInterface>{eth0, wlan0} << table({defaultRoute("wg0", 0)}) << "192.168.1.33";
        QTest::newRow("empty routing table: first non-virtual")
            << QList<NetInterface>{docker0, eth0} << QString() << "192.168.1.20";
        QTest::newRow("full-tunnel VPN default route loses to the LAN card")
            << QList<NetInterface>{nic("tun0", {"10.8.0.2"}), eth0}
            << table({defaultRoute("tun0", 50), defaultRoute("eth0", 100)}) << "192.168.1.20";
        QTest::newRow("virtual by sysfs whatever the name")
            << QList<NetInterface>{nic("lxcbr0", {"10.0.3.1"}, true, false, true), wlan0} << QString()
            << "192.168.1.33";
        QTest::newRow("virtual by name: veth, virbr, br-, wg")
            << QList<NetInterface>{nic("veth12ab", {"169.254.3.3"}), nic("virbr0", {"192.168.122.1"}),
                                   nic("br-5f2e", {"172.18.0.1"}), nic("wg0", {"10.6.0.1"}), eth0}
            << QString() << "192.168.1.20";
        QTest::newRow("only virtual: still one, first in order")
            << QList<NetInterface>{lo, docker0, nic("virbr0", {"192.168.122.1"}, true, false, true)}
            << QString() << "172.17.0.1";
        QTest::newRow("only virtual: the bridged default route first")
            << QList<NetInterface>{docker0, nic("br0", {"192.168.1.50"}, true, false, true)}
            << table({defaultRoute("br0", 0)}) << "192.168.1.50";
        QTest::newRow("default route on a down interface is ignored")
            << QList<NetInterface>{wlan0, nic("eth0", {"192.168.1.20"}, false)}
            << table({defaultRoute("eth0", 0)}) << "192.168.1.33";
        QTest::newRow("IPv6-only interface is never chosen")
            << QList<NetInterface>{nic("eth0", {}), docker0} << table({defaultRoute("eth0", 0)})
            << "172.17.0.1";
        QTest::newRow("several addresses: the first")
            << QList<NetInterface>{nic("eth0", {"192.168.1.20", "192.168.1.21"})} << QString()
            << "192.168.1.20";
        QTest::newRow("only loopback: none")
            << QList<NetInterface>{lo} << table({defaultRoute("lo", 0)}) << "";
        QTest::newRow("all down: none") << QList<NetInterface>{nic("eth0", {"192.168.1.20"}, false)}
                                        << table({defaultRoute("eth0", 0)}) << "";
        QTest::newRow("no interfaces: none")
            << QList<NetInterface>{} << table({defaultRoute("eth0", 0)}) << "";
    }
    void ranking() {
        QFETCH(QList<NetInterface>, interfaces);
        QFETCH(QString, routes);
        QFETCH(QString, expected);
        const auto ip = QRCode::chooseLanIP(interfaces, QRCode::parseRoutes(routes));
        if (expected.isEmpty())
            QVERIFY2(!ip, qPrintable(ip.value_or(QString())));
        else
            QCOMPARE(ip.value_or(QStringLiteral("<none>")), expected);
    }

    void routeTableParsing() {
        const QString text = table({defaultRoute("wlp2s0", 600), "garbage line", subnetRoute("wlp2s0"),
                                    "eth0\tZZZZ\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0"});
        const auto routes = QRCode::parseRoutes(text);
        QCOMPARE(routes.size(), 2);
        QCOMPARE(routes[0].iface, "wlp2s0");
        QCOMPARE(routes[0].destination, 0u);
        QCOMPARE(routes[0].mask, 0u);
        QCOMPARE(routes[0].metric, 600);
        QCOMPARE(routes[0].flags, 3u);
        QCOMPARE(routes[1].mask, 0x00FFFFFFu);
        QVERIFY(QRCode::parseRoutes(QString()).isEmpty());
    }

    void decodesBack_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("service url") << "http://192.168.1.20:5173";
        QTest::newRow("utf-8 text") << QString::fromUtf8("Olá, ação — café");
        QTest::newRow("long text") << QString(600, u'x') + "/end";
    }
    void decodesBack() {
        if (QStandardPaths::findExecutable("zbarimg").isEmpty())
            QSKIP("zbarimg (zbar-tools) is not installed");
        QFETCH(QString, text);
        const QImage img = QRCode::image(text, 300);
        QVERIFY(!img.isNull());
        QCOMPARE(img.size(), QSize(300, 300));
        QCOMPARE(scan(img), text);
    }

    void imageHasQuietZoneAndSharpModules() {
        // 24 bytes need a version 2 symbol (25 modules); with the quiet zone 33, so 10 px per module at 330.
        const QImage img = QRCode::image("http://192.168.1.20:5173", 330);
        QCOMPARE(img.width(), 330);
        for (int i = 0; i < 40; ++i) {
            QCOMPARE(qGray(img.pixel(i, i)), 255);
            QCOMPARE(qGray(img.pixel(329 - i, i)), 255);
            QCOMPARE(qGray(img.pixel(i, 329 - i)), 255);
        }
        // The finders' outer corners start right after four light modules.
        QCOMPARE(qGray(img.pixel(40, 40)), 0);
        QCOMPARE(qGray(img.pixel(289, 40)), 0);
        QCOMPARE(qGray(img.pixel(40, 289)), 0);
        // No smoothing: only black and white.
        for (int y = 0; y < img.height(); y += 7)
            for (int x = 0; x < img.width(); ++x) {
                const int g = qGray(img.pixel(x, y));
                QVERIFY(g == 0 || g == 255);
            }
    }

    void sizesAndFailures() {
        QCOMPARE(QRCode::image("a", 300).size(), QSize(300, 300));
        QCOMPARE(QRCode::image(QString(1500, u'z'), 300).size(), QSize(300, 300));
        const QImage empty = QRCode::image(QString(), 300);
        QVERIFY(!empty.isNull());
        QCOMPARE(empty.size(), QSize(300, 300));
        QVERIFY(QRCode::image("a", 0).isNull());
        QVERIFY(QRCode::image("a", -5).isNull());
        QVERIFY(QRCode::image("a", qQNaN()).isNull());
        // Beyond the capacity of the largest symbol at level M (2331 bytes).
        QVERIFY(QRCode::image(QString(3000, u'z'), 300).isNull());
    }
};

QTEST_GUILESS_MAIN(tst_QRCode)
#include "tst_QRCode.moc"
