// How quillbay-web answers a download: at most one range is served, and a list of ranges (which may
// repeat the whole file without end) gets the file once; what is not a plain file below the folder is
// not found, and the body read back piece by piece is exactly the part announced.
#include "FileStreamer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray pattern(int size) {
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char('a' + (i * 7) % 26);
    return out;
}

RequestHead get(const std::string& target, std::vector<std::pair<std::string, std::string>> fields = {},
                const std::string& method = "GET") {
    RequestHead h;
    h.method = method;
    h.target = target;
    h.version = "HTTP/1.1";
    h.fields = std::move(fields);
    return h;
}

QByteArray readAll(FileBody& body, size_t piece) {
    QByteArray out;
    std::vector<char> buf(piece);
    while (body.left() > 0) {
        const long n = body.next(buf.data(), buf.size());
        if (n <= 0)
            break;
        out.append(buf.data(), int(n));
    }
    return out;
}

} // namespace

using Kind = FileStreamer::Range::Kind;
Q_DECLARE_METATYPE(FileStreamer::Range::Kind)

class tst_FileStreamer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    static constexpr int kSize = 1000;

    std::string folder() const { return m_dir.filePath("downloads").toStdString(); }

private slots:
    void initTestCase() {
        QVERIFY(QDir().mkpath(m_dir.filePath("downloads/sub")));
        QFile f(m_dir.filePath("downloads/release.tar.xz"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(pattern(kSize)) == kSize);
        f.close();
        QFile s(m_dir.filePath("secret.txt"));
        QVERIFY(s.open(QIODevice::WriteOnly) && s.write("secret") == 6);
        s.close();
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("downloads/pipe")).constData(), 0600), 0);
    }

    void chooseRange_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qulonglong>("size");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<qulonglong>("first");
        QTest::addColumn<qulonglong>("length");
        QTest::newRow("first bytes") << QByteArray("bytes=0-99") << 1000ull << Kind::Part << 0ull << 100ull;
        QTest::newRow("to the end") << QByteArray("bytes=500-") << 1000ull << Kind::Part << 500ull << 500ull;
        QTest::newRow("last byte only")
            << QByteArray("bytes=999-999") << 1000ull << Kind::Part << 999ull << 1ull;
        QTest::newRow("end past the file")
            << QByteArray("bytes=900-5000") << 1000ull << Kind::Part << 900ull << 100ull;
        QTest::newRow("suffix") << QByteArray("bytes=-100") << 1000ull << Kind::Part << 900ull << 100ull;
        QTest::newRow("suffix longer than the file")
            << QByteArray("bytes=-5000") << 1000ull << Kind::Part << 0ull << 1000ull;
        QTest::newRow("unit in capitals, white space")
            << QByteArray(" Bytes = 1-2 ") << 1000ull << Kind::Part << 1ull << 2ull;
        QTest::newRow("start at the end")
            << QByteArray("bytes=1000-") << 1000ull << Kind::Unsatisfiable << 0ull << 0ull;
        QTest::newRow("start far past the end") << QByteArray("bytes=99999999999999999999999999-") << 1000ull
                                                << Kind::Unsatisfiable << 0ull << 0ull;
        QTest::newRow("empty suffix")
            << QByteArray("bytes=-0") << 1000ull << Kind::Unsatisfiable << 0ull << 0ull;
        QTest::newRow("empty file") << QByteArray("bytes=0-") << 0ull << Kind::Unsatisfiable << 0ull << 0ull;
        QTest::newRow("two ranges") << QByteArray("bytes=0-1,5-9") << 1000ull << Kind::Whole << 0ull
                                    << 1000ull;
        QByteArray many = "bytes=0-";
        for (int i = 0; i < 200; ++i)
            many += ",0-";
        QTest::newRow("200 ranges of the whole file") << many << 1000ull << Kind::Whole << 0ull << 1000ull;
        QTest::newRow("reversed") << QByteArray("bytes=9-5") << 1000ull << Kind::Whole << 0ull << 1000ull;
        QTest::newRow("other unit") << QByteArray("items=0-1") << 1000ull << Kind::Whole << 0ull << 1000ull;
        QTest::newRow("no dash") << QByteArray("bytes=5") << 1000ull << Kind::Whole << 0ull << 1000ull;
        QTest::newRow("no numbers") << QByteArray("bytes=-") << 1000ull << Kind::Whole << 0ull << 1000ull;
        QTest::newRow("negative suffix")
            << QByteArray("bytes=--5") << 1000ull << Kind::Whole << 0ull << 1000ull;
        QTest::newRow("hex") << QByteArray("bytes=0x1-0x2") << 1000ull << Kind::Whole << 0ull << 1000ull;
        QTest::newRow("no unit") << QByteArray("0-1") << 1000ull << Kind::Whole << 0ull << 1000ull;
    }
    void chooseRange() {
        QFETCH(QByteArray, value);
        QFETCH(qulonglong, size);
        QFETCH(Kind, kind);
        QFETCH(qulonglong, first);
        QFETCH(qulonglong, length);
        const FileStreamer::Range r = FileStreamer::chooseRange(value.toStdString(), size);
        QCOMPARE(r.kind, kind);
        if (kind != Kind::Unsatisfiable) {
            QCOMPARE(qulonglong(r.first), first);
            QCOMPARE(qulonglong(r.length), length);
            QVERIFY(r.first + r.length <= size);
        }
    }

    void decoded_data() {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("plain") << QByteArray("/downloads/a.tar.xz") << QByteArray("/downloads/a.tar.xz");
        QTest::newRow("dots") << QByteArray("/downloads/%2e%2E/x") << QByteArray("/downloads/../x");
        QTest::newRow("NUL") << QByteArray("/a%00b") << QByteArray("/a\0b", 4);
        QTest::newRow("not hex, kept") << QByteArray("/a%zz") << QByteArray("/a%zz");
        QTest::newRow("cut short at the end, kept") << QByteArray("/a%4") << QByteArray("/a%4");
        QTest::newRow("plus is no space") << QByteArray("/a+b") << QByteArray("/a+b");
    }
    void decoded() {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QCOMPARE(QByteArray::fromStdString(FileStreamer::decoded(in.toStdString())), out);
    }

    // What is answered, and that a body comes exactly when the answer announces one.
    void answer_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("range");   // empty: no Range field
        QTest::addColumn<QByteArray>("ifRange"); // empty: no If-Range field
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentRange"); // expected in the head, or empty
        QTest::addColumn<int>("first");               // the body is the file from here...
        QTest::addColumn<int>("length");              // ...for this long (-1: no body)
        const QByteArray file = "/downloads/release.tar.xz";
        QTest::newRow("whole") << file << B("GET") << B() << B() << 200 << B() << 0 << kSize;
        QTest::newRow("head") << file << B("HEAD") << B() << B() << 200 << B() << 0 << -1;
        QTest::newRow("one range") << file << B("GET") << B("bytes=10-19") << B() << 206
                                   << B("content-range: bytes 10-19/1000") << 10 << 10;
        QTest::newRow("suffix range") << file << B("GET") << B("bytes=-1") << B() << 206
                                      << B("content-range: bytes 999-999/1000") << 999 << 1;
        QTest::newRow("ranges repeated")
            << file << B("GET") << B("bytes=0-,0-,0-,0-") << B() << 200 << B() << 0 << kSize;
        QTest::newRow("range past the end") << file << B("GET") << B("bytes=1000-") << B() << 416
                                            << B("content-range: bytes */1000") << 0 << -1;
        QTest::newRow("conditional range")
            << file << B("GET") << B("bytes=0-9") << B("\"v1\"") << 200 << B() << 0 << kSize;
        QTest::newRow("dot-dot") << B("/downloads/../secret.txt") << B("GET") << B() << B() << 404 << B() << 0
                                 << -1;
        QTest::newRow("encoded dot-dot")
            << B("/downloads/%2e%2e/secret.txt") << B("GET") << B() << B() << 404 << B() << 0 << -1;
        QTest::newRow("the folder itself")
            << B("/downloads/") << B("GET") << B() << B() << 404 << B() << 0 << -1;
        QTest::newRow("a folder") << B("/downloads/sub") << B("GET") << B() << B() << 404 << B() << 0 << -1;
        QTest::newRow("double slash")
            << B("/downloads//release.tar.xz") << B("GET") << B() << B() << 404 << B() << 0 << -1;
        QTest::newRow("a FIFO, not waited on")
            << B("/downloads/pipe") << B("GET") << B() << B() << 404 << B() << 0 << -1;
        QTest::newRow("missing") << B("/downloads/none") << B("GET") << B() << B() << 404 << B() << 0 << -1;
        QTest::newRow("NUL before an extension")
            << B("/downloads/release%00.xz") << B("GET") << B() << B() << 400 << B() << 0 << -1;
    }
    void answer() {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, range);
        QFETCH(QByteArray, ifRange);
        QFETCH(int, status);
        QFETCH(QByteArray, contentRange);
        QFETCH(int, first);
        QFETCH(int, length);
        std::vector<std::pair<std::string, std::string>> fields = {{"host", "x"}};
        if (!range.isEmpty())
            fields.emplace_back("range", range.toStdString());
        if (!ifRange.isEmpty())
            fields.emplace_back("if-range", ifRange.toStdString());
        FileStreamer::Answer a = FileStreamer::answer(get(target.toStdString(), fields, method.toStdString()),
                                                      "/downloads", folder(), false);
        QCOMPARE(a.status, status);
        const QByteArray head = QByteArray::fromStdString(a.head).toLower();
        QVERIFY2(head.startsWith("http/1.1 " + QByteArray::number(status) + ' '), head.constData());
        if (!contentRange.isEmpty())
            QVERIFY2(head.contains(contentRange), head.constData());
        QVERIFY(!head.contains("secret"));
        QCOMPARE(a.body != nullptr, length > 0 && status < 300);
        if (status < 300) {
            const int announced = method == "HEAD" ? kSize : length;
            QVERIFY2(head.contains("content-length: " + QByteArray::number(announced) + "\r\n"),
                     head.constData());
            QVERIFY(head.endsWith("\r\n\r\n"));
        }
        if (a.body) {
            QCOMPARE(qint64(a.body->left()), qint64(length));
            // Read in pieces that do not divide the length, as a connection would.
            QCOMPARE(readAll(*a.body, 7), pattern(kSize).mid(first, length));
        }
    }

    // The two Range fields of one request are a list of ranges: the whole file.
    void twoRangeFields() {
        FileStreamer::Answer a = FileStreamer::answer(
            get("/downloads/release.tar.xz", {{"host", "x"}, {"range", "bytes=0-1"}, {"range", "bytes=2-3"}}),
            "/downloads", folder(), true);
        QCOMPARE(a.status, 200);
        QVERIFY(a.body && a.body->left() == kSize);
        QVERIFY(QByteArray::fromStdString(a.head).contains("Connection: close\r\n"));
    }

    // A file cut short while it is being sent cannot meet its announced length: reading says so.
    void fileShrinksUnderTheBody() {
        const QString path = m_dir.filePath("downloads/shrinks.tar.xz");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(pattern(5000)) == 5000);
        f.close();
        FileStreamer::Answer a =
            FileStreamer::answer(get("/downloads/shrinks.tar.xz"), "/downloads", folder(), false);
        QVERIFY(a.body);
        std::vector<char> buf(1000);
        QCOMPARE(a.body->next(buf.data(), buf.size()), 1000L);
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), 1500), 0);
        QCOMPARE(a.body->next(buf.data(), buf.size()), 500L);
        QCOMPARE(a.body->next(buf.data(), buf.size()), -1L);
    }

private:
    static QByteArray B(const char* s = "") { return QByteArray(s); }
};

QTEST_GUILESS_MAIN(tst_FileStreamer)
#include "tst_FileStreamer.moc"
