// The blocking half of an install: the signature and its comment are proven before anything is unpacked,
// hostile archives are refused without writing outside their folder, and only an install folder of our
// own is staged for replacement.
#include "Release.h"
#include "fakes/ReadOnlyFolder.h"
#include "services/Minisign.h"
#include "services/UpdateInstaller.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <memory>
#include <optional>

using Failure = UpdateInstaller::Failure;
using Entry = Release::Entry;
Q_DECLARE_METATYPE(QList<Release::Entry>)

namespace {

QList<Entry> goodTree(const QByteArray& program = "#!/bin/sh\nexit 0\n") {
    return {{"Quillbay/", {}, Entry::Type::folder, 0755, {}},
            {"Quillbay/.quillbay-bundle", "1.3.0\n", Entry::Type::file, 0644, {}},
            {"Quillbay/bin/", {}, Entry::Type::folder, 0755, {}},
            {"Quillbay/bin/quillbay", program, Entry::Type::file, 0755, {}},
            {"Quillbay/lib/libq.so.1", "elf", Entry::Type::file, 0644, {}},
            {"Quillbay/lib/libq.so", {}, Entry::Type::symlink, 0777, "libq.so.1"}};
}

} // namespace

class tst_UpdateInstall : public QObject {
    Q_OBJECT

    Minisign::SecretKey m_key = Minisign::generate();
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QByteArray publicKey() const { return Minisign::publicKeyFile(m_key); }
    QString installDir() const { return path("opt/Quillbay"); }

