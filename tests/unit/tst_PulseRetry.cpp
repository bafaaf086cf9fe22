// How the volume reader waits for a sound server that is not there: the waits double up to minutes
// and start over once a server answers; and which socket it watches for a server to appear.
#include "platform/pulse/PulseVolumeReader.h"
#include "platform/pulse/RetryBackoff.h"

#include <QTest>

class tst_PulseRetry : public QObject {
    Q_OBJECT

private slots:
    void waitsDoubleUpToTheLongest() {
        RetryBackoff b(250, 5 * 60 * 1000);
        QList<int> waits;
        for (int i = 0; i < 14; ++i)
            waits << b.next();
        QCOMPARE(waits, QList<int>({250, 500, 1000, 2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000,
                                    300000, 300000, 300000}));
    }

    void aServerStartsTheWaitsOver() {
        RetryBackoff b(250, 300000);
        for (int i = 0; i < 20; ++i)
            b.next();
        b.reset();
        QCOMPARE(b.next(), 250);
        QCOMPARE(b.next(), 500);
    }

    void oddLimits_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("longest");
        QTest::addColumn<QList<int>>("waits");
        QTest::newRow("longest below first") << 1000 << 10 << QList<int>{1000, 1000, 1000};
        QTest::newRow("no first wait") << 0 << 4 << QList<int>{1, 2, 4, 4};
        QTest::newRow("longest not a doubling") << 300 << 1000 << QList<int>{300, 600, 1000, 1000};
        // Doubling near the top of int must not overflow into a negative wait.
        QTest::newRow("huge") << 1'500'000'000 << 2'000'000'000
                              << QList<int>{1'500'000'000, 2'000'000'000, 2'000'000'000};
    }
    void oddLimits() {
        QFETCH(int, first);
        QFETCH(int, longest);
        QFETCH(QList<int>, waits);
        RetryBackoff b(first, longest);
        QList<int> got;
        for (qsizetype i = 0; i < waits.size(); ++i)
            got << b.next();
        QCOMPARE(got, waits);
    }

    void socketPath_data() {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QByteArray>("pulseServer");
        QTest::addColumn<QByteArray>("runtimePath");
        QTest::addColumn<QByteArray>("xdgRuntime");
        QTest::addColumn<QByteArray>("socket");
        QTest::newRow("given unix server")
            << QByteArray("unix:/tmp/x/native") << QByteArray("unix:/other") << QByteArray("/rt")
            << QByteArray("/run/user/1") << QByteArray("/tmp/x/native");
        QTest::newRow("given plain path") << QByteArray("/tmp/x/native") << QByteArray() << QByteArray()
                                          << QByteArray() << QByteArray("/tmp/x/native");
        QTest::newRow("a list: its first socket")
            << QByteArray("tcp:localhost unix:/s/native") << QByteArray() << QByteArray() << QByteArray()
            << QByteArray("/s/native");
        QTest::newRow("only a network server") << QByteArray("tcp:10.0.0.2:4713") << QByteArray()
                                               << QByteArray() << QByteArray("/run/user/1") << QByteArray();
        QTest::newRow("from PULSE_SERVER")
            << QByteArray() << QByteArray("unix:/p/native") << QByteArray("/rt") << QByteArray("/run/user/1")
            << QByteArray("/p/native");
        QTest::newRow("from PULSE_RUNTIME_PATH") << QByteArray() << QByteArray() << QByteArray("/rt")
                                                 << QByteArray("/run/user/1") << QByteArray("/rt/native");
        QTest::newRow("from XDG_RUNTIME_DIR")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray("/run/user/1")
            << QByteArray("/run/user/1/pulse/native");
        QTest::newRow("a relative runtime folder is no place")
            << QByteArray() << QByteArray() << QByteArray("rt") << QByteArray("run") << QByteArray();
        QTest::newRow("nothing known")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    }
    void socketPath() {
        QFETCH(QByteArray, server);
        QFETCH(QByteArray, pulseServer);
        QFETCH(QByteArray, runtimePath);
        QFETCH(QByteArray, xdgRuntime);
        QFETCH(QByteArray, socket);
        QCOMPARE(PulseVolumeReader::socketPath(server, pulseServer, runtimePath, xdgRuntime), socket);
    }
};

QTEST_APPLESS_MAIN(tst_PulseRetry)
#include "tst_PulseRetry.moc"
