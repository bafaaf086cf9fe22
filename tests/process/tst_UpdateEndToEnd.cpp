// The whole update over loopback HTTPS with a certificate authority made for the run: a newer signed
// release is checked, downloaded, verified, unpacked, swapped in by the helper and started; every
// refused case shows its text, logs its reason and leaves the installed program as it was.
#include "Release.h"
#include "fakes/FakeClock.h"
#include "fakes/HttpsFixture.h"
#include "fakes/ReadOnlyFolder.h"
#include "fakes/SmallDisk.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "fakes/ThrowawayCA.h"
#include "fakes/UpdateFixtures.h"
#include "platform/FolderSwap.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "services/Defaults.h"
#include "services/Minisign.h"
#include "services/UpdateInstaller.h"
#include "services/UpdateService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>

using Entry = Release::Entry;
using Kind = UpdateStatus::Kind;

class tst_UpdateEndToEnd : public QObject {
    Q_OBJECT

    ThrowawayCA m_ca;
    std::unique_ptr<HttpsFixture> m_server;
    std::unique_ptr<HttpsFixture> m_other; // 127.0.0.2: "another host"
    Minisign::SecretKey m_key = Minisign::generate();
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;
    PosixServiceLauncher m_launcher; // starts the real swap helper
    bool m_quit = false;
    QStringList m_launched;
    std::optional<TestSupport::LogCapture> m_capture;
    std::optional<SmallDisk> m_disk;
    QByteArray m_manifest;            // what publish() serves as /version.json
    std::optional<QByteArray> m_home; // the HOME a test replaced

