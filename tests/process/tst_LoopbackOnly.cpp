// The wrapper every test runs under: a program it starts, or one that program starts, fails the run when it
// looks up or reaches another host, and is refused at once; loopback and this machine's own names pass.
#include <QProcess>
#include <QTcpServer>
#include <QTest>

namespace {

const QString kWrapper = QStringLiteral(QUILLBAY_SOURCE_DIR "/tests/loopback-only");

struct Run {
    int code = -1;
    QByteArray errors;
};

Run guarded(const QString& shellLine) {
    QProcess p;
    p.start(kWrapper, {QStringLiteral(QUILLBAY_LOOPBACK_GUARD), "/bin/bash", "-c", shellLine});
    Run r;
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.errors = p.readAllStandardError();
    return r;
}

} // namespace

class tst_LoopbackOnly : public QObject {
    Q_OBJECT

private slots:
    // getent and bash's /dev/tcp look names up through the C library (getaddrinfo); an address written out
    // needs no lookup and is refused when connecting.
    void beyondLoopbackFails_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("named");
        QTest::newRow("name lookup") << "getent ahosts maker.example.org" << QByteArray("maker.example.org");
        QTest::newRow("lookup by a grandchild")
            << "/bin/sh -c 'getent ahostsv4 far.example.net'; true" << QByteArray("far.example.net");
        QTest::newRow("connection to a documentation address")
            << "(exec 3<>/dev/tcp/192.0.2.7/443); true" << QByteArray("192.0.2.7 port 443");
        QTest::newRow("connection over IPv6")
            << "(exec 3<>/dev/tcp/2001:db8::5/80); true" << QByteArray("2001:db8::5 port 80");
        QTest::newRow("a private network address")
            << "(exec 3<>/dev/tcp/10.1.2.3/22); true" << QByteArray("10.1.2.3 port 22");
    }
    void beyondLoopbackFails() {
        QFETCH(QString, line);
        QFETCH(QByteArray, named);
        const Run r = guarded(line);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errors.contains(named), r.errors.constData());
        QVERIFY2(r.errors.contains("reached beyond this machine"), r.errors.constData());
    }

    // The program sees the refusal as an unreachable network, not as a connection.
    void refusedAsUnreachable() {
        const Run r = guarded("(exec 3<>/dev/tcp/192.0.2.9/80) && echo connected >&2; true");
        QVERIFY2(r.errors.contains("unreachable"), r.errors.constData());
        QVERIFY2(!r.errors.contains("connected\n"), r.errors.constData());
    }

    void loopbackPasses_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("localhost") << "getent ahosts localhost >/dev/null";
        QTest::newRow("written address") << "getent ahosts 127.0.0.1 >/dev/null";
        QTest::newRow("this machine's name") << "getent ahosts \"$(hostname)\" >/dev/null || true";
        QTest::newRow("listening port") << "exec 3<>/dev/tcp/127.0.0.1/PORT";
        QTest::newRow("IPv6 loopback") << "(exec 3<>/dev/tcp/::1/PORT6) || true";
        QTest::newRow("exit status kept") << "exit 3";
    }
    void loopbackPasses() {
        QFETCH(QString, line);
        QTcpServer v4;
        QTcpServer v6;
        QVERIFY(v4.listen(QHostAddress::LocalHost, 0));
        const bool haveV6 = v6.listen(QHostAddress::LocalHostIPv6, 0);
        line.replace("PORT6", QString::number(haveV6 ? v6.serverPort() : 1));
        line.replace("PORT", QString::number(v4.serverPort()));
        const Run r = guarded(line);
        QCOMPARE(r.code, QString(QTest::currentDataTag()) == "exit status kept" ? 3 : 0);
        QVERIFY2(!r.errors.contains("loopback-only"), r.errors.constData());
    }
};

QTEST_GUILESS_MAIN(tst_LoopbackOnly)
#include "tst_LoopbackOnly.moc"
