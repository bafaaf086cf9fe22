// How quillbay-web reads a request off the wire: where a request ends must not be open to two readings
// (doubled or mixed framing, a space before a field's colon, unknown codings), bodies are capped however
// they are framed, and heads are bounded. Every case is fed whole, byte by byte and in odd slices, so a
// request split at any point across reads is read the same.
#include "RequestReader.h"

#include <QTest>

namespace {

constexpr size_t kLimit = 64;

RequestReader reader() {
    return RequestReader(RequestReader::Limits{1024, 8},
                         [](const RequestHead& head) { return head.method == "POST" ? kLimit : size_t(0); });
}

struct Outcome {
    RequestReader::State state = RequestReader::State::Head;
    int failure = 0;
    QByteArray body;
    size_t used = 0;
};

// Feeds `input` in slices of `step` bytes (0: all at once), as a connection would hand it over.
Outcome feed(const QByteArray& input, int step) {
    RequestReader r = reader();
    size_t used = 0;
    const size_t size = size_t(input.size());
    while (used < size) {
        const size_t n = step == 0 ? size - used : std::min(size - used, size_t(step));
        const size_t took = r.feed(input.constData() + used, n);
        used += took;
        if (took < n)
            break;
    }
    return Outcome{r.state(), r.failure(), QByteArray::fromStdString(r.body()), used};
}

QByteArray post(const QByteArray& fields, const QByteArray& body = {}) {
    return "POST /api/telemetry HTTP/1.1\r\nHost: x\r\n" + fields + "\r\n" + body;
}

QByteArray fieldLines(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "X-F" + QByteArray::number(i) + ": v\r\n";
    return out;
}

} // namespace

Q_DECLARE_METATYPE(RequestReader::State)

class tst_RequestReader : public QObject {
    Q_OBJECT

private slots:
    void framing_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("failure"); // 0: read whole
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no body") << B("GET /version.json HTTP/1.1\r\nHost: x\r\n\r\n") << 0 << B();
        QTest::newRow("empty lines before the request line")
            << B("\r\n\r\nGET / HTTP/1.1\r\n\r\n") << 0 << B();
        QTest::newRow("counted body") << post("Content-Length: 5\r\n", "hello") << 0 << B("hello");
        QTest::newRow("same length twice")
            << post("Content-Length: 5\r\nContent-Length: 5\r\n", "hello") << 0 << B("hello");
        QTest::newRow("same length as a list")
            << post("Content-Length: 5, 5\r\n", "hello") << 0 << B("hello");
        QTest::newRow("two different lengths")
            << post("Content-Length: 5\r\nContent-Length: 6\r\n", "hello!") << 400 << B();
        QTest::newRow("two different lengths in a list")
            << post("Content-Length: 5, 6\r\n", "hello!") << 400 << B();
        QTest::newRow("signed length") << post("Content-Length: +5\r\n", "hello") << 400 << B();
        QTest::newRow("hex length") << post("Content-Length: 0x5\r\n", "hello") << 400 << B();
        QTest::newRow("empty length") << post("Content-Length:\r\n") << 400 << B();
        QTest::newRow("length and chunked")
            << post("Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", "0\r\n\r\n") << 400 << B();
        QTest::newRow("chunked and length")
            << post("Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", "0\r\n\r\n") << 400 << B();
        QTest::newRow("space before the colon")
            << post("Transfer-Encoding : chunked\r\n", "0\r\n\r\n") << 400 << B();
        QTest::newRow("tab before the colon") << post("Content-Length\t: 5\r\n", "hello") << 400 << B();
        QTest::newRow("unknown coding") << post("Transfer-Encoding: xchunked\r\n", "0\r\n\r\n") << 501 << B();
        QTest::newRow("coding under chunked")
            << post("Transfer-Encoding: gzip, chunked\r\n", "0\r\n\r\n") << 501 << B();
        QTest::newRow("chunked twice")
            << post("Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", "0\r\n\r\n") << 400
            << B();
        QTest::newRow("chunked in HTTP/1.0")
            << B("POST /api/telemetry HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 400 << B();
        QTest::newRow("chunked, any case")
            << post("Transfer-Encoding: ChUnKeD\r\n", "5\r\nhello\r\n0\r\n\r\n") << 0 << B("hello");
        QTest::newRow("chunks with extensions and trailers")
            << post("Transfer-Encoding: chunked\r\n",
                    "3;name=\"v\"\r\nhel\r\n2 ; x\r\nlo\r\n0\r\nX-Trailer: t\r\n\r\n")
            << 0 << B("hello");
        QTest::newRow("chunk longer than its size")
            << post("Transfer-Encoding: chunked\r\n", "3\r\nhello\r\n0\r\n\r\n") << 400 << B();
        QTest::newRow("chunk size not hex") << post("Transfer-Encoding: chunked\r\n", "g\r\n") << 400 << B();
        QTest::newRow("chunk size missing") << post("Transfer-Encoding: chunked\r\n", ";x\r\n") << 400 << B();
        QTest::newRow("folded field") << post("X-A: a\r\n b\r\n") << 400 << B();
        QTest::newRow("bare line feed") << B("GET / HTTP/1.1\nHost: x\n\n") << 400 << B();
        QTest::newRow("bare carriage return") << B("GET / HTTP/1.1\r\nHost: x\ry\r\n\r\n") << 400 << B();
        QTest::newRow("control byte in a value") << post("X-A: a\x01"
                                                         "b\r\n")
                                                 << 400 << B();
        QTest::newRow("request line of two parts") << B("GET /\r\n\r\n") << 400 << B();
        QTest::newRow("two spaces in the request line") << B("GET  / HTTP/1.1\r\n\r\n") << 400 << B();
        QTest::newRow("HTTP/2.0") << B("GET / HTTP/2.0\r\n\r\n") << 505 << B();
        QTest::newRow("not HTTP") << B("GET / FTP/1.1\r\n\r\n") << 400 << B();
    }
    void framing() {
        QFETCH(QByteArray, input);
        QFETCH(int, failure);
        QFETCH(QByteArray, body);
        for (const int step : {0, 1, 7}) {
            const Outcome o = feed(input, step);
            const QByteArray at = "slices of " + QByteArray::number(step);
            QVERIFY2(o.state == (failure ? RequestReader::State::Failed : RequestReader::State::Done), at);
            QVERIFY2(o.failure == failure, at + ": " + QByteArray::number(o.failure));
            if (!failure) {
                QVERIFY2(o.body == body, at);
                QVERIFY2(o.used == size_t(input.size()), at);
            }
        }
    }