    QString path(const QString& n) const { return m_dir->filePath(n); }
    QString installDir() const { return path("opt/Quillbay"); }
    QString ranFile() const { return path("ran.txt"); }
    QStringList workEntries() const {
        QStringList names =
            QDir(path("cache/update")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        names.removeAll(FolderSwap::kLockName);
        return names;
    }

    static bool writeFile(const QString& p, const QByteArray& data, bool exec = false) {
        return UpdateFixtures::writeFile(p, data, exec);
    }
    static QByteArray readFile(const QString& p) { return UpdateFixtures::readFile(p); }
    // A program that notes which copy of it ran.
    QByteArray program(const QByteArray& name, int exitCode = 0) const {
        return UpdateFixtures::program(ranFile(), name, exitCode);
    }
    QList<Entry> tree(const QByteArray& name = "new", int exitCode = 0) const {
        return {{"Quillbay/", {}, Entry::Type::folder, 0755, {}},
                {"Quillbay/.quillbay-bundle", "x\n", Entry::Type::file, 0644, {}},
                {"Quillbay/bin/quillbay", program(name, exitCode), Entry::Type::file, 0755, {}},
                {"Quillbay/share/readme", "r", Entry::Type::file, 0644, {}}};
    }
    struct Release_ {
        QString version = "1.3.0";
        QList<Entry> entries;
        QByteArray comment;                        // default: the team and the version
        std::optional<Minisign::SecretKey> signer; // default: the built-in key's
        bool tamper = false;                       // change a byte after signing, hash the changed bytes
        bool wrongHash = false;
        bool noSignature = false;
        bool cut = false; // the connection ends half-way through the archive
    };
    // Serves a release under /downloads/ and its manifest.
    [[nodiscard]] bool publish(const Release_& r) {
        return TestSupport::passes([&] {
            const QString name = Release::archiveName(r.version);
            const QString archive = path("srv/" + name);
            QDir().mkpath(path("srv"));
            QString error;
            QVERIFY2(Release::writeArchive(archive, r.entries.isEmpty() ? tree() : r.entries, &error),
                     qPrintable(error));
            const QByteArray comment =
                r.comment.isEmpty() ? "team=R4KD9QZ2MX version=" + r.version.toUtf8() : r.comment;
            const auto sig = Minisign::signFile(r.signer.value_or(m_key), archive, comment);
            QVERIFY(sig);
            if (r.tamper) {
                QFile f(archive);
                QVERIFY(f.open(QIODevice::ReadWrite));
                f.seek(f.size() / 2);
                const char c = f.peek(1).at(0);
                f.write(QByteArray(1, char(c ^ 0x40)));
            }
            const QString sha = r.wrongHash ? QString(64, 'b') : Release::sha256File(archive);
            HttpsFixture::Answer download{200, {}, {}, {}, archive.toStdString()};
            if (r.cut)
                download.cutAfter = size_t(QFileInfo(archive).size() / 2);
            m_server->set("/downloads/" + name.toStdString(), download);
            if (!r.noSignature)
                m_server->set("/downloads/" + name.toStdString() + ".minisig", 200, *sig, "text/plain");
            m_manifest = QJsonDocument(QJsonObject{{"version", r.version},
                                                   {"url", m_server->url("/downloads/" + name)},
                                                   {"sha256", sha}})
                             .toJson();
            m_server->set("/version.json", 200, m_manifest);
        });
    }

    // With `launch` false the script is recorded instead of started.
    std::unique_ptr<UpdateService> service(bool launch = true) {
        UpdateService::Config c;
        c.host = m_server->authority();
        c.publicKey = Minisign::publicKeyFile(m_key);
        c.currentVersion = "1.2.0";
        c.installDir = installDir();
        c.workDir = path("cache/update");
        c.fetchHelper = qEnvironmentVariable("QUILLBAY_TEST_FETCH_HELPER"); // set for the helper's run
        c.pid = UpdateFixtures::endedPid();
        c.helper = QUILLBAY_SWAP;
        c.launcher = &m_launcher;
        c.quit = [this] { m_quit = true; };
        if (!launch)
            c.startDetached = [this](const QString&, const QStringList& args, int) {
                m_launched = args;
                return true;
            };
        return std::make_unique<UpdateService>(*m_defaults, m_clock, c);
    }
    // Checks, and installs when offered; returns the final status.
    UpdateStatus run(UpdateService& updates) {
        updates.check();
        if (!QTest::qWaitFor([&] { return !updates.status().is(Kind::checking); }, 20000))
            return updates.status();
        if (!updates.status().is(Kind::available))
            return updates.status();
        updates.downloadAndInstall();
        (void)QTest::qWaitFor([&] { return m_quit || updates.status().is(Kind::error); }, 60000);
        return updates.status();
    }
    // Bytes that xz cannot squeeze.
    static QByteArray noise(qsizetype size, quint32 seed = 7) {
        QByteArray out(size, Qt::Uninitialized);
        for (char& c : out)
            c = char((seed = seed * 1103515245u + 12345u) >> 24);
        return out;
    }
    QStringList log() const { return m_capture ? m_capture->lines() : QStringList(); }
    // The log lines that start with `prefix`.
    QStringList logged(const QString& prefix) const {
        QStringList out;
        for (const QString& l : log())
            if (l.startsWith(prefix))
                out << l;
        return out;
    }
    // The test's folder stands for the home folder, so folders in the texts read "~/...".
    void homeIsTestFolder() {
        m_home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(m_dir->path()));
    }
    [[nodiscard]] bool expectOldInstall() {
        return TestSupport::passes([&] {
            QCOMPARE(readFile(installDir() + "/bin/quillbay"), program("old"));
            QVERIFY(!QFileInfo::exists(installDir() + ".new"));
            QVERIFY(!m_quit);
            // Nothing of the attempt is left in the private folder.
            QCOMPARE(workEntries(), QStringList());
        });
    }

private slots:
    void initTestCase() {
        QVERIFY(m_ca.make());
        // The fetch helper, a process of its own, learns of the authority through the standard variable.
        qputenv("SSL_CERT_FILE", m_ca.caFile().toLocal8Bit());
        m_server = std::make_unique<HttpsFixture>(m_ca.certFile(), m_ca.keyFile(), "127.0.0.1");
        m_other = std::make_unique<HttpsFixture>(m_ca.certFile(), m_ca.keyFile(), "127.0.0.2");
        QVERIFY(m_server->ok() && m_other->ok());
    }
    void init() {
        m_server->clear();
        m_other->clear();
        m_quit = false;
        m_launched.clear();
        m_capture.emplace();
        m_dir = std::make_unique<QTemporaryDir>();
        m_defaults = std::make_unique<Defaults>(path("defaults.json"));
        QVERIFY(writeFile(installDir() + "/.quillbay-bundle", "1.2.0\n"));
        QVERIFY(writeFile(installDir() + "/bin/quillbay", program("old"), true));
    }

