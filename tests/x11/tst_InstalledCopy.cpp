// An install made as `make install` makes it, into a temporary folder: it holds the program, its helpers and
// its modules, the release tool would pack it, and the installed program loads each module from its own
// folder (the camera reports a missing device rather than a missing module, a web tab shows its page).
#include "Release.h"
#include "fakes/TestSupport.h"
#include "model/CustomTab.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

bool run(const QString& program, const QStringList& args, QString* out = nullptr, int timeoutMs = 10000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs))
        return false;
    if (out)
        *out = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool xdotool(const QStringList& args) {
    return run(QStringLiteral("xdotool"), args);
}

// The island panel's X window, or 0 while it is not mapped.
quint32 panelWindow() {
    QString out;
    if (!run(QStringLiteral("xwininfo"), {"-name", "Quillbay island"}, &out) || !out.contains("IsViewable"))
        return 0;
    return QRegularExpression(QStringLiteral("Window id: (0x[0-9a-fA-F]+)"))
        .match(out)
        .captured(1)
        .toUInt(nullptr, 16);
}

quint32 focusedWindow() {
    QString out;
    return run(QStringLiteral("xdotool"), {"getwindowfocus"}, &out) ? out.trimmed().toUInt() : 0;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    return TestSupport::pollUntil(condition, timeoutMs, 50);
}

// Answers every request on loopback with one canned answer, and counts the requests `counts` accepts.
class CannedServer : public QObject {
public:
    int requests = 0;

    CannedServer(std::function<bool(const QByteArray&)> counts, QByteArray answer)
        : m_counts(std::move(counts))
        , m_answer(std::move(answer)) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (m_counts(socket->readAll()))
                        ++requests;
                    socket->write(m_answer);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    bool listening() const { return m_server.isListening(); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    std::function<bool(const QByteArray&)> m_counts;
    QByteArray m_answer;
    QTcpServer m_server;
};

// Serves one page and counts the requests for it.
struct PageServer : CannedServer {
    PageServer()
        : CannedServer([](const QByteArray& request) { return request.startsWith("GET / "); }, answer()) {}
    QString url() const { return CannedServer::url() + QLatin1Char('/'); }
    static QByteArray answer() {
        const QByteArray body = "<html><head><title>installed</title></head><body>ok</body></html>";
        return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
};

// A web proxy that refuses every request, so that an https request through it ends there.
struct RefusingProxy : CannedServer {
    RefusingProxy()
        : CannedServer([](const QByteArray& request) { return request.contains("\r\n\r\n"); },
                       "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n") {}
};

const QStringList kModules{"quillbay-camera.so", "quillbay-webpage.so", "quillbay-ocr.so",
                           "quillbay-sound.so",  "quillbay-secrets.so", "quillbay-heif.so"};
const QStringList kHelpers{"quillbay", "quillbay-swap", "quillbay-logkeeper", "quillbay-fetch"};

} // namespace

class tst_InstalledCopy : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QTemporaryDir m_prefix;
    QProcess m_program;
    QByteArray m_output;

    QString bin(const QString& name) const { return m_prefix.filePath("bin/" + name); }