    // The cap holds at its edge, for counted and chunked bodies alike, and a body too large is refused
    // before any of it has arrived.
    void bodyCap_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("failure");
        const QByteArray full(int(kLimit), 'b');
        const QByteArray hexFull = QByteArray::number(qulonglong(kLimit), 16);
        QTest::newRow("counted, at the cap")
            << post("Content-Length: " + QByteArray::number(qulonglong(kLimit)) + "\r\n", full) << 0;
        QTest::newRow("counted, one over, head only")
            << post("Content-Length: " + QByteArray::number(qulonglong(kLimit + 1)) + "\r\n") << 413;
        QTest::newRow("counted, beyond 64 bits")
            << post("Content-Length: 99999999999999999999999\r\n") << 413;
        QTest::newRow("chunked, at the cap")
            << post("Transfer-Encoding: chunked\r\n", hexFull + "\r\n" + full + "\r\n0\r\n\r\n") << 0;
        QTest::newRow("chunked, in pieces up to the cap")
            << post("Transfer-Encoding: chunked\r\n",
                    "20\r\n" + full.left(32) + "\r\n20\r\n" + full.left(32) + "\r\n0\r\n\r\n")
            << 0;
        QTest::newRow("chunked, one over in the last chunk")
            << post("Transfer-Encoding: chunked\r\n", "20\r\n" + full.left(32) + "\r\n21\r\n") << 413;
        QTest::newRow("chunked, one huge chunk")
            << post("Transfer-Encoding: chunked\r\n", "fffffffffffffffffff\r\n") << 413;
        QTest::newRow("chunked, leading zeros are no size")
            << post("Transfer-Encoding: chunked\r\n", "00000000000000000000005\r\nhello\r\n0\r\n\r\n") << 0;
        QTest::newRow("body on a route that takes none")
            << B("GET / HTTP/1.1\r\nContent-Length: 1\r\n\r\nx") << 413;
        QTest::newRow("chunked body on a route that takes none")
            << B("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n") << 413;
    }
    void bodyCap() {
        QFETCH(QByteArray, input);
        QFETCH(int, failure);
        const Outcome o = feed(input, 1);
        QCOMPARE(o.failure, failure);
        QCOMPARE(o.state, failure ? RequestReader::State::Failed : RequestReader::State::Done);
    }

    // Heads are bounded in fields and bytes; the limits themselves still pass.
    void headBounds_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("failure");
        QTest::newRow("fields at the limit")
            << QByteArray("GET / HTTP/1.1\r\n" + fieldLines(8) + "\r\n") << 0;
        QTest::newRow("one field over") << QByteArray("GET / HTTP/1.1\r\n" + fieldLines(9) + "\r\n") << 431;
        const QByteArray line = "GET / HTTP/1.1\r\n";
        const QByteArray pad = "X: ";
        const int fill = 1024 - line.size() - pad.size() - 4; // so that the head is exactly 1024 bytes
        QTest::newRow("bytes at the limit")
            << QByteArray(line + pad + QByteArray(fill, 'a') + "\r\n\r\n") << 0;
        QTest::newRow("one byte over")
            << QByteArray(line + pad + QByteArray(fill + 1, 'a') + "\r\n\r\n") << 431;
        QTest::newRow("a flood of fields, refused early")
            << QByteArray("GET / HTTP/1.1\r\n" + fieldLines(20000)) << 431;
        QTest::newRow("endless empty lines") << QByteArray(4000, '\r').replace("\r", "\r\n") << 431;
        QTest::newRow("too many trailer fields")
            << post("Transfer-Encoding: chunked\r\n", "0\r\n" + fieldLines(9) + "\r\n") << 431;
    }
    void headBounds() {
        QFETCH(QByteArray, input);
        QFETCH(int, failure);
        const Outcome o = feed(input, 0);
        QCOMPARE(o.failure, failure);
        // A refused head is given up on at once: the rest of the flood is not taken.
        if (failure)
            QVERIFY(o.used <= 2048);
    }

    // One line of a head is bounded on its own (here at 100 bytes, without its CRLF), while the head
    // as a whole may be far longer: a long field line is 431, a long request line 414.
    void lineBound_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("failure");
        const auto field = [](int length) { return "X: " + QByteArray(length - 3, 'v') + "\r\n"; };
        const auto target = [](int length) {
            return "GET /" + QByteArray(length - 14, 't') + " HTTP/1.1\r\n";
        };
        QTest::newRow("field line at the bound") << target(20) + field(100) + "\r\n" << 0;
        QTest::newRow("field line one over") << target(20) + field(101) + "\r\n" << 431;
        QTest::newRow("many lines at the bound")
            << target(100) + field(100) + field(100) + field(100) + "\r\n"
            << 0;
        QTest::newRow("request line at the bound") << target(100) + "\r\n" << 0;
        QTest::newRow("request line one over") << target(101) + "\r\n" << 414;
        QTest::newRow("endless line, refused early") << target(20) + "X: " + QByteArray(100000, 'v') << 431;
    }
    void lineBound() {
        QFETCH(QByteArray, input);
        QFETCH(int, failure);
        for (const int step : {0, 1, 7}) {
            RequestReader r(RequestReader::Limits{16 * 1024, 8, 100},
                            [](const RequestHead&) { return size_t(0); });
            size_t used = 0;
            while (used < size_t(input.size())) {
                const size_t n = step == 0 ? size_t(input.size()) - used
                                           : std::min(size_t(input.size()) - used, size_t(step));
                const size_t took = r.feed(input.constData() + used, n);
                used += took;
                if (took < n)
                    break;
            }
            QCOMPARE(r.failure(), failure);
            QCOMPARE(r.state(), failure ? RequestReader::State::Failed : RequestReader::State::Done);
            if (failure)
                QVERIFY(used <= 200);
        }
    }

    // Pipelined requests: each takes its own bytes only, and the reader starts afresh after reset().
    void pipelined() {
        const QByteArray first = post("Content-Length: 2\r\n", "ab");
        const QByteArray second = "GET /next HTTP/1.1\r\n\r\n";
        const QByteArray both = first + second;
        RequestReader r = reader();
        const size_t used = r.feed(both.constData(), size_t(both.size()));
        QCOMPARE(used, size_t(first.size()));
        QCOMPARE(QByteArray::fromStdString(r.body()), QByteArray("ab"));
        // Nothing more is taken once a request is done.
        QCOMPARE(r.feed(both.constData() + used, size_t(second.size())), size_t(0));
        r.reset();
        QVERIFY(!r.started());
        QCOMPARE(r.feed(both.constData() + used, size_t(second.size())), size_t(second.size()));
        QCOMPARE(r.state(), RequestReader::State::Done);
        QCOMPARE(QByteArray::fromStdString(r.head().target), QByteArray("/next"));
        QVERIFY(r.body().empty());
    }

    void head() {
        const QByteArray in = "POST /api/telemetry?x=1 HTTP/1.0\r\nContent-Type:  application/json \r\n"
                              "CONNECTION: Keep-Alive\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n";
        RequestReader r = reader();
        r.feed(in.constData(), size_t(in.size()));
        QCOMPARE(r.state(), RequestReader::State::Body);
        QCOMPARE(QByteArray::fromStdString(r.head().path()), QByteArray("/api/telemetry"));
        QCOMPARE(QByteArray::fromStdString(r.head().header("content-type")), QByteArray("application/json"));
        QVERIFY(!r.head().wantsClose());
        // "100 Continue" exists only from HTTP/1.1 on.
        QVERIFY(!r.expectsContinue());

        RequestReader r11 = reader();
        const QByteArray in11 = QByteArray(in).replace("HTTP/1.0", "HTTP/1.1").replace("Keep-Alive", "close");
        r11.feed(in11.constData(), size_t(in11.size()));
        QVERIFY(r11.expectsContinue());
        QVERIFY(r11.head().wantsClose());
        r11.feed("a", 1);
        QVERIFY(!r11.expectsContinue());
    }

private:
    using B = QByteArray;
};

QTEST_GUILESS_MAIN(tst_RequestReader)
#include "tst_RequestReader.moc"