    void cleanup() {
        m_capture.reset();
        m_disk.reset();
        if (m_home)
            qputenv("HOME", *m_home);
        m_home.reset();
    }

    void newerReleaseInstallsAndStarts() {
        // Made by the release tool itself, with a key file as minisign writes it.
        // The release tool packs only a program built at the version it is given.
        const QByteArray newProgram = program("new") + "# quillbay-version=1.3.0\n";
        QVERIFY(writeFile(path("release/tree/bin/quillbay"), newProgram, true));
        for (const char* helper : {"quillbay-swap", "quillbay-logkeeper", "quillbay-fetch"})
            QVERIFY(writeFile(path("release/tree/bin/") + helper, "#!/bin/sh\n", true));
        for (const char* module : {"quillbay-camera.so", "quillbay-webpage.so", "quillbay-ocr.so",
                                   "quillbay-sound.so", "quillbay-secrets.so", "quillbay-heif.so"})
            QVERIFY(writeFile(path("release/tree/bin/") + module, "module"));
        QVERIFY(writeFile(path("release/tree/share/quillbay/data"), QByteArray(100000, 'd')));
        QVERIFY(writeFile(path("release/k.sec"), Minisign::secretKeyFile(m_key)));
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QUILLBAY_RELEASE,
                   {"--tree", path("release/tree"), "--version", "1.3.0", "--key", path("release/k.sec"),
                    "--out", path("release/out"), "--url-base", m_server->url("/downloads/")});
        QVERIFY(tool.waitForFinished(60000));
        QVERIFY2(tool.exitCode() == 0, tool.readAll().constData());
        const QString name = Release::archiveName("1.3.0");
        m_server->set("/version.json", 200, readFile(path("release/out/version.json")));
        m_server->set("/downloads/" + name.toStdString(),
                      HttpsFixture::Answer{200, {}, {}, {}, path("release/out/" + name).toStdString()});
        m_server->set("/downloads/" + name.toStdString() + ".minisig", 200,
                      readFile(path("release/out/" + name + ".minisig")), "text/plain");
        m_defaults->set("pending", true); // must be on disk before the swap

