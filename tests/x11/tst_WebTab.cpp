// A web tab with the real browser engine on a loopback page: it loads and shows the page's title, stays
// on web pages, and leaving the tab ends the page's renderer process.
#include "model/CustomTab.h"
#include "views/WebEngineLoader.h"
#include "views/WebTabView.h"

#include "fakes/TestSupport.h"

#include <QApplication>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QVBoxLayout>
#include <QtTest>

#include <unistd.h>

namespace {

// Serves one fixed page per path over HTTP/1.0 on loopback, counting the requests for each. Every answer
// may be cached for an hour, so a page that is asked for again proves the engine did not use its cache.
class PageServer : public QObject {
public:
    explicit PageServer(QMap<QByteArray, QByteArray> pages)
        : m_pages(std::move(pages)) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    const QList<QByteArray> words = request.left(request.indexOf('\r')).split(' ');
                    const QByteArray path = words.size() > 1 ? words[1] : "/";
                    ++m_hits[path];
                    const bool known = m_pages.contains(path);
                    const QByteArray body = known ? m_pages.value(path) : QByteArray("missing");
                    socket->write(
                        (known ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 404 Not Found\r\n") +
                        QByteArray("Content-Type: text/html\r\nCache-Control: max-age=3600\r\n"
                                   "Last-Modified: Mon, 07 Dec 2026 10:00:00 GMT\r\nContent-Length: ") +
                        QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    int hits(const QByteArray& path) const { return m_hits.value(path); }

private:
    QTcpServer m_server;
    QMap<QByteArray, QByteArray> m_pages;
    QHash<QByteArray, int> m_hits;
};

// Of the pixels the X server shows for `widget`: the share that is near black and the share that is
// light, the rest being ink or colour.
struct Shades {
    double black = 1;
    double light = 0;
    int dark = 0; // dark pixels, counted: the text's ink on a light page
};

Shades shadesOnScreen(QWidget* widget) {
    const QImage shot =
        widget->screen()->grabWindow(widget->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    Shades s;
    if (shot.isNull() || shot.width() == 0 || shot.height() == 0)
        return s;
    qint64 black = 0, light = 0;
    for (int y = 0; y < shot.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            const int v = qGray(line[x]);
            black += v < 16;
            light += v > 230;
            s.dark += v < 100;
        }
    }
    const double all = double(shot.width()) * shot.height();
    s.black = black / all;
    s.light = light / all;
    return s;
}

// The engine's helper processes that render pages: on Linux they are forked by the engine's zygote
// processes, which this process starts once and keeps (and which carry the same command line).
QList<int> renderers() {
    QHash<int, int> parentOf; // engine helper -> its parent
    for (const QString& name : QDir("/proc").entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = name.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat("/proc/" + name + "/stat");
        QFile cmd("/proc/" + name + "/cmdline");
        if (!stat.open(QIODevice::ReadOnly) || !cmd.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] != "Z" && cmd.readAll().contains("QtWebEngineProcess"))
            parentOf.insert(pid, fields[1].toInt());
    }
    QList<int> found;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        const int zygote = it.value();
        if (parentOf.contains(zygote) && parentOf.value(zygote) == int(::getpid()))
            found << it.key();
    }
    return found;
}

CustomTab webTab(const QString& url) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = "local";
    t.kind = CustomTab::Kind::web;
    t.url = url;
    return t;
}

} // namespace

