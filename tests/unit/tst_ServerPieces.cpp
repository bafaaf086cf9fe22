// The small parts quillbay-web's server is built of: the answers it writes itself, the request as the HTTP
// library is handed it, the mailbox through which other threads answer a loop's connections, and the
// workers that run the library's routes.
#include "HttpAnswer.h"
#include "LibraryRequest.h"
#include "LoopMailbox.h"
#include "RouteWorkers.h"
#include "fakes/TestChecks.h"

#include <QDeadlineTimer>
#include <QTest>

#include <algorithm>

#include <atomic>
#include <thread>

#include <poll.h>

namespace {

RequestHead headWith(std::vector<std::pair<std::string, std::string>> fields) {
    RequestHead h;
    h.method = "POST";
    h.target = "/api/telemetry?x=1";
    h.version = "HTTP/1.1";
    h.fields = std::move(fields);
    return h;
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

} // namespace

class tst_ServerPieces : public QObject {
    Q_OBJECT

private slots:
    void answerHead_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("close");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ok, kept open") << 200 << false << QByteArray("{}")
                                       << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                                     "Content-Length: 2\r\nConnection: keep-alive\r\n\r\n{}");
        QTest::newRow("too large, closed")
            << 413 << true << QByteArray()
            << QByteArray("HTTP/1.1 413 Content Too Large\r\nContent-Type: application/json\r\n"
                          "Content-Length: 0\r\nConnection: close\r\n\r\n");
        QTest::newRow("a status never sent")
            << 299 << true << QByteArray("x")
            << QByteArray("HTTP/1.1 299 Unknown\r\nContent-Type: application/json\r\n"
                          "Content-Length: 1\r\nConnection: close\r\n\r\nx");
        // The length counts bytes, a NUL included.
        QTest::newRow("binary body") << 200 << false << QByteArray("a\0b", 3)
                                     << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                                   "Content-Length: 3\r\nConnection: keep-alive\r\n\r\n") +
                                            QByteArray("a\0b", 3);
    }
    void answerHead() {
        QFETCH(int, status);
        QFETCH(bool, close);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        const std::string got = HttpAnswer::whole(status, "application/json", body.toStdString(), close);
        QCOMPARE(QByteArray::fromStdString(got), expected);
    }

    void everyStatusTheServerSendsHasItsReason() {
        for (const int status : {200, 206, 400, 404, 408, 413, 414, 416, 431, 500, 501, 503, 505})
            QVERIFY2(std::string(HttpAnswer::reasonPhrase(status)) != "Unknown",
                     qPrintable(QString::number(status)));
    }

    // The library sees one framing only, the one of the body already read, and nothing that asks it to
    // wait, to say "100 Continue" again or to build ranges.
    void forwardedHeadKeepsOnlyWhatTheLibraryMayAct_data() {
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("with a body") << 5
                                     << QByteArray(
                                            "POST /api/telemetry?x=1 HTTP/1.1\r\nhost: a\r\n"
                                            "content-type: application/json\r\nContent-Length: 5\r\n\r\n");
        QTest::newRow("without a body")
            << 0
            << QByteArray(
                   "POST /api/telemetry?x=1 HTTP/1.1\r\nhost: a\r\ncontent-type: application/json\r\n\r\n");
    }
    void forwardedHeadKeepsOnlyWhatTheLibraryMayAct() {
        QFETCH(int, bodySize);
        QFETCH(QByteArray, expected);
        const RequestHead head = headWith({{"host", "a"},
                                           {"transfer-encoding", "chunked"},
                                           {"content-length", "999"},
                                           {"expect", "100-continue"},
                                           {"range", "bytes=0-1,3-4"},
                                           {"if-range", "x"},
                                           {"content-type", "application/json"}});
        const std::string got = LibraryRequest::forwardedHead(head, size_t(bodySize));
        QCOMPARE(QByteArray::fromStdString(got), expected);
    }

    void bufferStreamReadsInPiecesAndCollects() {
        BufferStream stream("abcdef", "::1", 4433);
        char piece[4] = {};
        QVERIFY(stream.is_readable());
        QCOMPARE(stream.read(piece, 4), ssize_t(4));
        QCOMPARE(QByteArray(piece, 4), QByteArray("abcd"));
        QCOMPARE(stream.read(piece, 4), ssize_t(2));
        QVERIFY(!stream.is_readable());
        QCOMPARE(stream.read(piece, 4), ssize_t(0));
        QCOMPARE(stream.write("xy", 2), ssize_t(2));
        QCOMPARE(stream.write("z", 1), ssize_t(1));
        QCOMPARE(QByteArray::fromStdString(stream.out()), QByteArray("xyz"));
        std::string ip;
        int port = 0;
        stream.get_remote_ip_and_port(ip, port);
        QCOMPARE(QByteArray::fromStdString(ip), QByteArray("::1"));
        QCOMPARE(port, 4433);
    }

    void mailboxHandsOverInOrderAndWakes() {
        LoopMailbox box;
        QVERIFY(box.fd() >= 0);
        QVERIFY(!readable(box.fd()));
        box.post({7, 1, "first", false, nullptr});
        box.shed(9);
        box.post({8, 2, "second", true, nullptr});
        QVERIFY(readable(box.fd()));
        std::vector<uint64_t> sheds;
        std::vector<LoopMailbox::Delivery> got = box.take(&sheds);
        QCOMPARE(got.size(), size_t(2));
        QCOMPARE(got[0].id, uint64_t(7));
        QCOMPARE(QByteArray::fromStdString(got[0].bytes), QByteArray("first"));
        QCOMPARE(got[1].request, size_t(2));
        QVERIFY(got[1].close);
        QCOMPARE(sheds, std::vector<uint64_t>{9});
        // Taken: the loop sleeps again until the next.
        QVERIFY(!readable(box.fd()));
        QVERIFY(box.take(&sheds).empty());
        QVERIFY(sheds.empty());
    }

    // Replies that come after the loop has gone land nowhere.
    void aShutMailboxDropsWhatComes() {
        LoopMailbox box;
        box.post({1, 1, "waiting", false, nullptr});
        box.shut();
        box.post({2, 1, "late", false, nullptr});
        box.shed(3);
        std::vector<uint64_t> sheds;
        QVERIFY(box.take(&sheds).empty());
        QVERIFY(sheds.empty());
    }

    void mailboxTakesFromManyThreads() {
        LoopMailbox box;
        constexpr int kThreads = 8;
        constexpr int kEach = 500;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&box, t] {
                for (int i = 0; i < kEach; ++i)
                    box.post({uint64_t(t), size_t(i), {}, false, nullptr});
            });
        std::vector<int> next(kThreads, 0);
        int taken = 0;
        std::vector<uint64_t> sheds;
        const auto takeAll = [&] {
            return TestSupport::passes([&] {
                for (const LoopMailbox::Delivery& d : box.take(&sheds)) {
                    // Each thread's replies arrive in the order it posted them.
                    QCOMPARE(d.request, size_t(next[size_t(d.id)]++));
                    ++taken;
                }
            });
        };
        // Taken while the others still post; a reply lost would leave the count short.
        const QDeadlineTimer bound(60000);
        while (taken < kThreads * kEach && !bound.hasExpired())
            if (!takeAll())
                break;
        for (std::thread& t : threads)
            t.join();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(takeAll());
        QCOMPARE(taken, kThreads * kEach);
    }

    // The pool's end runs every job still waiting: a request taken is always answered.
    void workersRunEveryJobBeforeTheyEnd_data() {
        QTest::addColumn<unsigned>("threads");
        QTest::newRow("none asked: one") << 0u;
        QTest::newRow("one") << 1u;
        QTest::newRow("four") << 4u;
    }
    void workersRunEveryJobBeforeTheyEnd() {
        QFETCH(unsigned, threads);
        std::atomic<int> done{0};
        std::atomic<bool> release{false};
        {
            RouteWorkers workers(threads);
            // The first jobs hold every thread until the rest are queued behind them.
            for (unsigned i = 0; i < std::max(threads, 1u); ++i)
                workers.push([&] {
                    while (!release)
                        std::this_thread::yield();
                    ++done;
                });
            for (int i = 0; i < 200; ++i)
                workers.push([&] { ++done; });
            release = true;
        }
        QCOMPARE(done.load(), int(std::max(threads, 1u)) + 200);
    }

    void workersRunJobsInTheOrderGiven() {
        std::vector<int> order;
        {
            RouteWorkers one(1);
            for (int i = 0; i < 50; ++i)
                one.push([&order, i] { order.push_back(i); });
        }
        QCOMPARE(order.size(), size_t(50));
        QVERIFY(std::is_sorted(order.begin(), order.end()));
    }
};

QTEST_GUILESS_MAIN(tst_ServerPieces)
#include "tst_ServerPieces.moc"
