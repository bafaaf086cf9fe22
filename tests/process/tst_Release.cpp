// The release tool against Debian's minisign: what one signs, the other verifies, in both signature kinds.
#include "Release.h"
#include "services/Minisign.h"
#include "services/UpdateInstaller.h"

#include "QuillbayVersion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_Release : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    struct Run {
        int code = -1;
        QByteArray output;
    };
    Run run(const QString& program, const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        Run r;
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
            r.code = p.exitCode();
        r.output = p.readAll();
        return r;
    }
    static bool write(const QString& path, const QByteArray& data, bool executable = false) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            return false;
        f.close();
        return !executable || f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    QString tree() const { return m_dir.filePath("tree"); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        const Run g = run("minisign", {"-G", "-W", "-p", "k.pub", "-s", "k.sec"});
        QVERIFY2(g.code == 0, g.output.constData());
        QVERIFY(write(tree() + "/bin/quillbay", "#!/bin/sh\n# quillbay-version=2.3.4\nexit 0\n", true));
        for (const char* helper : {"quillbay-swap", "quillbay-logkeeper", "quillbay-fetch"})
            QVERIFY(write(tree() + "/bin/" + helper, "#!/bin/sh\nexit 0\n", true));
        for (const char* module : {"quillbay-camera.so", "quillbay-webpage.so", "quillbay-ocr.so",
                                   "quillbay-sound.so", "quillbay-secrets.so", "quillbay-heif.so"})
            QVERIFY(write(tree() + "/bin/" + module, "\x7f"
                                                     "ELF module"));
        QVERIFY(write(tree() + "/share/quillbay/notes.txt", "notes"));
        QVERIFY(QFile::link("notes.txt", tree() + "/share/quillbay/link.txt"));
    }

    void releaseVerifiesWithMinisign() {
        const Run r =
            run(QUILLBAY_RELEASE, {"--tree", tree(), "--version", "2.3.4", "--key", "k.sec", "--out", "out",
                                   "--url-base", "https://maker.test/downloads", "--notes", "Fixes"});
        QVERIFY2(r.code == 0, r.output.constData());
        const QString archive = m_dir.filePath("out/Quillbay-2.3.4-linux-x86_64.tar.xz");
        const Run v = run("minisign", {"-V", "-p", "k.pub", "-m", archive});
        QVERIFY2(v.code == 0, v.output.constData());
        QVERIFY(v.output.contains("team=R4KD9QZ2MX version=2.3.4"));

        // The manifest names the archive's address and digest.
        QFile m(m_dir.filePath("out/version.json"));
        QVERIFY(m.open(QIODevice::ReadOnly));
        const QByteArray json = m.readAll();
        QVERIFY(
            json.contains("\"url\": \"https://maker.test/downloads/Quillbay-2.3.4-linux-x86_64.tar.xz\""));
        QVERIFY(json.contains(Release::sha256File(archive).toUtf8()));
        QVERIFY(json.contains("\"notes\": \"Fixes\""));

        // One top folder with the program, the marker and the tree's link.
        QTemporaryDir unpacked;
        const UpdateInstaller::Extracted extracted =
            UpdateInstaller::extract(archive, unpacked.path(), 1 << 20);
        QVERIFY2(extracted.failure == UpdateInstaller::Failure::none, qPrintable(extracted.detail));
        QVERIFY(QFileInfo(unpacked.filePath("Quillbay/bin/quillbay")).isExecutable());
        QVERIFY(QFileInfo(unpacked.filePath("Quillbay/.quillbay-bundle")).isFile());
        QCOMPARE(QFileInfo(unpacked.filePath("Quillbay/share/quillbay/link.txt")).symLinkTarget(),
                 unpacked.filePath("Quillbay/share/quillbay/notes.txt"));
        QCOMPARE(QDir(unpacked.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"Quillbay"});
    }

    void minisignSignatureVerifiesHere_data() {
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<bool>("prehashed");
        QTest::newRow("prehashed") << QStringList{} << true;
        QTest::newRow("legacy") << QStringList{"-l"} << false;
    }
    void minisignSignatureVerifiesHere() {
        QFETCH(QStringList, flags);
        QFETCH(bool, prehashed);
        QVERIFY(write(m_dir.filePath("blob"), QByteArray(300000, 'q')));
        const Run s = run(
            "minisign",
            QStringList{"-S", "-s", "k.sec", "-m", "blob", "-t", "team=R4KD9QZ2MX version=5.0.0"} + flags);
        QVERIFY2(s.code == 0, s.output.constData());
        QFile pub(m_dir.filePath("k.pub"));
        QFile sig(m_dir.filePath("blob.minisig"));
        QVERIFY(pub.open(QIODevice::ReadOnly) && sig.open(QIODevice::ReadOnly));
        const auto key = Minisign::parsePublicKey(pub.readAll());
        QVERIFY(key);
        const QByteArray text = sig.readAll();
        QCOMPARE(Minisign::parseSignature(text)->prehashed, prehashed);
        const auto v = Minisign::verifyFile(*key, text, m_dir.filePath("blob"));
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(v.trustedComment, QByteArray("team=R4KD9QZ2MX version=5.0.0"));
        // One changed byte in the file fails.
        QVERIFY(write(m_dir.filePath("blob"), QByteArray(299999, 'q') + 'r'));
        QVERIFY(!Minisign::verifyFile(*key, text, m_dir.filePath("blob")).ok);
    }

    // The version given must be the one the tree's program was built at.
    void versionMustMatchTheProgram_data() {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QByteArray>("message"); // empty: accepted
        const QByteArray head = "#!/bin/sh\n";
        QTest::newRow("same version") << head + "# quillbay-version=4.5.6\n"
                                      << "4.5.6" << QByteArray();
        QTest::newRow("same version twice") << head + "# quillbay-version=4.5.6\n# quillbay-version=4.5.6\n"
                                            << "4.5.6" << QByteArray();
        QTest::newRow("another version") << head + "# quillbay-version=4.5.6\n"
                                         << "4.5.7" << QByteArray("is version 4.5.6, not 4.5.7");
        QTest::newRow("a longer version with the same start") << head + "# quillbay-version=4.5.60\n"
                                                              << "4.5.6" << QByteArray("is version 4.5.60");
        QTest::newRow("two versions") << head + "# quillbay-version=4.5.6\n# quillbay-version=4.5.5\n"
                                      << "4.5.6" << QByteArray("4.5.6 and 4.5.5");
        QTest::newRow("no version") << head << "4.5.6" << QByteArray("names no version");
    }
    void versionMustMatchTheProgram() {
        QFETCH(QByteArray, program);
        QFETCH(QString, version);
        QFETCH(QByteArray, message);
        QTemporaryDir work;
        const QString t = work.filePath("tree");
        QVERIFY(QDir().mkpath(t));
        QVERIFY(QProcess::execute("cp", {"-a", tree() + "/.", t}) == 0); // helpers and modules beside it
        QVERIFY(QFile::remove(t + "/bin/quillbay"));
        QVERIFY(write(t + "/bin/quillbay", program, true));
        const QString out = work.filePath("out");
        const Run r = run(QUILLBAY_RELEASE, {"--tree", t, "--version", version, "--key", "k.sec", "--out",
                                             out, "--url-base", "https://maker.test/downloads/"});
        const bool made = QFileInfo::exists(out + "/" + Release::archiveName(version));
        if (message.isEmpty()) {
            QVERIFY2(r.code == 0, r.output.constData());
            QVERIFY(made);
        } else {
            QCOMPARE(r.code, 1);
            QVERIFY2(r.output.contains(message), r.output.constData());
            QVERIFY(!made && !QFileInfo::exists(out + "/version.json"));
        }
    }

    // The built program carries the configured version where the tool finds it, also when the tag
    // straddles two of the pieces the file is read in.
    void programVersionFound() {
        QCOMPARE(Release::programVersions(QUILLBAY_PROGRAM_FILE), QStringList{QUILLBAY_VERSION});
        for (const int before : {(1 << 20) - 20, (1 << 20) - 3, (1 << 20) + 1}) {
            QVERIFY(write(m_dir.filePath("straddle"),
                          QByteArray(before, '\0') + "quillbay-version=10.20.30" + QByteArray(100, '\0')));
            QCOMPARE(Release::programVersions(m_dir.filePath("straddle")), QStringList{"10.20.30"});
        }
        QCOMPARE(Release::programVersions(m_dir.filePath("no-such-file")), QStringList());
    }

    void refusedInput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        const QStringList base{"--key", "k.sec",      "--out",
                               "bad",   "--url-base", "https://maker.test/downloads/"};
        QTest::newRow("two-part version")
            << (QStringList{"--tree", "tree", "--version", "2.3"} + base) << QByteArray("three numbers");
        QTest::newRow("no program in tree")
            << (QStringList{"--tree", "tree/share", "--version", "2.3.5"} + base)
            << QByteArray("bin/quillbay");
        QTest::newRow("missing key") << QStringList{"--tree",     "tree",
                                                    "--version",  "2.3.5",
                                                    "--key",      "none.sec",
                                                    "--out",      "bad",
                                                    "--url-base", "https://maker.test/downloads/"}
                                     << QByteArray("quillbay-release:");
        QTest::newRow("missing option") << QStringList{"--tree", "tree"} << QByteArray("is required");
    }
    void refusedInput() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const Run r = run(QUILLBAY_RELEASE, args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.output.contains(message), r.output.constData());
    }

    // A tree that lacks a helper or a module the program needs from its folder is refused, naming
    // each missing file, and nothing is written; a helper that cannot run counts as missing.
    void incompleteTreeRefused_data() {
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QStringList>("notExecutable");
        QTest::addColumn<QStringList>("named");
        QTest::newRow("no swap helper")
            << QStringList{"quillbay-swap"} << QStringList{} << QStringList{"bin/quillbay-swap"};
        QTest::newRow("no camera module")
            << QStringList{"quillbay-camera.so"} << QStringList{} << QStringList{"bin/quillbay-camera.so"};
        QTest::newRow("no web page module")
            << QStringList{"quillbay-webpage.so"} << QStringList{} << QStringList{"bin/quillbay-webpage.so"};
        QTest::newRow("no log keeper")
            << QStringList{"quillbay-logkeeper"} << QStringList{} << QStringList{"bin/quillbay-logkeeper"};
        QTest::newRow("no fetch helper")
            << QStringList{"quillbay-fetch"} << QStringList{} << QStringList{"bin/quillbay-fetch"};
        QTest::newRow("swap helper not executable")
            << QStringList{} << QStringList{"quillbay-swap"} << QStringList{"bin/quillbay-swap"};
        QTest::newRow("no text recognition module")
            << QStringList{"quillbay-ocr.so"} << QStringList{} << QStringList{"bin/quillbay-ocr.so"};
        QTest::newRow("no HEIF module")
            << QStringList{"quillbay-heif.so"} << QStringList{} << QStringList{"bin/quillbay-heif.so"};
        QTest::newRow("no sound or keyring module")
            << QStringList{"quillbay-sound.so", "quillbay-secrets.so"} << QStringList{}
            << QStringList{"bin/quillbay-sound.so", "bin/quillbay-secrets.so"};
        QTest::newRow("both modules")
            << QStringList{"quillbay-camera.so", "quillbay-webpage.so"} << QStringList{}
            << QStringList{"bin/quillbay-camera.so", "bin/quillbay-webpage.so"};
    }
    void incompleteTreeRefused() {
        QFETCH(QStringList, removed);
        QFETCH(QStringList, notExecutable);
        QFETCH(QStringList, named);
        const QString partial = m_dir.filePath(QString("partial-%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(partial));
        QVERIFY(QProcess::execute("cp", {"-a", tree() + "/.", partial}) == 0);
        for (const QString& name : removed)
            QVERIFY(QFile::remove(partial + "/bin/" + name));
        for (const QString& name : notExecutable)
            QVERIFY(QFile::setPermissions(partial + "/bin/" + name,
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QString out = partial + "-out";
        const Run r = run(QUILLBAY_RELEASE, {"--tree", partial, "--version", "2.3.4", "--key", "k.sec",
                                             "--out", out, "--url-base", "https://maker.test/downloads/"});
        QCOMPARE(r.code, 1);
        for (const QString& name : named)
            QVERIFY2(r.output.contains(name.toUtf8()), r.output.constData());
        // What is there is not named.
        const QStringList all{"bin/quillbay-swap",      "bin/quillbay-logkeeper",  "bin/quillbay-fetch",
                              "bin/quillbay-camera.so", "bin/quillbay-webpage.so", "bin/quillbay-ocr.so",
                              "bin/quillbay-sound.so",  "bin/quillbay-secrets.so", "bin/quillbay-heif.so"};
        for (const QString& name : all)
            if (!named.contains(name))
                QVERIFY2(!r.output.contains(name.toUtf8()), r.output.constData());
        QVERIFY(!QFileInfo::exists(out + "/Quillbay-2.3.7-linux-x86_64.tar.xz"));
        QVERIFY(!QFileInfo::exists(out + "/version.json"));
    }

    void passwordKeyRefused() {
        // A key with a password is refused with a hint rather than read wrongly.
        QFile sec(m_dir.filePath("k.sec"));
        QVERIFY(sec.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = sec.readAll().split('\n');
        QByteArray raw = QByteArray::fromBase64(lines[1]);
        raw[2] = 'S';
        raw[3] = 'c';
        lines[1] = raw.toBase64();
        QVERIFY(write(m_dir.filePath("p.sec"), lines.join('\n')));
        const Run r = run(QUILLBAY_RELEASE, {"--tree", "tree", "--version", "2.3.6", "--key", "p.sec",
                                             "--out", "p", "--url-base", "https://maker.test/downloads/"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.output.contains("password"));
        QVERIFY(!QFile::exists(m_dir.filePath("p/Quillbay-2.3.6-linux-x86_64.tar.xz.minisig")));
    }
};

QTEST_GUILESS_MAIN(tst_Release)
#include "tst_Release.moc"