    bool makeInstall() {
        return QDir().mkpath(installDir() + "/bin") &&
               writeFile(installDir() + "/.quillbay-bundle", "1.2.0\n") &&
               writeFile(installDir() + "/bin/quillbay", "old");
    }
    static bool writeFile(const QString& p, const QByteArray& data) {
        QFile f(p);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    }
    QString archive(const QList<Entry>& entries) {
        const QString a = path("update.tar.xz");
        QString error;
        if (!Release::writeArchive(a, entries, &error))
            qWarning() << error;
        return a;
    }
    UpdateInstaller::Request request(const QString& archivePath,
                                     const QByteArray& comment = "team=R4KD9QZ2MX version=1.3.0") {
        UpdateInstaller::Request r;
        r.archive = archivePath;
        r.signature = Minisign::signFile(m_key, archivePath, comment).value_or(QByteArray());
        r.publicKey = publicKey();
        r.version = "1.3.0";
        r.installDir = installDir();
        r.workDir = path("work");
        r.pid = 4242;
        r.team = "R4KD9QZ2MX";
        return r;
    }
    // Nothing of an attempt may stay behind in the work folder but the script.
    QStringList workLeftovers() const {
        return QDir(path("work")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(makeInstall());
        QVERIFY(QDir().mkpath(path("work")));
    }

    void stagesAndWritesScript() {
        const auto r = request(archive(goodTree()));
        const auto out = UpdateInstaller::prepare(r);
        QVERIFY2(out.failure == Failure::none, qPrintable(out.detail));
        const QString staging = installDir() + ".new";
        QCOMPARE(out.arguments, (QStringList{out.script, "4242", installDir(), staging, r.archive}));
        QVERIFY(QFileInfo(staging + "/bin/quillbay").isExecutable());
        QCOMPARE(QFileInfo(staging + "/lib/libq.so").symLinkTarget(), staging + "/lib/libq.so.1");
        QCOMPARE(QFileInfo(out.script).permissions() & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QFile script(out.script);
        QVERIFY(script.open(QIODevice::ReadOnly));
        QCOMPARE(script.readAll(), UpdateInstaller::scriptText());
        // The unpacked copy is gone; the old install is untouched until the script runs.
        QCOMPARE(workLeftovers(), QStringList{QFileInfo(out.script).fileName()});
        QFile old(installDir() + "/bin/quillbay");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

    void leftoverStagingReplaced() {
        QVERIFY(QDir().mkpath(installDir() + ".new/stale"));
        const auto out = UpdateInstaller::prepare(request(archive(goodTree())));
        QVERIFY(out.failure == Failure::none);
        QVERIFY(!QFileInfo::exists(installDir() + ".new/stale"));
    }

    void refused_data() {
        QTest::addColumn<QList<Entry>>("entries");
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<int>("failure");
        const QByteArray ok = "team=R4KD9QZ2MX version=1.3.0";
        QList<Entry> dotdot = goodTree();
        dotdot << Entry{"Quillbay/../../escaped", "x", Entry::Type::file, 0644, {}};
        QList<Entry> absolute = goodTree();
        absolute << Entry{"/tmp/quillbay-absolute-entry", "x", Entry::Type::file, 0644, {}};
        QList<Entry> linkOut = goodTree();
        linkOut << Entry{"Quillbay/etc", {}, Entry::Type::symlink, 0777, "../../.."};
        QList<Entry> linkAbsolute = goodTree();
        linkAbsolute << Entry{"Quillbay/passwd", {}, Entry::Type::symlink, 0777, "/etc/passwd"};
        QList<Entry> throughLink = goodTree();
        throughLink << Entry{"Quillbay/up", {}, Entry::Type::symlink, 0777, "lib"}
                    << Entry{"Quillbay/up/x", "x", Entry::Type::file, 0644, {}};
        QList<Entry> noProgram = goodTree();
        noProgram.removeAt(3);
        QList<Entry> programNotExecutable = goodTree();
        programNotExecutable[3].mode = 0644;
        QList<Entry> noMarker = goodTree();
        noMarker.removeAt(1);
        const QList<Entry> otherFolder = {{"Vestrand/bin/quillbay", "x", Entry::Type::file, 0755, {}},
                                          {"Vestrand/.quillbay-bundle", "x", Entry::Type::file, 0644, {}}};
        const QList<Entry> programIsLink = {
            {"Quillbay/.quillbay-bundle", "x", Entry::Type::file, 0644, {}},
            {"Quillbay/bin/real", "x", Entry::Type::file, 0755, {}},
            {"Quillbay/bin/quillbay", {}, Entry::Type::symlink, 0777, "real"}};

        QTest::newRow("other team") << goodTree() << QByteArray("team=XXXXXXXXXX version=1.3.0")
                                    << int(Failure::notSigned);
        QTest::newRow("older version replayed")
            << goodTree() << QByteArray("team=R4KD9QZ2MX version=1.2.9") << int(Failure::notSigned);
        QTest::newRow("version prefix only")
            << goodTree() << QByteArray("team=R4KD9QZ2MX version=1.3.00") << int(Failure::notSigned);
        QTest::newRow("no comment") << goodTree() << QByteArray() << int(Failure::notSigned);
        QTest::newRow("dot-dot entry") << dotdot << ok << int(Failure::cannotOpen);
        QTest::newRow("absolute entry") << absolute << ok << int(Failure::cannotOpen);
        QTest::newRow("link out of the tree") << linkOut << ok << int(Failure::cannotOpen);
        QTest::newRow("absolute link") << linkAbsolute << ok << int(Failure::cannotOpen);
        QTest::newRow("write through a link") << throughLink << ok << int(Failure::cannotOpen);
        QTest::newRow("no program") << noProgram << ok << int(Failure::noApp);
        QTest::newRow("program not executable") << programNotExecutable << ok << int(Failure::noApp);
        QTest::newRow("program is a link") << programIsLink << ok << int(Failure::noApp);
        QTest::newRow("no marker") << noMarker << ok << int(Failure::noApp);
        QTest::newRow("no Quillbay folder") << otherFolder << ok << int(Failure::noApp);
    }
    void refused() {
        QFETCH(QList<Entry>, entries);
        QFETCH(QByteArray, comment);
        QFETCH(int, failure);
        const auto out = UpdateInstaller::prepare(request(archive(entries), comment));
        QCOMPARE(int(out.failure), failure);
        QVERIFY(workLeftovers().isEmpty());
        QVERIFY(!QFileInfo::exists(installDir() + ".new"));
        QVERIFY(!QFileInfo::exists(path("escaped")) && !QFileInfo::exists(m_dir->filePath("../escaped")));
        QVERIFY(!QFileInfo::exists("/tmp/quillbay-absolute-entry"));
        QVERIFY(QFileInfo(installDir() + "/bin/quillbay").isFile());
    }

    void signatureProblems_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("tampered archive") << 0;
        QTest::newRow("another key") << 1;
        QTest::newRow("no signature") << 2;
        QTest::newRow("unreadable built-in key") << 3;
    }
    void signatureProblems() {
        QFETCH(int, kind);
        auto r = request(archive(goodTree()));
        if (kind == 0) {
            QFile f(r.archive);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(f.size() / 2);
            const char c = f.peek(1).at(0);
            f.write(QByteArray(1, char(c ^ 0x20)));
        } else if (kind == 1) {
            r.signature =
                Minisign::signFile(Minisign::generate(), r.archive, "team=R4KD9QZ2MX version=1.3.0").value();
        } else if (kind == 2) {
            r.signature = "<html>404</html>";
        } else {
            r.publicKey = "not a key";
        }
        const auto out = UpdateInstaller::prepare(r);
        QCOMPARE(out.failure, Failure::securityCheck);
        QVERIFY(workLeftovers().isEmpty());
    }

    void installFolderRules_data() {
        QTest::addColumn<int>("setup");
        QTest::newRow("no marker") << 0;
        QTest::newRow("folder missing") << 1;
        QTest::newRow("folder is a link") << 2;
        QTest::newRow("read-only parent") << 3;
    }
    void installFolderRules() {
        QFETCH(int, setup);
        auto r = request(archive(goodTree()));
        if (setup == 0)
            QVERIFY(QFile::remove(installDir() + "/.quillbay-bundle"));
        else if (setup == 1)
            r.installDir = path("opt/Elsewhere");
        else if (setup == 2) {
            QVERIFY(QFile::link(installDir(), path("opt/Link")));
            r.installDir = path("opt/Link");
        }
        std::optional<ReadOnlyFolder> readOnly;
        if (setup == 3) {
            readOnly.emplace(path("opt"));
            if (!readOnly->works())
                QSKIP("no way to make a folder read-only here");
        }
        const auto out = UpdateInstaller::prepare(r);
        readOnly.reset();
        QCOMPARE(out.failure, Failure::cannotPrepare);
        QVERIFY(workLeftovers().isEmpty());
        QVERIFY(QFileInfo(installDir() + "/bin/quillbay").isFile());
    }

    void extractionLimits() {
        QString error;
        QList<Entry> big = goodTree();
        big << Entry{"Quillbay/big", QByteArray(4096, 'z'), Entry::Type::file, 0644, {}};
        const QString a = archive(big);
        QTemporaryDir out;
        QVERIFY(!UpdateInstaller::extract(a, out.path(), &error, 1000));
        QVERIFY(error.contains("larger"));
        QTemporaryDir out2;
        QVERIFY(UpdateInstaller::extract(a, out2.path(), &error, 1 << 20));
        // Not a tar archive at all, and a truncated one.
        QVERIFY(writeFile(path("junk"), "not an archive"));
        QVERIFY(!UpdateInstaller::extract(path("junk"), out.path(), &error, 1 << 20));
        QFile f(a);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() / 2));
        f.close();
        QTemporaryDir out3;
        QVERIFY(!UpdateInstaller::extract(a, out3.path(), &error, 1 << 20));
    }

    void setIdBitsDropped() {
        QList<Entry> tree = goodTree();
        tree[3].mode = 04777;
        const QString a = archive(tree);
        QTemporaryDir out;
        QString error;
        QVERIFY2(UpdateInstaller::extract(a, out.path(), &error, 1 << 20), qPrintable(error));
        const QFileInfo program(out.filePath("Quillbay/bin/quillbay"));
        QVERIFY(program.isExecutable());
        QVERIFY(!(program.permissions() & QFileDevice::WriteOther));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(program.filePath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07000, 0u);
    }
};

QTEST_GUILESS_MAIN(tst_UpdateInstall)
#include "tst_UpdateInstall.moc"