        auto updates = service();
        QList<Kind> seen;
        connect(updates.get(), &UpdateService::statusChanged, this, [&] { seen << updates->status().kind; });
        QList<int> progress;
        connect(updates.get(), &UpdateService::installProgressChanged, this,
                [&] { progress << updates->installProgress(); });
        const UpdateStatus s = run(*updates);
        QVERIFY2(m_quit, qPrintable(s.message));
        // Unpacking told how far it came, from 0 to 100 %, and ended with the install.
        QVERIFY2(progress.size() >= 3 && progress.first() == 0 && progress.last() == -1 &&
                     progress.value(progress.size() - 2) == 100,
                 qPrintable(QString::number(progress.size())));
        for (qsizetype i = 1; i + 1 < progress.size(); ++i)
            QVERIFY(progress[i] > progress[i - 1]);
        QCOMPARE(seen, (QList<Kind>{Kind::checking, Kind::available, Kind::downloading, Kind::installing}));
        QVERIFY(readFile(path("defaults.json")).contains("pending"));
        // The script swaps the folders and starts the new program, then drops the old copy.
        QVERIFY(QTest::qWaitFor([&] { return readFile(ranFile()) == "new\n"; }, 30000));
        QVERIFY(QTest::qWaitFor([&] { return !QFileInfo::exists(installDir() + ".old"); }, 30000));
        QCOMPARE(readFile(installDir() + "/bin/quillbay"), newProgram);
        QCOMPARE(readFile(installDir() + "/share/quillbay/data"), QByteArray(100000, 'd'));
        QVERIFY(QFileInfo(installDir() + "/.quillbay-bundle").isFile());
        QVERIFY(!QFileInfo::exists(installDir() + ".new"));
        // Only the lock stays behind, no longer held; the archive is gone.
        QCOMPARE(workEntries(), QStringList());
        QVERIFY(QTest::qWaitFor(
            [&] {
                const int fd = FolderSwap::takeLock(
                    QFile::encodeName(path("cache/update/") + FolderSwap::kLockName).toStdString(), -1);
                if (fd >= 0)
                    ::close(fd);
                return fd >= 0;
            },
            30000));
    }

    void refused_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("text");
        const QString security = "This update failed the security check and was discarded.";
        QTest::newRow("tampered archive") << 0 << security;
        QTest::newRow("wrong checksum") << 1 << "The update checksum didn't match and was discarded.";
        QTest::newRow("signed by another key") << 2 << security;
        QTest::newRow("no signature file") << 3 << security;
        QTest::newRow("older signed version")
            << 4 << "This update isn't signed by Quillbay and was discarded.";
        QTest::newRow("other team") << 5 << "This update isn't signed by Quillbay and was discarded.";
        QTest::newRow("manifest url on another host") << 6
                                                      << "Version 1.3.0 is out, but the update server gave "
                                                         "no download Quillbay can trust. Try again later.";
        QTest::newRow("redirect to another host") << 7 << "Download failed";
        QTest::newRow("download 404") << 8 << "The update checksum didn't match and was discarded.";
        QTest::newRow("manifest 500")
            << 9 << "The update server's answer couldn't be used (HTTP 500). Try again later.";
        const QString unsafe = "This update contains unsafe files and was discarded.";
        QTest::newRow("dot-dot entry") << 10 << unsafe;
        QTest::newRow("absolute entry") << 11 << unsafe;
        QTest::newRow("no Quillbay folder") << 12 << "The update doesn't contain the app.";
        QTest::newRow("read-only parent") << 13 << "Couldn't prepare the installer.";
        QTest::newRow("install folder without marker") << 14 << "Couldn't prepare the installer.";
        QTest::newRow("download cut short") << 15 << "The download was interrupted. Try again.";
        QTest::newRow("not an archive") << 16 << "Couldn't open the update file.";
        QTest::newRow("signature redirected to another host") << 17 << security;
        const QString untrusted = "Version 1.3.0 is out, but the update server gave no download Quillbay can "
                                  "trust. Try again later.";
        QTest::newRow("manifest url over http") << 18 << untrusted;
        QTest::newRow("manifest url on another port") << 19 << untrusted;
    }
    void refused() {
        QFETCH(int, which);
        QFETCH(QString, text);
        Release_ r;
        std::optional<ReadOnlyFolder> readOnly;
        switch (which) {
        case 0:
            r.tamper = true;
            break;
        case 1:
            r.wrongHash = true;
            break;
        case 2:
            r.signer = Minisign::generate();
            break;
        case 3:
            r.noSignature = true;
            break;
        case 4:
            r.comment = "team=R4KD9QZ2MX version=1.2.5";
            break;
        case 5:
            r.comment = "team=AAAAAAAAAA version=1.3.0";
            break;
        case 10:
            r.entries = tree();
            r.entries << Entry{"Quillbay/../../../evil", "x", Entry::Type::file, 0644, {}};
            break;
        case 11:
            r.entries = tree();
            r.entries << Entry{path("evil"), "x", Entry::Type::file, 0644, {}};
            break;
        case 12:
            r.entries = {{"Other/bin/quillbay", program("new"), Entry::Type::file, 0755, {}}};
            break;
        case 15:
            r.cut = true;
            break;
        default:
            break;
        }
        QVERIFY(publish(r));
        const std::string archive = "/downloads/" + Release::archiveName("1.3.0").toStdString();
        if (which == 6) {
            m_server->set("/version.json", 200,
                          QJsonDocument(QJsonObject{{"version", "1.3.0"},
                                                    {"url", m_other->url(QString::fromStdString(archive))},
                                                    {"sha256", QString(64, 'a')}})
                              .toJson());
        } else if (which == 7) {
            m_other->set(archive, HttpsFixture::Answer{200, "x", "text/plain", {}, {}});
            m_server->set(archive,
                          HttpsFixture::Answer{
                              302, {}, {}, m_other->url(QString::fromStdString(archive)).toStdString(), {}});
        } else if (which == 17) {
            const std::string signature = archive + ".minisig";
            m_other->set(signature, 200, "untrusted comment: x\n", "text/plain");
            m_server->set(
                signature,
                HttpsFixture::Answer{
                    302, {}, {}, m_other->url(QString::fromStdString(signature)).toStdString(), {}});
        } else if (which == 18 || which == 19) {
            const QString name = QString::fromStdString(archive);
            const QString url = which == 18
                                    ? "http://" + m_server->authority() + name
                                    : QString("https://127.0.0.1:%1%2").arg(m_server->port() + 1).arg(name);
            m_server->set(
                "/version.json", 200,
                QJsonDocument(QJsonObject{{"version", "1.3.0"}, {"url", url}, {"sha256", QString(64, 'a')}})
                    .toJson());
        } else if (which == 8) {
            m_server->set(archive, HttpsFixture::Answer{404, "<html>not found</html>", "text/html", {}, {}});
        } else if (which == 9) {
            m_server->set("/version.json", 500, "{\"version\":\"9.9.9\"}");
        } else if (which == 13) {
            readOnly.emplace(path("opt"));
            if (!readOnly->works())
                QSKIP("no way to make a folder read-only here");
        } else if (which == 14) {
            QVERIFY(QFile::remove(installDir() + "/.quillbay-bundle"));
        } else if (which == 16) {
            // Signed and published as it is, but not a tar archive.
            const QString name = Release::archiveName("1.3.0");
            QVERIFY(writeFile(path("srv/" + name), "signed, but not an archive"));
            m_server->set("/downloads/" + name.toStdString() + ".minisig", 200,
                          *Minisign::signFile(m_key, path("srv/" + name), "team=R4KD9QZ2MX version=1.3.0"),
                          "text/plain");
            m_server->set("/version.json", 200,
                          QJsonDocument(QJsonObject{{"version", "1.3.0"},
                                                    {"url", m_server->url("/downloads/" + name)},
                                                    {"sha256", Release::sha256File(path("srv/" + name))}})
                              .toJson());
        }
        auto updates = service(false);
        const UpdateStatus s = run(*updates);
        readOnly.reset();
        QVERIFY(s.is(Kind::error));
        QCOMPARE(s.message, text);
        QCOMPARE(updates->installProgress(), -1);
        QVERIFY(expectOldInstall());
        QVERIFY(!QFileInfo::exists(path("evil")) && !QFileInfo::exists(m_dir->filePath("../evil")));
        // A redirect elsewhere is refused before anything is asked of the other host.
        QCOMPARE(m_other->hits(archive), 0);
        QCOMPARE(m_other->hits(archive + ".minisig"), 0);
        QVERIFY(m_launched.isEmpty());
        // Every refusal of an offer logs why, also one refused for its download address, and never the
        // archive's names.
        if (which != 9) {
            const QString prefix = "[Quillbay] update 1.3.0 not installed: ";
            const QStringList lines = log();
            QVERIFY2(std::any_of(lines.begin(), lines.end(),
                                 [&](const QString& l) { return l.startsWith(prefix); }),
                     qPrintable(lines.join('\n')));
        }
        for (const QString& line : log())
            QVERIFY2(!line.contains("evil"), qPrintable(line));
        // A failed attempt allows another.
        if (which != 9 && which != 6 && which != 14 && which != 18 && which != 19) {
            m_server->clear();
            QVERIFY(publish(Release_{}));
            const UpdateStatus again = run(*updates);
            QVERIFY2(m_quit, qPrintable(again.message));
            QCOMPARE(m_launched.value(1), installDir());
        }
    }

    // A cache folder on a full disk: the download, or the unpacked tree, does not fit. The system's reason
    // is what the user reads and what the log says, with the folder it concerns.
    void fullDisk_data() {
        QTest::addColumn<qint64>("diskBytes");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("logged");
        QTest::newRow("the download does not fit")
            << qint64(1 << 20) << noise(3 << 20)
            << "writing the download failed: No space left on device in ~/cache/update";
        // A repeating block: a small archive that unpacks to three times the disk.
        QTest::newRow("the unpacked files do not fit") << qint64(2 << 20) << noise(4096).repeated(6 * 256)
                                                       << "No space left on device in ~/cache/update";
    }
    void fullDisk() {
        QFETCH(qint64, diskBytes);
        QFETCH(QByteArray, content);
        QFETCH(QString, logged);
        m_disk.emplace(path("cache"), diskBytes);
        if (!m_disk->works())
            QSKIP(qPrintable("cannot mount a small file system here: " + m_disk->error()));
        homeIsTestFolder();
        Release_ r;
        r.entries = tree();
        r.entries << Entry{"Quillbay/share/data", content, Entry::Type::file, 0644, {}};
        QVERIFY(publish(r));
        auto updates = service(false);
        const UpdateStatus s = run(*updates);
        QVERIFY(s.is(Kind::error));
        QCOMPARE(s.message, QStringLiteral("No space left on device in ~/cache/update"));
        const QStringList lines = this->logged("[Quillbay] update 1.3.0 not installed: ");
        QVERIFY2(lines.size() == 1 && lines.first().endsWith(logged), qPrintable(log().join('\n')));
        // The partial download, or the unpacked part, is gone with the archive.
        QVERIFY(expectOldInstall());
        QVERIFY(m_launched.isEmpty());
    }

    // Manifests that cannot be used are shown as such and logged with why; one that a redirect would
    // fetch from elsewhere is never asked for there.
    void unusableManifests_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");
        const QString unusable = "The update server's answer couldn't be used (HTTP %1). Try again later.";
        const QString elsewhere =
            "The update server sent the check to an address Quillbay doesn't trust. Try again later.";
        QTest::newRow("not JSON") << 0 << unusable.arg(200) << "the manifest is not JSON (";
        QTest::newRow("404") << 1 << unusable.arg(404)
                             << "the manifest request was answered with HTTP status 404";
        QTest::newRow("two-part version")
            << 2 << unusable.arg(200) << "the manifest's version \"0.2\" is not three numbers joined by dots";
        QTest::newRow("no version") << 3 << unusable.arg(200) << "the manifest names no version";
        QTest::newRow("a JSON array") << 4 << unusable.arg(200) << "the manifest is not a JSON object";
        QTest::newRow("redirect to http")
            << 5 << elsewhere << "the manifest request was redirected to http://";
        QTest::newRow("redirect to another host")
            << 6 << elsewhere << "the manifest request was redirected to https://127.0.0.2:";
        QTest::newRow("redirect to another port")
            << 7 << elsewhere << "the manifest request was redirected to https://127.0.0.1:";
    }
    void unusableManifests() {
        QFETCH(int, which);
        QFETCH(QString, text);
        QFETCH(QString, logged);
        QVERIFY(publish(Release_{}));
        const QByteArray manifest = m_manifest;
        const auto redirect = [&](const QString& to) {
            m_server->set("/version.json", HttpsFixture::Answer{302, {}, {}, to.toStdString(), {}});
        };
        switch (which) {
        case 0:
            m_server->set("/version.json", 200, "<html>version 1.3.0</html>", "text/html");
            break;
        case 1:
            m_server->set("/version.json", 404, "<html>not found</html>", "text/html");
            break;
        case 2:
            m_server->set("/version.json", 200, R"({"version":"0.2"})");
            break;
        case 3:
            m_server->set("/version.json", 200, R"({"notes":"1.3.0"})");
            break;
        case 4:
            m_server->set("/version.json", 200, R"(["1.3.0"])");
            break;
        case 5:
            redirect("http://" + m_server->authority() + "/version.json");
            break;
        case 6:
            // The other host would offer a version of its own choosing.
            m_other->set("/version.json", 200, manifest);
            redirect(m_other->url("/version.json"));
            break;
        case 7:
            redirect(QString("https://127.0.0.1:%1/version.json").arg(m_server->port() + 1));
            break;
        }
        auto updates = service(false);
        const UpdateStatus s = run(*updates);
        QVERIFY(s.is(Kind::error));
        QCOMPARE(s.message, text);
        const QStringList lines = this->logged("[Quillbay] update not installed: ");
        QVERIFY2(lines.size() == 1 && lines.first().contains(logged), qPrintable(log().join('\n')));
        QCOMPARE(m_other->hits("/version.json"), 0);
        QCOMPARE(m_server->hits("/downloads/" + Release::archiveName("1.3.0").toStdString()), 0);
    }

    // A redirect that stays on the maker's host is followed.
    void manifestRedirectOnTheSameHost() {
        QVERIFY(publish(Release_{}));
        m_server->set("/v2/version.json", 200, m_manifest);
        m_server->set("/version.json",
                      HttpsFixture::Answer{301, {}, {}, m_server->url("/v2/version.json").toStdString(), {}});
        auto updates = service(false);
        const UpdateStatus s = run(*updates);
        QVERIFY2(m_quit, qPrintable(s.message + '\n' + log().join('\n')));
        QCOMPARE(m_server->hits("/v2/version.json"), 1);
    }

    // Links in a chain, each leading to the next, the last to a file: the system follows 40 in one lookup,
    // so 40 are unpacked and 41 are refused, whether the archive lists the chain from its end (each link
    // judged as it comes) or from its start (judged once all are unpacked).
    void linkChains_data() {
        QTest::addColumn<int>("links");
        QTest::addColumn<bool>("endFirst");
        QTest::newRow("40, end first") << 40 << true;
        QTest::newRow("40, start first") << 40 << false;
        QTest::newRow("41, end first") << 41 << true;
        QTest::newRow("41, start first") << 41 << false;
        QTest::newRow("42, start first") << 42 << false;
    }
    void linkChains() {
        QFETCH(int, links);
        QFETCH(bool, endFirst);
        QList<Entry> chain;
        for (int i = 1; i <= links; ++i)
            chain << Entry{QString("Quillbay/share/l%1").arg(i),
                           {},
                           Entry::Type::symlink,
                           0777,
                           i == links ? QString("readme") : QString("l%1").arg(i + 1)};
        if (endFirst)
            std::reverse(chain.begin(), chain.end());
        Release_ r;
        r.entries = tree() + chain;
        QVERIFY(publish(r));
        auto updates = service(false);
        const UpdateStatus s = run(*updates);
        if (links <= UpdateInstaller::kMaxLinks) {
            QVERIFY2(m_quit, qPrintable(s.message + '\n' + log().join('\n')));
            // The system itself follows the whole chain.
            QCOMPARE(readFile(installDir() + ".new/share/l1"), QByteArray("r"));
            return;
        }
        QCOMPARE(s.message, QStringLiteral("This update contains unsafe files and was discarded."));
        const QStringList lines = this->logged("[Quillbay] update 1.3.0 not installed: ");
        QVERIFY2(lines.size() == 1 && lines.first().endsWith("leads through a chain of more than 40 links"),
                 qPrintable(log().join('\n')));
        QVERIFY(expectOldInstall());
        // And the system would not have followed it either.
        QVERIFY(QDir().mkpath(path("chain")));
        for (int i = 1; i <= links; ++i)
            QVERIFY(QFile::link(i == links ? "end" : QString("l%1").arg(i + 1),
                                path(QString("chain/l%1").arg(i))));
        QVERIFY(writeFile(path("chain/end"), "e"));
        QFile first(path("chain/l1"));
        QVERIFY(!first.open(QIODevice::ReadOnly));
    }

    // A release whose large program comes first and whose many small files come last: the percentage
    // rises in small steps all the way, rather than leaping ahead with the program's bytes and then
    // creeping through the files.
    void unpackingRisesEvenly() {
        Release_ r;
        r.entries = tree();
        r.entries << Entry{"Quillbay/lib/libbig.so", noise(4 << 20), Entry::Type::file, 0644, {}};
        for (int i = 0; i < 400; ++i)
            r.entries << Entry{QString("Quillbay/share/s%1").arg(i), "small", Entry::Type::file, 0644, {}};
        QVERIFY(publish(r));
        auto updates = service(false);
        QList<int> progress;
        connect(updates.get(), &UpdateService::installProgressChanged, this,
                [&] { progress << updates->installProgress(); });
        const UpdateStatus s = run(*updates);
        QVERIFY2(m_quit, qPrintable(s.message));
        QVERIFY(progress.size() >= 3);
        QCOMPARE(progress.first(), 0);
        QCOMPARE(progress.last(), -1);
        QCOMPARE(progress.value(progress.size() - 2), 100);
        for (qsizetype i = 1; i + 1 < progress.size(); ++i)
            QVERIFY2(progress[i] > progress[i - 1] && progress[i] - progress[i - 1] <= 10,
                     qPrintable(QString("%1 then %2").arg(progress[i - 1]).arg(progress[i])));
    }

    // A cache folder that is a link to another place (dotfile managers, a second disk) takes updates like
    // any other.
    void linkedCacheInstalls() {
        QVERIFY(QDir().mkpath(path("elsewhere/cache")));
        QVERIFY(QFile::link(path("elsewhere/cache"), path("cache")));
        QVERIFY(publish(Release_{}));
        auto updates = service(false);
        const UpdateStatus s = run(*updates);
        QVERIFY2(m_quit, qPrintable(s.message + '\n' + log().join('\n')));
        QCOMPARE(m_launched.value(1), installDir());
        QVERIFY(QFileInfo(installDir() + ".new/bin/quillbay").isExecutable());
        for (const QString& line : log())
            QVERIFY2(!line.contains("not installed"), qPrintable(line));
    }

    void capitalHashMatches() {
        Release_ r;
        QVERIFY(publish(r));
        const QString name = Release::archiveName("1.3.0");
        m_server->set(
            "/version.json", 200,
            QJsonDocument(QJsonObject{{"version", "1.3.0"},
                                      {"url", m_server->url("/downloads/" + name)},
                                      {"sha256", Release::sha256File(path("srv/" + name)).toUpper()}})
                .toJson());
        auto updates = service(false);
        run(*updates);
        QVERIFY(m_quit);
    }

    void oversizedDownloadRefused() {
        QVERIFY(publish(Release_{}));
        // A service with a small cap: the archive is a few hundred bytes.
        UpdateService::Config c;
        c.host = m_server->authority();
        c.publicKey = Minisign::publicKeyFile(m_key);
        c.currentVersion = "1.2.0";
        c.installDir = installDir();
        c.workDir = path("cache/update");
        c.fetchHelper = qEnvironmentVariable("QUILLBAY_TEST_FETCH_HELPER"); // set for the helper's run
        c.quit = [this] { m_quit = true; };
        c.maxDownloadBytes = 100;
        UpdateService small(*m_defaults, m_clock, c);
        const UpdateStatus s = run(small);
        QCOMPARE(s.message, QStringLiteral("Download failed"));
        QVERIFY(expectOldInstall());
    }

    void installerThatCannotStart() {
        QVERIFY(publish(Release_{}));
        UpdateService::Config c;
        c.host = m_server->authority();
        c.publicKey = Minisign::publicKeyFile(m_key);
        c.currentVersion = "1.2.0";
        c.installDir = installDir();
        c.workDir = path("cache/update");
        c.fetchHelper = qEnvironmentVariable("QUILLBAY_TEST_FETCH_HELPER"); // set for the helper's run
        c.helper = QUILLBAY_SWAP;
        c.launcher = &m_launcher;
        c.quit = [this] { m_quit = true; };
        c.startDetached = [](const QString&, const QStringList&, int) { return false; };
        UpdateService updates(*m_defaults, m_clock, c);
        const UpdateStatus s = run(updates);
        QCOMPARE(s.message, QStringLiteral("Couldn't start the installer."));
        QCOMPARE(readFile(installDir() + "/bin/quillbay"), program("old"));
        QVERIFY(!QFileInfo::exists(installDir() + ".new"));
        QVERIFY(!m_quit);
        // The lock taken for the helper was let go.
        const int fd = FolderSwap::takeLock(
            QFile::encodeName(path("cache/update/") + FolderSwap::kLockName).toStdString(), -1);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(tst_UpdateEndToEnd)
#include "tst_UpdateEndToEnd.moc"
