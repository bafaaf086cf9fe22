// The update check against a manifest served over loopback HTTPS: every outcome's text, the version and
// download-address rules, the 20-hour rule and the guards against overlapping checks.
#include "fakes/FakeClock.h"
#include "fakes/HttpsFixture.h"
#include "fakes/TestSupport.h"
#include "fakes/ThrowawayCA.h"
#include "services/Defaults.h"
#include "services/UpdateManifest.h"
#include "services/UpdateService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using Kind = UpdateStatus::Kind;

namespace {
const QString kNoTrustedDownload =
    "Version 1.3.0 is out, but the update server gave no download Quillbay can trust. Try again later.";
const QString kUnreachable =
    "Couldn't reach the update server. Check that this computer is online, then try again.";
} // namespace

class tst_UpdateCheck : public QObject {
    Q_OBJECT

    ThrowawayCA m_ca;
    std::unique_ptr<HttpsFixture> m_server;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;

    UpdateService::Config config(const QString& version = "1.2.3") const {
        UpdateService::Config c;
        c.host = m_server->authority();
        c.currentVersion = version;
        c.workDir = m_home->filePath("work");
        c.installDir = m_home->filePath("install");
        // Set when this run goes through the fetch helper.
        c.fetchHelper = qEnvironmentVariable("QUILLBAY_TEST_FETCH_HELPER");
        return c;
    }
    static QByteArray manifestJson(const QString& version, const QString& url, const QString& sha,
                                   const QJsonObject& extra = {}) {
        QJsonObject o = extra;
        o.insert("version", version);
        o.insert("url", url);
        o.insert("sha256", sha);
        return QJsonDocument(o).toJson(QJsonDocument::Compact);
    }
    QByteArray good(const QString& version, const QJsonObject& extra = {}) const {
        return manifestJson(version, m_server->url("/downloads/q.tar.xz"), QString(64, 'a'), extra);
    }
    // Runs one check and waits for its end.
    UpdateStatus checkOnce(UpdateService& updates) {
        updates.check();
        if (!QTest::qWaitFor([&] { return !updates.status().is(Kind::checking); }, 20000))
            return UpdateStatus::checking();
        return updates.status();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_ca.make());
        // The fetch helper, a process of its own, learns of the authority through the standard variable.
        qputenv("SSL_CERT_FILE", m_ca.caFile().toLocal8Bit());
        m_server = std::make_unique<HttpsFixture>(m_ca.certFile(), m_ca.keyFile());
        QVERIFY(m_server->ok());
    }
    void init() {
        m_server->clear();
        m_home = std::make_unique<QTemporaryDir>();
        m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
    }

    void manifest_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text"); // the error text, or the offered sha256 / notes
        const QString hash(64, 'a');
        auto body = [](const QString& v, const QString& url, const QString& sha) {
            return manifestJson(v, url, sha);
        };
        const QString url = "https://" + m_server->authority() + "/downloads/q.tar.xz";
        QTest::newRow("newer") << 200 << good("1.3.0") << int(Kind::available) << "";
        QTest::newRow("newer with notes")
            << 200 << good("1.3.0", {{"notes", "Faster"}}) << int(Kind::available) << "Faster";
        QTest::newRow("notes not a string")
            << 200 << good("1.3.0", {{"notes", 5}}) << int(Kind::available) << "";
        QTest::newRow("same version") << 200 << good("1.2.3") << int(Kind::upToDate) << "";
        QTest::newRow("older") << 200 << good("1.2.2") << int(Kind::upToDate) << "";
        QTest::newRow("leading zeros") << 200 << good("01.02.004") << int(Kind::available) << "";
        QTest::newRow("two parts")
            << 200 << good("1.3") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 200). Try again later.";
        QTest::newRow("four parts")
            << 200 << good("1.3.0.1") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 200). Try again later.";
        QTest::newRow("trailing newline")
            << 200 << good("1.3.0\n") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 200). Try again later.";
        QTest::newRow("version a number")
            << 200 << QByteArray("{\"version\":130}") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 200). Try again later.";
        QTest::newRow("not json")
            << 200 << QByteArray("<html>") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 200). Try again later.";
        QTest::newRow("json array")
            << 200 << QByteArray("[1]") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 200). Try again later.";
        QTest::newRow("empty body")
            << 200 << QByteArray() << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 200). Try again later.";
        QTest::newRow("server error")
            << 500 << good("9.9.9") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 500). Try again later.";
        QTest::newRow("not found")
            << 404 << QByteArray("gone") << int(Kind::error)
            << "The update server\'s answer couldn't be used (HTTP 404). Try again later.";
        QTest::newRow("scheme in capitals")
            << 200 << body("1.3.0", "HTTPS://" + m_server->authority() + "/downloads/q", hash)
            << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("plain http") << 200
                                    << body("1.3.0", "http://" + m_server->authority() + "/downloads/q", hash)
                                    << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("another host")
            << 200
            << body("1.3.0", "https://127.0.0.2:" + QString::number(m_server->port()) + "/downloads/q", hash)
            << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("another port") << 200 << body("1.3.0", "https://127.0.0.1:1/downloads/q", hash)
                                      << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("outside downloads")
            << 200 << body("1.3.0", "https://" + m_server->authority() + "/files/q", hash) << int(Kind::error)
            << kNoTrustedDownload;
        QTest::newRow("dot-dot out of downloads")
            << 200 << body("1.3.0", "https://" + m_server->authority() + "/downloads/%2e%2e/secret", hash)
            << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("url missing")
            << 200 << QJsonDocument(QJsonObject{{"version", "1.3.0"}, {"sha256", hash}}).toJson()
            << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("63 digit hash")
            << 200 << body("1.3.0", url, QString(63, 'a')) << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("hash with newline")
            << 200 << body("1.3.0", url, hash + "\n") << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("hash not hex")
            << 200 << body("1.3.0", url, QString(64, 'g')) << int(Kind::error) << kNoTrustedDownload;
        QTest::newRow("capital hash lower-cased")
            << 200 << body("1.3.0", url, QString(64, 'A')) << int(Kind::available) << "";
    }
    void manifest() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(QString, text);
        m_server->set("/version.json", status, body);
        UpdateService updates(*m_defaults, m_clock, config());
        std::optional<TestSupport::LogCapture> capture(std::in_place);
        const UpdateStatus s = checkOnce(updates);
        const QStringList log = capture->lines();
        capture.reset();
        QCOMPARE(int(s.kind), kind);
        // Every manifest that brings no offer says why in the log, once.
        if (s.is(Kind::error))
            QVERIFY2(log.size() == 1 && log.first().startsWith("[Quillbay] update ") &&
                         log.first().contains("not installed: "),
                     qPrintable(log.join('\n')));
        if (s.is(Kind::error))
            QCOMPARE(s.message, text);
        if (s.is(Kind::available)) {
            QCOMPARE(s.sha256, QString(64, 'a'));
            QCOMPARE(s.notes, text);
            QCOMPARE(s.downloadURL.path(), QStringLiteral("/downloads/q.tar.xz"));
        }
        // Every reply stamps the check, whatever it said.
        QCOMPARE(m_defaults->string("updateLastCheck").value_or(QString()),
                 m_clock.now().toUTC().toString(Qt::ISODateWithMs));
    }

    // Why a manifest cannot be used, for the log: the server's own text bounded and made printable.
    void unusableManifestSaysWhy_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("empty") << QByteArray() << "the manifest is empty";
        QTest::newRow("not JSON") << QByteArray("<html>")
                                  << "the manifest is not JSON (illegal value at byte 1)";
        QTest::newRow("cut short") << QByteArray("{\"version\":")
                                   << "the manifest is not JSON (unterminated object at byte 11)";
        QTest::newRow("an array") << QByteArray("[\"1.3.0\"]") << "the manifest is not a JSON object";
        QTest::newRow("no version") << QByteArray("{}") << "the manifest names no version";
        QTest::newRow("version null") << QByteArray("{\"version\":null}") << "the manifest names no version";
        QTest::newRow("version a number")
            << QByteArray("{\"version\":1.3}") << "the manifest's version is not a string";
        QTest::newRow("two parts") << QByteArray("{\"version\":\"0.2\"}")
                                   << "the manifest's version \"0.2\" is not three numbers joined by dots";
        QTest::newRow("control characters") << QByteArray("{\"version\":\"1.3.0\\n\\u001b[31m\"}")
                                            << "the manifest's version \"1.3.0??[31m\" is not three numbers "
                                               "joined by dots";
        QTest::newRow("long") << QByteArray("{\"version\":\"" + QByteArray(500, '9') + "\"}")
                              << "the manifest's version \"" + QString(40, '9') +
                                     "...\" is not three numbers joined by dots";
    }
    void unusableManifestSaysWhy() {
        QFETCH(QByteArray, body);
        QFETCH(QString, refusal);
        const UpdateManifest::Offer offer =
            UpdateManifest::read(body, QUrl("https://" + m_server->authority() + "/version.json"));
        QCOMPARE(int(offer.kind), int(UpdateManifest::Offer::Kind::unusable));
        QCOMPARE(offer.refusal, refusal);
    }

    // A check that gets no answer says in plain words what failed and what the user can do; the raw
    // error of the network library is not shown.
    void failuresInPlainWords_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("text");
        // A port nothing listens on.
        QTest::newRow("refused") << "127.0.0.1:1" << kUnreachable;
        // A server whose certificate does not name the address it is reached at.
        QTest::newRow("certificate refused")
            << ""
            << "Couldn't open a secure connection to the update server: its certificate was not accepted. "
               "Check that this computer's date and time are right, and whether a proxy or firewall "
               "intercepts secure connections, then try again.";
    }
    void failuresInPlainWords() {
        QFETCH(QString, host);
        QFETCH(QString, text);
        std::unique_ptr<HttpsFixture> stranger;
        UpdateService::Config c = config();
        if (host.isEmpty()) {
            stranger = std::make_unique<HttpsFixture>(m_ca.certFile(), m_ca.keyFile(), "127.0.0.3");
            QVERIFY(stranger->ok());
            stranger->set("/version.json", 200, good("9.9.9"));
            host = stranger->authority();
        }
        c.host = host;
        UpdateService updates(*m_defaults, m_clock, c);
        const UpdateStatus s = checkOnce(updates);
        QVERIFY(s.is(Kind::error));
        QCOMPARE(s.message, text);
        QVERIFY(!s.quiet); // asked for by the user: shown as an error
        QVERIFY(m_defaults->contains("updateLastCheck"));
        if (stranger)
            QCOMPARE(stranger->hits("/version.json"), 0);
    }

    // An automatic check that fails tells it quietly: the next check tries again.
    void failedAutomaticCheckIsQuiet() {
        UpdateService::Config c = config();
        c.host = "127.0.0.1:1";
        UpdateService updates(*m_defaults, m_clock, c);
        updates.checkIfDue();
        QVERIFY(QTest::qWaitFor([&] { return updates.status().is(Kind::error); }, 20000));
        QVERIFY(updates.status().quiet);
        QCOMPARE(updates.status().message, "Couldn't reach the update server. Quillbay checks again later.");
        // The same failure, asked for by the user, is an error with its advice.
        const UpdateStatus asked = checkOnce(updates);
        QVERIFY(!asked.quiet);
        QCOMPARE(asked.message, kUnreachable);
    }

    void oversizedManifest() {
        m_server->set("/version.json", 200, good("1.3.0", {{"notes", QString(70000, 'x')}}));
        UpdateService updates(*m_defaults, m_clock, config());
        const UpdateStatus s = checkOnce(updates);
        QVERIFY(s.is(Kind::error));
        QCOMPARE(s.message, "The update server's answer couldn't be used. Try again later.");
    }

    void noCurrentVersion() {
        m_server->set("/version.json", 200, good("0.0.1"));
        UpdateService updates(*m_defaults, m_clock, config("0.0.0"));
        QVERIFY(checkOnce(updates).is(Kind::available));
        m_server->set("/version.json", 200, good("0.0.0"));
        QVERIFY(checkOnce(updates).is(Kind::upToDate));
    }

    void overlappingChecks() {
        m_server->set("/version.json", 200, good("1.3.0"));
        UpdateService updates(*m_defaults, m_clock, config());
        QSignalSpy started(&updates, &UpdateService::checkStarted);
        updates.check();
        updates.check(); // refused: one is under way
        QCOMPARE(started.count(), 1);
        QVERIFY(QTest::qWaitFor([&] { return updates.status().is(Kind::available); }, 20000));
        QCOMPARE(m_server->hits("/version.json"), 1);
        updates.check(); // allowed again from `available`
        QCOMPARE(started.count(), 2);
        QVERIFY(QTest::qWaitFor([&] { return !updates.status().is(Kind::checking); }, 20000));
    }

    void refusedWhileDownloading() {
        // An offered version whose download never answers keeps the service in `downloading`.
        m_server->set("/version.json", 200, good("1.3.0"));
        UpdateService updates(*m_defaults, m_clock, config());
        QVERIFY(checkOnce(updates).is(Kind::available));
        m_server->set("/downloads/q.tar.xz",
                      HttpsFixture::Answer{200, std::string(10, 'x'), "application/x-xz", {}, {}});
        updates.downloadAndInstall();
        QVERIFY(updates.status().is(Kind::downloading));
        QSignalSpy started(&updates, &UpdateService::checkStarted);
        updates.check();
        QCOMPARE(started.count(), 0);
        updates.downloadAndInstall(); // a second press changes nothing
        QVERIFY(updates.status().is(Kind::downloading));
        QVERIFY(QTest::qWaitFor([&] { return updates.status().is(Kind::error); }, 20000));
        QCOMPARE(updates.status().message,
                 QStringLiteral("The update checksum didn't match and was discarded."));
        QCOMPARE(m_server->hits("/downloads/q.tar.xz"), 1);
    }

    void downloadOnlyFromAvailable() {
        UpdateService updates(*m_defaults, m_clock, config());
        QSignalSpy changed(&updates, &UpdateService::statusChanged);
        updates.downloadAndInstall();
        QCOMPARE(changed.count(), 0);
        QVERIFY(updates.status().is(Kind::idle));
    }

    void autoCheckIsStored() {
        UpdateService updates(*m_defaults, m_clock, config());
        QVERIFY(updates.autoCheck());
        QSignalSpy changed(&updates, &UpdateService::autoCheckChanged);
        updates.setAutoCheck(false);
        updates.setAutoCheck(false);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_defaults->object("updateAutoCheck"), QJsonValue(false));
        UpdateService again(*m_defaults, m_clock, config());
        QVERIFY(!again.autoCheck());
        QSignalSpy started(&again, &UpdateService::checkStarted);
        again.checkIfDue();
        QCOMPARE(started.count(), 0);
    }

    void dueAfterFailedCheck() {
        // A failed check postpones the next automatic one by the full period.
        UpdateService::Config c = config();
        c.host = "127.0.0.1:1";
        UpdateService updates(*m_defaults, m_clock, c);
        QSignalSpy started(&updates, &UpdateService::checkStarted);
        updates.checkIfDue();
        QCOMPARE(started.count(), 1);
        QVERIFY(QTest::qWaitFor([&] { return updates.status().is(Kind::error); }, 20000));
        m_clock.advanceMs(qint64(UpdateService::kCheckIntervalSeconds) * 1000);
        updates.checkIfDue();
        QCOMPARE(started.count(), 1);
        m_clock.advanceMs(1000);
        updates.checkIfDue();
        QCOMPARE(started.count(), 2);
        QVERIFY(QTest::qWaitFor([&] { return updates.status().is(Kind::error); }, 20000));
    }

    void isVersion_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("newer");
        QTest::newRow("minor by number not text") << "1.10.0"
                                                  << "1.9.9" << true;
        QTest::newRow("missing part is zero") << "1.2"
                                              << "1.2.0" << false;
        QTest::newRow("extra zero part") << "1.2.0.0"
                                         << "1.2" << false;
        QTest::newRow("extra part") << "1.2.0.1"
                                    << "1.2" << true;
        QTest::newRow("suffix dropped") << "1.2.3"
                                        << "1.2.3-beta" << false;
        QTest::newRow("against empty") << "0.0.1"
                                       << "" << true;
        QTest::newRow("empty pieces dropped") << "1..2"
                                              << "1.2" << false;
        QTest::newRow("equal") << "2.0.0"
                               << "2.0.0" << false;
        QTest::newRow("older") << "1.0.0"
                               << "1.0.1" << false;
        QTest::newRow("letters dropped") << "v2.0.0"
                                         << "1.9.9" << true;
        QTest::newRow("sign dropped") << "-2.0.0"
                                      << "1.0.0" << true;
        QTest::newRow("beyond 64 bits is 0") << "99999999999999999999.0.0"
                                             << "1.0.0" << false;
        QTest::newRow("largest 64-bit") << "9223372036854775807"
                                        << "9223372036854775806" << true;
        QTest::newRow("arabic-indic digits are 0") << QString::fromUtf8("\u0661.0.0") << "0.0.1" << false;
        QTest::newRow("leading zeros") << "01.002.3"
                                       << "1.2.3" << false;
    }
    void isVersion() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, newer);
        QCOMPARE(UpdateService::isVersion(a, b), newer);
    }

    void trustedURL_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("good") << "https://maker.test/downloads/q.tar.xz" << true;
        QTest::newRow("http") << "http://maker.test/downloads/q.tar.xz" << false;
        QTest::newRow("no scheme") << "//maker.test/downloads/q.tar.xz" << false;
        QTest::newRow("other host") << "https://other.test/downloads/q.tar.xz" << false;
        QTest::newRow("sub-domain") << "https://a.maker.test/downloads/q.tar.xz" << false;
        QTest::newRow("explicit default port") << "https://maker.test:443/downloads/q" << true;
        QTest::newRow("other port") << "https://maker.test:8443/downloads/q" << false;
        QTest::newRow("no slash after folder") << "https://maker.test/downloadsX/q" << false;
        QTest::newRow("folder itself") << "https://maker.test/downloads/" << true;
        QTest::newRow("encoded path") << "https://maker.test/%64ownloads/q" << true;
        QTest::newRow("dot-dot") << "https://maker.test/downloads/../version.json" << false;
        QTest::newRow("encoded dot-dot") << "https://maker.test/downloads/%2E%2E/x" << false;
        QTest::newRow("user info host trick") << "https://maker.test@other.test/downloads/q" << false;
    }
    void trustedURL() {
        QFETCH(QString, url);
        QFETCH(bool, trusted);
        QCOMPARE(UpdateService::isTrustedDownloadURL(QUrl(url), QUrl("https://maker.test/version.json")),
                 trusted);
    }
};

QTEST_GUILESS_MAIN(tst_UpdateCheck)
#include "tst_UpdateCheck.moc"