    bool start() {
        m_output.clear();
        m_program.setProgram(bin("quillbay"));
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.start();
        return m_program.waitForStarted(10000) && waitUntil([] { return panelWindow() != 0; }, 30000);
    }
    void stop() {
        if (m_program.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_program.processId()), SIGTERM);
        if (!m_program.waitForFinished(10000))
            m_program.kill();
        m_program.waitForFinished(5000);
    }
    // Whether the running program has mapped the file (a loaded library).
    bool mapped(const QString& file) const {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(m_program.processId()));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(QFile::encodeName(file));
    }
    // Runs a command of the palette by its title, as typed by the user.
    bool palette(const QString& title) {
        if (!xdotool({"key", "ctrl+alt+k"}))
            return false;
        if (!waitUntil([] { return panelWindow() != 0 && focusedWindow() == panelWindow(); }, 15000))
            return false;
        return xdotool({"type", "--delay", "20", title}) && xdotool({"key", "Return"});
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        qputenv("LANGUAGE", "en");
        qputenv("LC_ALL", "C.UTF-8");
        QVERIFY(m_prefix.isValid());
        connect(&m_program, &QProcess::readyRead, this, [this] { m_output += m_program.readAll(); });
        QVERIFY2(xdotool({"version"}), "xdotool is needed");
        {
            // An installed copy checks the maker's host for updates and reports usage there; this one stays
            // on this machine.
            Defaults defaults(
                TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
            defaults.set(QStringLiteral("updateAutoCheck"), false);
            defaults.set(QStringLiteral("telemetryEnabled"), false);
        }
        QString out;
        QVERIFY2(run(QStringLiteral(QUILLBAY_CMAKE),
                     {"--install", QStringLiteral(QUILLBAY_BINARY_DIR), "--prefix", m_prefix.path()}, &out,
                     120000),
                 qPrintable(out));
    }
    void cleanup() {
        stop();
        // Automatic checks stay off but where a test turns them on, and only while its program runs.
        setAutoCheck(false);
    }
    static void setAutoCheck(bool on) {
        Defaults defaults(TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
        defaults.set(QStringLiteral("updateAutoCheck"), on);
    }

    void holdsTheProgramItsHelpersAndModules() {
        for (const QString& name : kHelpers)
            QVERIFY2(QFileInfo(bin(name)).isExecutable(), qPrintable(name));
        for (const QString& name : kModules)
            QVERIFY2(QFileInfo(bin(name)).isFile() && QFileInfo(bin(name)).size() > 0, qPrintable(name));
        QVERIFY(QFileInfo(m_prefix.filePath(".quillbay-bundle")).isFile());
        // What the release tool asks of a tree is what an install holds.
        QCOMPARE(Release::missingBesideProgram(m_prefix.path()), QStringList());
    }

    // The helpers run from the install folder: the swap helper answers bad arguments with its usage, and
    // the log keeper copies its input into the log it was given.
    void installedHelpersRun() {
        QString out;
        QVERIFY(!run(bin("quillbay-swap"), {}, &out));
        QVERIFY2(out.contains("usage: quillbay-swap"), qPrintable(out));

        const QString log = m_home->filePath("service.log");
        QProcess keeper;
        keeper.start(bin("quillbay-logkeeper"), {log, "1048576"});
        QVERIFY(keeper.waitForStarted(10000));
        keeper.write("from the installed keeper\n");
        keeper.closeWriteChannel();
        QVERIFY(keeper.waitForFinished(10000));
        QCOMPARE(keeper.exitCode(), 0);
        QVERIFY(waitUntil(
            [&] {
                QFile f(log);
                return f.open(QIODevice::ReadOnly) && f.readAll().contains("from the installed keeper");
            },
            15000));
    }

    // A program that has not recognised text, played its alert, read the keyring or converted a HEIF image
    // maps none of those modules, nor the libraries they bring; nor the TLS libraries once the launch's
    // update check has run, since the fetch helper made its request. The check goes to a loopback proxy
    // that refuses it, so nothing leaves the machine.
    void anIdleProgramMapsNoToolModule() {
        RefusingProxy proxy;
        QVERIFY(proxy.listening());
        setAutoCheck(true);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("https_proxy"), proxy.url());
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillbay.updates.debug=true"));
        m_program.setProcessEnvironment(env);
        const bool started = start();
        m_program.setProcessEnvironment(QProcessEnvironment(QProcessEnvironment::InheritFromParent));
        QVERIFY2(started, m_output.constData());
        QVERIFY2(waitUntil([this] { return m_output.contains("screen.frame="); }, 30000),
                 m_output.constData());
        QVERIFY2(waitUntil([this] { return m_output.contains("update check failed"); }, 60000),
                 m_output.constData());
        QVERIFY(proxy.requests > 0);
        QVERIFY2(!m_output.contains("no fetch helper"), m_output.constData());
        for (const QString& name :
             {QStringLiteral("quillbay-ocr.so"), QStringLiteral("quillbay-sound.so"),
              QStringLiteral("quillbay-secrets.so"), QStringLiteral("libtesseract"),
              QStringLiteral("libcanberra"), QStringLiteral("libsecret"), QStringLiteral("quillbay-heif.so"),
              QStringLiteral("libheif"), QStringLiteral("libx265"), QStringLiteral("libaom"),
              QStringLiteral("libdav1d"), QStringLiteral("libde265"), QStringLiteral("libcrypto"),
              QStringLiteral("libarchive"), QStringLiteral("libsqlite3"), QStringLiteral("libssl")})
            QVERIFY2(!mapped(name), qPrintable(name));
    }

    // Libraries that only a tool or the update path needs are opened when first used: the installed
    // program itself must not ask the loader for them at start.
    void theProgramLinksNoToolLibrary_data() {
        QTest::addColumn<QString>("library");
        for (const char* name :
             {"libcrypto", "libssl", "libheif", "libx265", "libaom", "libdav1d", "libde265", "libtesseract",
              "libcanberra", "libsecret", "libarchive", "libsqlite3"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void theProgramLinksNoToolLibrary() {
        QFETCH(QString, library);
        QProcess readelf;
        readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), bin(QStringLiteral("quillbay"))});
        if (!readelf.waitForFinished(30000) || readelf.exitCode() != 0)
            QSKIP("readelf is not available");
        const QByteArray dynamic = readelf.readAllStandardOutput();
        QVERIFY(dynamic.contains("libQt6Core.so")); // the listing is one of needed libraries
        QVERIFY2(!dynamic.contains("[" + library.toUtf8() + "."), dynamic.constData());
    }

    // The camera mirror, turned on from the palette, loads its module from the install folder. This
    // machine's X server has no camera: the failure must be that, never a module that cannot be loaded.
    void cameraModuleLoads() {
        QVERIFY2(start(), m_output.constData());
        QVERIFY(palette(QStringLiteral("Turn on the camera mirror")));
        QVERIFY2(waitUntil([this] { return mapped(bin("quillbay-camera.so")); }, 60000),
                 m_output.constData());
        const bool haveDevice = !QDir("/dev").entryList({"video*"}, QDir::System).isEmpty();
        if (!haveDevice)
            QVERIFY2(
                waitUntil([this] { return m_output.contains("camera not started: No camera found"); }, 60000),
                m_output.constData());
        QVERIFY2(!m_output.contains("could not be started"), m_output.constData());
        QVERIFY2(!m_output.contains("Cannot load library"), m_output.constData());
    }

    // A web tab, shown from the palette, loads the page module from the install folder and its page.
    void webPageModuleLoads() {
        PageServer page;
        QVERIFY(page.listening());
        CustomTab tab;
        tab.id = QUuid::createUuid();
        tab.name = QStringLiteral("Loopback page");
        tab.kind = CustomTab::Kind::web;
        tab.url = page.url();
        {
            Defaults defaults(
                TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
            defaults.set(QStringLiteral("customTabs"), QString::fromUtf8(CustomTabCodec::encode({tab})));
        }
        QVERIFY2(start(), m_output.constData());
        QVERIFY(palette(QStringLiteral("Go to Loopback page")));
        QVERIFY2(waitUntil([this] { return mapped(bin("quillbay-webpage.so")); }, 60000),
                 m_output.constData());
        QVERIFY2(waitUntil([&] { return page.requests > 0; }, 90000), m_output.constData());
        QVERIFY2(!m_output.contains("web tabs unavailable"), m_output.constData());
    }
};

QTEST_GUILESS_MAIN(tst_InstalledCopy)
#include "tst_InstalledCopy.moc"