class tst_WebTab : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_server = std::make_unique<PageServer>(QMap<QByteArray, QByteArray>{
            {"/", "<html><head><title>Loopback page</title></head><body>hello</body></html>"},
            // As a plain file server's folder listing comes: no style, no background of its own.
            {"/listing",
             "<html><head><title>Directory listing for /</title></head><body>"
             "<h1>Directory listing for /</h1><hr><ul><li><a href=\"notes.txt\">notes.txt</a></li>"
             "<li><a href=\"src/\">src/</a></li></ul><hr></body></html>"},
            {"/counted", "<html><head><title>Counted</title></head><body>again</body></html>"},
            {"/escape", "<html><head><title>Stays here</title><script>"
                        "setTimeout(function(){ location.href = 'file:///etc/hostname'; }, 10);"
                        "</script></head><body>x</body></html>"}});
        QVERIFY(m_server->port() != 0);
        m_factory = WebEngineLoader::factory(QUILLBAY_WEBPAGE_MODULE);
    }

    void loadsTheLoopbackPageAndLeavingEndsItsRenderer() {
        const QList<int> before = renderers();
        auto view =
            std::make_unique<WebTabView>(webTab("127.0.0.1:" + QString::number(m_server->port())), m_factory);
        view->resize(600, 400);
        view->show();
        QVERIFY(view->page());
        QTRY_COMPARE_WITH_TIMEOUT(view->page()->property("title").toString(), QString("Loopback page"),
                                  60000);
        QCOMPARE(view->page()->property("url").toUrl().scheme(), QString("http"));
        QTRY_VERIFY_WITH_TIMEOUT(renderers().size() > before.size(), 20000);

        view.reset(); // another tab selected: the dashboard deletes the view
        QTRY_VERIFY_WITH_TIMEOUT(renderers().size() <= before.size(), 20000);
    }

    void collapsingEndsThePageAndShowingMakesItAgain() {
        WebTabView view(webTab("127.0.0.1:" + QString::number(m_server->port())), m_factory);
        view.resize(600, 400);
        view.show();
        QTRY_COMPARE_WITH_TIMEOUT(view.page()->property("title").toString(), QString("Loopback page"), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(!renderers().isEmpty(), 20000);
        view.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!view.page(), WebTabView::kKeepHiddenMs + 5000);
        QTRY_VERIFY_WITH_TIMEOUT(renderers().isEmpty(), 20000);
        view.show();
        QVERIFY(view.page());
        QTRY_COMPARE_WITH_TIMEOUT(view.page()->property("title").toString(), QString("Loopback page"), 60000);
    }

    void aPageCannotLeadToALocalFile() {
        WebTabView view(webTab("http://127.0.0.1:" + QString::number(m_server->port()) + "/escape"),
                        m_factory);
        view.resize(600, 400);
        view.show();
        QTRY_COMPARE_WITH_TIMEOUT(view.page()->property("title").toString(), QString("Stays here"), 60000);
        QTest::qWait(500); // proves the page's attempt to leave, 10 ms in, fails
        QCOMPARE(view.page()->property("url").toUrl().scheme(), QString("http"));
        QCOMPARE(view.page()->property("title").toString(), QString("Stays here"));
    }

    // On the island's black, a page without a background must still be the browser's white with its text.
    void aPageWithoutABackgroundIsDrawnLightWithItsInk() {
        QWidget island;
        island.setAutoFillBackground(true);
        QPalette black = island.palette();
        black.setColor(QPalette::Window, Qt::black);
        island.setPalette(black);
        auto* layout = new QVBoxLayout(&island);
        auto* view = new WebTabView(
            webTab("http://127.0.0.1:" + QString::number(m_server->port()) + "/listing"), m_factory, &island);
        layout->addWidget(view);
        island.resize(640, 320);
        island.show();
        QVERIFY(QTest::qWaitForWindowExposed(&island));
        QTRY_COMPARE_WITH_TIMEOUT(view->page()->property("title").toString(),
                                  QString("Directory listing for /"), 60000);
        Shades shades;
        QVERIFY2(TestSupport::pollUntil(
                     [&] {
                         shades = shadesOnScreen(view->page());
                         return shades.light > 0.5 && shades.dark > 50;
                     },
                     20000, 100),
                 qPrintable(QString("black %1, light %2, dark pixels %3")
                                .arg(shades.black)
                                .arg(shades.light)
                                .arg(shades.dark)));
        QVERIFY(shades.black < 0.2);
    }

    // Reload makes a new page that asks the server, even for an answer the cache could serve, and even
    // while the first page is still loading.
    void reloadAlwaysAsksTheServer() {
        WebTabView view(webTab("http://127.0.0.1:" + QString::number(m_server->port()) + "/counted"),
                        m_factory);
        view.resize(600, 400);
        view.show();
        const int before = m_server->hits("/counted");
        view.reload(); // right after the tab appears, its first load under way
        QTRY_VERIFY_WITH_TIMEOUT(m_server->hits("/counted") >= before + 1, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(view.page()->property("title").toString(), QString("Counted"), 60000);
        const int settled = m_server->hits("/counted");
        view.reload();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->hits("/counted"), settled + 1, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(view.page()->property("title").toString(), QString("Counted"), 60000);
        view.reload();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->hits("/counted"), settled + 2, 60000);
    }

private:
    std::unique_ptr<PageServer> m_server;
    WebPageFactory m_factory;
};

int main(int argc, char* argv[]) {
    // Xvfb has no GPU; the engine draws in software.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    WebEngineLoader::prepareProcess();
    QApplication app(argc, argv);
    tst_WebTab test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_WebTab.moc"
