// Which parts of a log line become links, to where, and that nothing but web pages can be opened.
#include "services/Linkify.h"

#include <QtTest>

class tst_Linkify : public QObject {
    Q_OBJECT
private slots:
    void links_data() {
        QTest::addColumn<QString>("text");
        // Each expected link as "<text as written> -> <url>", in order.
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("loopback address and port")
            << "  Local: 127.0.0.1:5173/" << QStringList{"127.0.0.1:5173 -> http://localhost:5173"};
        QTest::newRow("any-address links to localhost")
            << "Uvicorn running on 0.0.0.0:8000 (Press CTRL+C)"
            << QStringList{"0.0.0.0:8000 -> http://localhost:8000"};
        QTest::newRow("localhost before a full stop")
            << "Serving on localhost:3000." << QStringList{"localhost:3000 -> http://localhost:3000"};
        QTest::newRow("written address is the first pass's")
            << "  ➜  Local:   http://localhost:5173/"
            << QStringList{"http://localhost:5173/ -> http://localhost:5173/"};
        QTest::newRow("one-digit port") << "localhost:8 up" << QStringList{};
        QTest::newRow("six-digit port") << "localhost:123456 up" << QStringList{};
        QTest::newRow("port beyond 65535") << "localhost:99999" << QStringList{};
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("localhost:５１７３") << QStringList{};
        QTest::newRow("host that merely ends in localhost")
            << "mylocalhost:80 and my_localhost:80" << QStringList{};
        QTest::newRow("earlier link wins over a local address inside it")
            << "open https://example.com/login?next=localhost:3000 now"
            << QStringList{"https://example.com/login?next=localhost:3000 -> "
                           "https://example.com/login?next=localhost:3000"};
        QTest::newRow("two local addresses") << "api localhost:3000, web 127.0.0.1:4000"
                                             << QStringList{"localhost:3000 -> http://localhost:3000",
                                                            "127.0.0.1:4000 -> http://localhost:4000"};
        QTest::newRow("sentence punctuation is not part of an address")
            << "Docs: https://example.org/guide."
            << QStringList{"https://example.org/guide -> https://example.org/guide"};
        QTest::newRow("balanced brackets stay, the enclosing one goes")
            << "(see https://en.wikipedia.org/wiki/Foo_(bar))"
            << QStringList{
                   "https://en.wikipedia.org/wiki/Foo_(bar) -> https://en.wikipedia.org/wiki/Foo_(bar)"};
        QTest::newRow("www host") << "mirror at www.example.net/pkg,"
                                  << QStringList{"www.example.net/pkg -> http://www.example.net/pkg"};
        QTest::newRow("upper-case scheme")
            << "HTTPS://Example.com/A" << QStringList{"HTTPS://Example.com/A -> https://example.com/A"};
        QTest::newRow("address ends at a quote or angle bracket")
            << R"(<img src="http://evil.test/x.png"><b>bold</b>)"
            << QStringList{"http://evil.test/x.png -> http://evil.test/x.png"};
        QTest::newRow("other schemes are never links")
            << R"(<a href="file:///etc/passwd">x</a> javascript:alert(1) ftp://host/f vscode://open)"
            << QStringList{};
        QTest::newRow("scheme glued to a word") << "xhttp://example.com" << QStringList{};
        QTest::newRow("empty text") << "" << QStringList{};
    }
    void links() {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        const QList<Linkify::Link> got = Linkify::links(text);
        QStringList written;
        qsizetype lastEnd = 0;
        for (const Linkify::Link& l : got) {
            QVERIFY2(l.start >= lastEnd, "links overlap or are out of order");
            QVERIFY(l.start + l.length <= text.size());
            lastEnd = l.start + l.length;
            written << text.mid(l.start, l.length) + " -> " + l.url.toString();
        }
        QCOMPARE(written, expected);
    }

    void onlyWebPagesOpen_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("opens");
        QTest::newRow("http") << "http://localhost:5173" << true;
        QTest::newRow("https") << "https://example.com/x" << true;
        QTest::newRow("upper-case") << "HTTPS://example.com" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("custom scheme") << "vscode://file/tmp" << false;
        QTest::newRow("mailto") << "mailto:a@b.c" << false;
        QTest::newRow("no host") << "http:///path" << false;
        QTest::newRow("empty") << "" << false;
    }
    void onlyWebPagesOpen() {
        QFETCH(QString, url);
        QFETCH(bool, opens);
        QCOMPARE(Linkify::canOpen(QUrl(url)), opens);
    }
};

QTEST_GUILESS_MAIN(tst_Linkify)
#include "tst_Linkify.moc"
