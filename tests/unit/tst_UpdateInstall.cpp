// The blocking half of an install: the signature and its comment are proven before anything is unpacked,
// hostile archives are refused without writing outside their folder (and without their names reaching
// the log), only an install folder of our own is staged for replacement, and the swap lock is taken for
// the helper. Also what a start does after an update cut short: the folder's name back, leftovers gone.
#include "Release.h"
#include "fakes/ReadOnlyFolder.h"
#include "platform/FolderSwap.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "services/Libarchive.h"
#include "services/Minisign.h"
#include "services/UpdateInstaller.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <utility>

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
    LinuxProcessTable m_processes;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QByteArray publicKey() const { return Minisign::publicKeyFile(m_key); }
    QString installDir() const { return path("opt/Quillbay"); }
    QString helper() const { return path("bin/quillbay-swap"); }
    QString lockFile() const { return UpdateInstaller::lockFile(path("work")); }

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
        r.helper = helper();
        return r;
    }
    // Nothing of an attempt may stay behind in the work folder but the lock.
    QStringList workLeftovers() const {
        QStringList names =
            QDir(path("work")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        names.removeAll(FolderSwap::kLockName);
        return names;
    }
    // Whether someone holds the swap lock, asked the way a start asks.
    bool lockHeld() const {
        const int fd = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1);
        if (fd >= 0)
            ::close(fd);
        return fd < 0 && errno == EWOULDBLOCK;
    }
    // A program folder as an install leaves it: the marker and bin/quillbay.
    static bool makeProgramFolder(const QString& folder, const QByteArray& program = "#!/bin/sh\n") {
        return QDir().mkpath(folder + "/bin") && writeFile(folder + "/.quillbay-bundle", "1\n") &&
               writeFile(folder + "/bin/quillbay", program) &&
               QFile::setPermissions(folder + "/bin/quillbay",
                                     QFile::permissions(folder + "/bin/quillbay") | QFileDevice::ExeOwner);
    }

private slots:
    // libarchive is opened when the first update is unpacked: a library that is missing, or is some other
    // library, gives no unpacker and says which part failed; the real one gives every function.
    void libarchiveOpenedOnUse_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("reason"); // empty: opened
        QTest::newRow("libarchive") << "archive" << 13 << QString();
        QTest::newRow("missing") << "quillbay-no-such-archive" << 13 << "quillbay-no-such-archive";
        QTest::newRow("another library") << "z" << 1 << "archive_read_new";
    }
    void libarchiveOpenedOnUse() {
        QFETCH(QString, name);
        QFETCH(int, version);
        QFETCH(QString, reason);
        if (!reason.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("libarchive unavailable"));
        const Libarchive la(name, version);
        QCOMPARE(la.ok(), reason.isEmpty());
        QVERIFY2(la.error().contains(reason), qPrintable(la.error()));
        if (!la.ok())
            return;
        const void* all[] = {
            reinterpret_cast<const void*>(la.read_new),
            reinterpret_cast<const void*>(la.read_free),
            reinterpret_cast<const void*>(la.read_support_filter_all),
            reinterpret_cast<const void*>(la.read_support_format_tar),
            reinterpret_cast<const void*>(la.read_open_filename),
            reinterpret_cast<const void*>(la.read_next_header),
            reinterpret_cast<const void*>(la.read_data_skip),
            reinterpret_cast<const void*>(la.read_data_block),
            reinterpret_cast<const void*>(la.write_disk_new),
            reinterpret_cast<const void*>(la.write_free),
            reinterpret_cast<const void*>(la.write_disk_set_options),
            reinterpret_cast<const void*>(la.write_header),
            reinterpret_cast<const void*>(la.write_data_block),
            reinterpret_cast<const void*>(la.write_finish_entry),
            reinterpret_cast<const void*>(la.write_close),
            reinterpret_cast<const void*>(la.error_number),
            reinterpret_cast<const void*>(la.entry_size),
            reinterpret_cast<const void*>(la.entry_filetype),
            reinterpret_cast<const void*>(la.entry_pathname),
            reinterpret_cast<const void*>(la.entry_hardlink),
            reinterpret_cast<const void*>(la.entry_symlink),
            reinterpret_cast<const void*>(la.entry_perm),
            reinterpret_cast<const void*>(la.entry_set_perm),
            reinterpret_cast<const void*>(la.entry_set_uid),
            reinterpret_cast<const void*>(la.entry_set_gid),
            reinterpret_cast<const void*>(la.entry_copy_pathname),
        };
        for (const void* f : all)
            QVERIFY(f);
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(makeInstall());
        QVERIFY(QDir().mkpath(path("work")) && QDir().mkpath(path("bin")));
        QVERIFY(writeFile(helper(), "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(helper(), QFile::permissions(helper()) | QFileDevice::ExeOwner));
    }

    void stagesAndTakesTheLock() {
        const auto r = request(archive(goodTree()));
        auto out = UpdateInstaller::prepare(r);
        QVERIFY2(out.failure == Failure::none, qPrintable(out.detail));
        const QString staging = installDir() + ".new";
        QCOMPARE(out.program, helper());
        QCOMPARE(out.arguments, (QStringList{"4242", installDir(), staging, r.archive, lockFile()}));
        QCOMPARE(out.staging, staging);
        QVERIFY(FolderSwap::parseArguments({out.arguments[0].toStdString(), out.arguments[1].toStdString(),
                                            out.arguments[2].toStdString(), out.arguments[3].toStdString(),
                                            out.arguments[4].toStdString()}));
        QVERIFY(QFileInfo(staging + "/bin/quillbay").isExecutable());
        QCOMPARE(QFileInfo(staging + "/lib/libq.so").symLinkTarget(), staging + "/lib/libq.so.1");
        // The lock is held for the helper until the outcome lets it go.
        QVERIFY(out.lock && out.lock->valid());
        QVERIFY(lockHeld());
        out.lock->reset();
        QVERIFY(!lockHeld());
        QCOMPARE(QFileInfo(lockFile()).permissions() & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser);
        // The unpacked copy is gone; the old install is untouched until the helper runs.
        QCOMPARE(workLeftovers(), QStringList());
        QFile old(installDir() + "/bin/quillbay");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

    void lockHeldByAnotherSwap() {
        const int fd = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1);
        QVERIFY(fd >= 0);
        auto r = request(archive(goodTree()));
        r.lockWaitMs = 200;
        const auto out = UpdateInstaller::prepare(r);
        ::close(fd);
        QCOMPARE(out.failure, Failure::cannotPrepare);
        QVERIFY(!QFileInfo::exists(installDir() + ".new"));
        QVERIFY(workLeftovers().isEmpty());
    }

    void lockLetGoWhileWaiting() {
        // A swap that ends while the next update waits for it: the wait ends with it.
        int fd = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1);
        QVERIFY(fd >= 0);
        auto r = request(archive(goodTree()));
        r.lockWaitMs = 60000;
        QFuture<UpdateInstaller::Outcome> out =
            QtConcurrent::run([r] { return UpdateInstaller::prepare(r); });
        // Unpacked: the lock is next.
        const bool unpacked = QTest::qWaitFor(
            [&] {
                const QStringList u = QDir(path("work")).entryList({"quillbay-update-*"}, QDir::Dirs);
                return !u.isEmpty() && QFileInfo::exists(path("work/" + u[0] + "/Quillbay/bin/quillbay"));
            },
            20000);
        QVERIFY(!out.isFinished());
        ::close(fd);
        QVERIFY(unpacked);
        QVERIFY(QTest::qWaitFor([&] { return out.isFinished(); }, 60000));
        QVERIFY2(out.result().failure == Failure::none, qPrintable(out.result().detail));
    }

    void noSwapHelper() {
        QVERIFY(QFile::remove(helper()));
        const auto out = UpdateInstaller::prepare(request(archive(goodTree())));
        QCOMPARE(out.failure, Failure::cannotPrepare);
        QVERIFY(!QFileInfo::exists(installDir() + ".new"));
        QVERIFY(workLeftovers().isEmpty());
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
        // Every hostile name holds "HOSTILE", which must never reach the log.
        QList<Entry> dotdot = goodTree();
        dotdot << Entry{"Quillbay/../../escaped-HOSTILE", "x", Entry::Type::file, 0644, {}};
        QList<Entry> absolute = goodTree();
        absolute << Entry{"/tmp/quillbay-absolute-entry-HOSTILE", "x", Entry::Type::file, 0644, {}};
        QList<Entry> linkOut = goodTree();
        linkOut << Entry{"Quillbay/etc-HOSTILE", {}, Entry::Type::symlink, 0777, "../../.."};
        QList<Entry> linkAbsolute = goodTree();
        linkAbsolute << Entry{"Quillbay/passwd-HOSTILE", {}, Entry::Type::symlink, 0777, "/etc/passwd"};
        QList<Entry> throughLink = goodTree();
        throughLink << Entry{"Quillbay/up-HOSTILE", {}, Entry::Type::symlink, 0777, "lib"}
                    << Entry{"Quillbay/up-HOSTILE/x", "x", Entry::Type::file, 0644, {}};
        // The same, the link named with a "." part the second time, and a link to a folder that a later
        // entry would write into.
        QList<Entry> throughDottedLink = goodTree();
        throughDottedLink << Entry{"Quillbay/dot-HOSTILE", {}, Entry::Type::symlink, 0777, "lib"}
                          << Entry{"Quillbay/./dot-HOSTILE/x", "x", Entry::Type::file, 0644, {}};
        QList<Entry> throughNestedLink = goodTree();
        throughNestedLink << Entry{"Quillbay/share/", {}, Entry::Type::folder, 0755, {}}
                          << Entry{"Quillbay/share/in-HOSTILE", {}, Entry::Type::symlink, 0777, "../lib"}
                          << Entry{"Quillbay/share/in-HOSTILE/deep/x", "x", Entry::Type::file, 0644, {}};
        // Links judged by where they lead once the links before them (or after them) are followed.
        QList<Entry> chainOut = goodTree();
        chainOut << Entry{"Quillbay/a/", {}, Entry::Type::folder, 0755, {}}
                 << Entry{"Quillbay/a/b", {}, Entry::Type::symlink, 0777, ".."}
                 << Entry{"Quillbay/esc-HOSTILE", {}, Entry::Type::symlink, 0777, "a/b/../.."};
        QList<Entry> laterLinkTurnsOut = goodTree();
        laterLinkTurnsOut << Entry{"Quillbay/esc-HOSTILE", {}, Entry::Type::symlink, 0777, "a/b/../.."}
                          << Entry{"Quillbay/a/", {}, Entry::Type::folder, 0755, {}}
                          << Entry{"Quillbay/a/b", {}, Entry::Type::symlink, 0777, ".."};
        QList<Entry> deepChainOut = goodTree();
        deepChainOut << Entry{"Quillbay/d1/d2/", {}, Entry::Type::folder, 0755, {}}
                     << Entry{"Quillbay/d1/d2/up", {}, Entry::Type::symlink, 0777, "../.."}
                     << Entry{"Quillbay/d1/d2/hop", {}, Entry::Type::symlink, 0777, "up"}
                     << Entry{"Quillbay/d1/d2/esc-HOSTILE", {}, Entry::Type::symlink, 0777, "hop/.."};
        QList<Entry> chainToOutside = goodTree();
        chainToOutside << Entry{"Quillbay/first-HOSTILE", {}, Entry::Type::symlink, 0777, "second"}
                       << Entry{"Quillbay/second", {}, Entry::Type::symlink, 0777, "third"}
                       << Entry{"Quillbay/third", {}, Entry::Type::symlink, 0777, "lib/../.."};
        QList<Entry> sibling = goodTree();
        sibling << Entry{"Other/", {}, Entry::Type::folder, 0755, {}}
                << Entry{"Quillbay/sibling-HOSTILE", {}, Entry::Type::symlink, 0777, "../Other"};
        QList<Entry> outAndBack = goodTree();
        outAndBack << Entry{"Quillbay/back-HOSTILE", {}, Entry::Type::symlink, 0777, "../Quillbay/lib"};
        QList<Entry> loop = goodTree();
        loop << Entry{"Quillbay/x-HOSTILE", {}, Entry::Type::symlink, 0777, "y-HOSTILE"}
             << Entry{"Quillbay/y-HOSTILE", {}, Entry::Type::symlink, 0777, "x-HOSTILE"};
        // Each link alone is short enough, but following the chain takes more steps than any tree needs.
        QList<Entry> longWalk = goodTree();
        for (int i = 9; i >= 0; --i)
            longWalk << Entry{QString("Quillbay/walk%1-HOSTILE").arg(i),
                              {},
                              Entry::Type::symlink,
                              0777,
                              QString("./").repeated(600) +
                                  (i == 9 ? QString("lib") : QString("walk%1-HOSTILE").arg(i + 1))};
        const QList<Entry> topFolderIsLink = {
            {"Other/.quillbay-bundle", "x", Entry::Type::file, 0644, {}},
            {"Other/bin/quillbay", "#!/bin/sh\n", Entry::Type::file, 0755, {}},
            {"Quillbay", {}, Entry::Type::symlink, 0777, "Other"}};
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
        QTest::newRow("dot-dot entry") << dotdot << ok << int(Failure::unsafeContent);
        QTest::newRow("absolute entry") << absolute << ok << int(Failure::unsafeContent);
        QTest::newRow("link out of the tree") << linkOut << ok << int(Failure::unsafeContent);
        QTest::newRow("absolute link") << linkAbsolute << ok << int(Failure::unsafeContent);
        QTest::newRow("write through a link") << throughLink << ok << int(Failure::unsafeContent);
        QTest::newRow("write through a dotted link")
            << throughDottedLink << ok << int(Failure::unsafeContent);
        QTest::newRow("write through a nested link")
            << throughNestedLink << ok << int(Failure::unsafeContent);
        QTest::newRow("chain of links out of the folder") << chainOut << ok << int(Failure::unsafeContent);
        QTest::newRow("a later link turns an earlier one out")
            << laterLinkTurnsOut << ok << int(Failure::unsafeContent);
        QTest::newRow("three links deep out of the folder")
            << deepChainOut << ok << int(Failure::unsafeContent);
        QTest::newRow("chain of three ending outside") << chainToOutside << ok << int(Failure::unsafeContent);
        QTest::newRow("link to a folder beside the install") << sibling << ok << int(Failure::unsafeContent);
        QTest::newRow("link out and back in") << outAndBack << ok << int(Failure::unsafeContent);
        QTest::newRow("links in a loop") << loop << ok << int(Failure::unsafeContent);
        QTest::newRow("a chain too long to follow") << longWalk << ok << int(Failure::unsafeContent);
        QTest::newRow("Quillbay folder is a link") << topFolderIsLink << ok << int(Failure::noApp);
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
        QVERIFY(!out.detail.isEmpty());
        QVERIFY2(!out.detail.contains("HOSTILE"), qPrintable(out.detail));
        QVERIFY2(!out.detail.contains("Success"), qPrintable(out.detail));
        QVERIFY(!out.lock && !lockHeld());
        QVERIFY(workLeftovers().isEmpty());
        QVERIFY(!QFileInfo::exists(installDir() + ".new"));
        QVERIFY(!QFileInfo::exists(path("escaped-HOSTILE")) &&
                !QFileInfo::exists(m_dir->filePath("../escaped-HOSTILE")));
        QVERIFY(!QFileInfo::exists("/tmp/quillbay-absolute-entry-HOSTILE"));
        QVERIFY(!QFileInfo::exists(path("opt/Quillbay.new/lib/x")) && !QFileInfo::exists(path("lib/x")));
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

    // Links that lead elsewhere inside the folder, also through other links, are kept as they are.
    void linksInsideKept_data() {
        QTest::addColumn<QList<Entry>>("entries");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("leadsTo");
        QList<Entry> chain = goodTree();
        chain << Entry{"Quillbay/lib/current", {}, Entry::Type::symlink, 0777, "../lib"}
              << Entry{"Quillbay/bin/libq", {}, Entry::Type::symlink, 0777, "../lib/current/libq.so"};
        QTest::newRow("through two links") << chain << "bin/libq"
                                           << "lib/libq.so.1";
        QList<Entry> upAndDown = goodTree();
        upAndDown << Entry{"Quillbay/share/doc/", {}, Entry::Type::folder, 0755, {}}
                  << Entry{"Quillbay/share/doc/top", {}, Entry::Type::symlink, 0777, "../.."}
                  << Entry{"Quillbay/share/doc/program", {}, Entry::Type::symlink, 0777, "top/bin/quillbay"};
        QTest::newRow("up to the top and down") << upAndDown << "share/doc/program"
                                                << "bin/quillbay";
        // A link that a folder later takes the place of no longer counts as one.
        QList<Entry> replaced = goodTree();
        replaced << Entry{"Quillbay/a", {}, Entry::Type::symlink, 0777, "lib"}
                 << Entry{"Quillbay/a/", {}, Entry::Type::folder, 0755, {}}
                 << Entry{"Quillbay/a/up", {}, Entry::Type::symlink, 0777, "../lib/libq.so.1"};
        QTest::newRow("a link replaced by a folder") << replaced << "a/up"
                                                     << "lib/libq.so.1";
    }
    void linksInsideKept() {
        QFETCH(QList<Entry>, entries);
        QFETCH(QString, link);
        QFETCH(QString, leadsTo);
        QTemporaryDir out;
        const auto x = UpdateInstaller::extract(archive(entries), out.path(), 1 << 20);
        QVERIFY2(x.failure == Failure::none, qPrintable(x.detail));
        const QString root = QFileInfo(out.path()).canonicalFilePath() + "/Quillbay/";
        QCOMPARE(QFileInfo(root + link).canonicalFilePath(), root + leadsTo);
    }

    // The work folder reached through links the user made: a linked cache (~/.cache elsewhere) and a
    // linked home (/home -> /var/home); the install folder lives under the linked home too.
    void linkedWorkFolder_data() {
        QTest::addColumn<bool>("linkedHome");
        QTest::newRow("linked cache") << false;
        QTest::newRow("linked home") << true;
    }
    void linkedWorkFolder() {
        QFETCH(bool, linkedHome);
        auto r = request(archive(goodTree()));
        if (linkedHome) {
            QVERIFY(QFile::link(m_dir->path(), path("home-link")));
            const QString home = path("home-link");
            r.workDir = home + "/work";
            r.installDir = home + "/opt/Quillbay";
            r.helper = home + "/bin/quillbay-swap";
        } else {
            QVERIFY(QDir().mkpath(path("elsewhere/cache")));
            QVERIFY(QFile::link(path("elsewhere/cache"), path("cache-link")));
            r.workDir = path("cache-link/Quillbay/update");
        }
        const auto out = UpdateInstaller::prepare(r);
        QVERIFY2(out.failure == Failure::none, qPrintable(out.detail));
        QVERIFY(QFileInfo(r.installDir + ".new/bin/quillbay").isExecutable());
        QVERIFY(QFileInfo(r.installDir + ".new/lib/libq.so").isSymLink());
        QCOMPARE(QFileInfo(r.installDir + ".new/lib/libq.so").canonicalFilePath(),
                 QFileInfo(r.installDir + ".new/lib/libq.so.1").canonicalFilePath());
        QCOMPARE(QDir(r.workDir).entryList({"quillbay-update-*"}, QDir::Dirs), QStringList());
    }

    // A failure to write names the system's reason, never an errno of 0.
    void unwritableFolderNamesTheReason() {
        QVERIFY(QDir().mkpath(path("ro")));
        ReadOnlyFolder readOnly(path("ro"));
        if (!readOnly.works())
            QSKIP("no way to make a folder read-only here");
        const auto x = UpdateInstaller::extract(archive(goodTree()), path("ro"), 1 << 20);
        QCOMPARE(x.failure, Failure::cannotOpen);
        QVERIFY2(x.detail.startsWith("entry 1 cannot be written: ") && !x.detail.contains("Success"),
                 qPrintable(x.detail));
        // The system refused the write: its reason goes to the user, not "Couldn't open the update file".
        QVERIFY2(x.systemError == EACCES || x.systemError == EPERM,
                 qPrintable(QString::number(x.systemError)));
    }

    // A refused link says which rule it broke, by the entry's place in the archive.
    void linkRefusalsSayWhy_data() {
        QTest::addColumn<QList<Entry>>("links");
        QTest::addColumn<QString>("detail");
        const auto chain = [](int n) {
            QList<Entry> out;
            for (int i = 1; i <= n; ++i)
                out << Entry{QString("Quillbay/c%1").arg(i),
                             {},
                             Entry::Type::symlink,
                             0777,
                             i == n ? QString("bin/quillbay") : QString("c%1").arg(i + 1)};
            return out;
        };
        const int first = int(goodTree().size()) + 1;
        QTest::newRow("out of the folder")
            << QList<Entry>{{"Quillbay/up", {}, Entry::Type::symlink, 0777, ".."}}
            << QString("entry %1 is a link that leaves its folder").arg(first);
        QTest::newRow("absolute") << QList<Entry>{{"Quillbay/etc", {}, Entry::Type::symlink, 0777, "/etc"}}
                                  << QString("entry %1 is a link that leaves its folder").arg(first);
        QTest::newRow("41 links")
            << chain(41) << QString("entry %1 leads through a chain of more than 40 links").arg(first);
        // Through a link to a folder in the middle of the path: that link counts too.
        QList<Entry> viaFolder = chain(40);
        viaFolder.last().linkTarget = "dir/quillbay";
        viaFolder << Entry{"Quillbay/dir", {}, Entry::Type::symlink, 0777, "bin"};
        QTest::newRow("40 links and a folder link")
            << viaFolder << QString("entry %1 leads through a chain of more than 40 links").arg(first);
        // Judged once both are unpacked, the first named.
        QTest::newRow("a loop") << QList<Entry>{{"Quillbay/x", {}, Entry::Type::symlink, 0777, "y"},
                                                {"Quillbay/y", {}, Entry::Type::symlink, 0777, "x"}}
                                << QString("entry %1 leads through a chain of more than 40 links").arg(first);
        QTest::newRow("a walk too long") << QList<Entry>{{"Quillbay/w",
                                                          {},
                                                          Entry::Type::symlink,
                                                          0777,
                                                          QString("./").repeated(5000) + "lib"}}
                                         << QString("entry %1 is a link too long to follow").arg(first);
        QTest::newRow("40 links") << chain(40) << QString();
    }
    void linkRefusalsSayWhy() {
        QFETCH(QList<Entry>, links);
        QFETCH(QString, detail);
        QTemporaryDir out;
        const auto x = UpdateInstaller::extract(archive(goodTree() + links), out.path(), 1 << 20);
        QCOMPARE(x.detail, detail);
        QCOMPARE(x.failure, detail.isEmpty() ? Failure::none : Failure::unsafeContent);
        QCOMPARE(x.systemError, 0);
    }

    // Unpacking tells how far it has come, rising to 100 %.
    void progressRises() {
        QList<Entry> tree = goodTree();
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        quint32 seed = 7;
        for (int i = 0; i < 40; ++i) {
            for (char& c : noise)
                c = char((seed = seed * 1103515245u + 12345u) >> 24); // little for xz to squeeze
            tree << Entry{QString("Quillbay/share/f%1").arg(i), noise, Entry::Type::file, 0644, {}};
        }
        QList<int> seen;
        QTemporaryDir out;
        const auto x = UpdateInstaller::extract(archive(tree), out.path(), 1 << 30, 1000,
                                                [&seen](int percent) { seen << percent; });
        QVERIFY2(x.failure == Failure::none, qPrintable(x.detail));
        QVERIFY2(seen.size() >= 5, qPrintable(QString::number(seen.size())));
        for (qsizetype i = 1; i < seen.size(); ++i)
            QVERIFY(seen[i] > seen[i - 1]);
        QVERIFY(seen.first() >= 0);
        QCOMPARE(seen.last(), 100);
    }

    // The percentage follows the work done, not the compressed bytes read: a large program first, then
    // many small files. By compressed bytes the program alone is nearly all of it; by the work, the files
    // written keep pace with the percentage.
    void progressFollowsTheFilesWritten() {
        QList<Entry> tree = goodTree();
        QByteArray noise(4 << 20, Qt::Uninitialized);
        quint32 seed = 11;
        for (char& c : noise)
            c = char((seed = seed * 1103515245u + 12345u) >> 24);
        tree << Entry{"Quillbay/lib/libbig.so", noise, Entry::Type::file, 0644, {}};
        const int small = 400;
        for (int i = 0; i < small; ++i)
            tree << Entry{QString("Quillbay/share/s%1").arg(i), "s", Entry::Type::file, 0644, {}};
        QTemporaryDir out;
        QList<std::pair<int, int>> seen; // percent, small files on disk
        const auto x = UpdateInstaller::extract(archive(tree), out.path(), 1 << 30, 1000, [&](int percent) {
            const int written = int(QDir(out.filePath("Quillbay/share")).entryList(QDir::Files).size());
            seen << std::pair(percent, written);
        });
        QVERIFY2(x.failure == Failure::none, qPrintable(x.detail));
        QCOMPARE(seen.last().first, 100);
        for (const auto& [percent, written] : std::as_const(seen)) {
            // Once past the program, each small file is a like share of what is left to do.
            const double shareWritten = double(written) / small;
            QVERIFY2(
                percent <= 30 + 100 * shareWritten,
                qPrintable(QString("%1 % with %2 of %3 files written").arg(percent).arg(written).arg(small)));
        }
        // Half-way, about half the small files are there.
        const auto half = std::find_if(seen.begin(), seen.end(), [](const auto& p) { return p.first >= 50; });
        QVERIFY(half != seen.end());
        QVERIFY2(half->second >= small / 4 && half->second <= small * 3 / 4,
                 qPrintable(QString::number(half->second)));
    }

    void extractionLimits() {
        using Extracted = UpdateInstaller::Extracted;
        QList<Entry> big = goodTree();
        big << Entry{"Quillbay/big", QByteArray(4096, 'z'), Entry::Type::file, 0644, {}};
        const QString a = archive(big);
        QTemporaryDir out;
        Extracted x = UpdateInstaller::extract(a, out.path(), 1000);
        QCOMPARE(x.failure, Failure::unsafeContent);
        QVERIFY(x.detail.contains("larger"));
        // One entry more than allowed, and exactly as many.
        QTemporaryDir outEntries;
        QCOMPARE(UpdateInstaller::extract(a, outEntries.path(), 1 << 20, int(big.size()) - 1).failure,
                 Failure::unsafeContent);
        QTemporaryDir out2;
        x = UpdateInstaller::extract(a, out2.path(), 1 << 20, int(big.size()));
        QVERIFY2(x.failure == Failure::none, qPrintable(x.detail));
        // Not a tar archive at all, and a truncated one.
        QVERIFY(writeFile(path("junk"), "not an archive"));
        QCOMPARE(UpdateInstaller::extract(path("junk"), out.path(), 1 << 20).failure, Failure::cannotOpen);
        // An archive that cannot be read is no system error: nothing was refused by the disk.
        QCOMPARE(UpdateInstaller::extract(path("junk"), out.path(), 1 << 20).systemError, 0);
        QFile f(a);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() / 2));
        f.close();
        QTemporaryDir out3;
        QCOMPARE(UpdateInstaller::extract(a, out3.path(), 1 << 20).failure, Failure::cannotOpen);
    }

    void setIdBitsDropped() {
        QList<Entry> tree = goodTree();
        tree[3].mode = 04777;
        const QString a = archive(tree);
        QTemporaryDir out;
        const auto x = UpdateInstaller::extract(a, out.path(), 1 << 20);
        QVERIFY2(x.failure == Failure::none, qPrintable(x.detail));
        const QFileInfo program(out.filePath("Quillbay/bin/quillbay"));
        QVERIFY(program.isExecutable());
        QVERIFY(!(program.permissions() & QFileDevice::WriteOther));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(program.filePath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07000, 0u);
    }

    // A start from "X.old": the name comes back only when "X" is missing and no swap is under way.
    void restoreInstallFolder_data() {
        QTest::addColumn<int>("setup");
        QTest::addColumn<bool>("restored");
        QTest::newRow("folder missing") << 0 << true;
        QTest::newRow("folder there") << 1 << false;
        QTest::newRow("a link where the folder was") << 2 << false;
        QTest::newRow("swap under way") << 3 << false;
        QTest::newRow("no marker") << 4 << false;
        QTest::newRow("not an .old folder") << 5 << false;
    }
    void restoreInstallFolder() {
        QFETCH(int, setup);
        QFETCH(bool, restored);
        const QString base = path("opt/Q");
        const QString old = base + ".old";
        QVERIFY(makeProgramFolder(setup == 5 ? base + ".older" : old));
        if (setup == 1)
            QVERIFY(makeProgramFolder(base));
        else if (setup == 2)
            QVERIFY(QFile::link(path("nowhere"), base));
        else if (setup == 4)
            QVERIFY(QFile::remove(old + "/.quillbay-bundle"));
        int held = -1;
        if (setup == 3)
            QVERIFY((held = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1)) >= 0);
        const QString from = setup == 5 ? base + ".older" : old;
        const QString now = UpdateInstaller::restoreInstallFolder(from, path("work"));
        if (held >= 0)
            ::close(held);
        QCOMPARE(now, restored ? base : from);
        QCOMPARE(QFileInfo(from).isDir(), !restored);
        if (restored)
            QVERIFY(FolderSwap::holdsProgram(QFile::encodeName(base).toStdString()));
    }

    void leftoversListedAndRemoved() {
        // What a kill while unpacking leaves: the archive and a half-unpacked tree; and folders beside
        // the install folder from swaps cut short.
        QVERIFY(writeFile(path("work/Quillbay-1.3.0-A.tar.xz"), QByteArray(1000, 'a')));
        QVERIFY(QDir().mkpath(path("work/quillbay-update-B/Quillbay/lib")));
        QVERIFY(writeFile(path("work/quillbay-update-B/Quillbay/lib/part"), "p"));
        QVERIFY(writeFile(path("work/quillbay-install-C.sh"), "#!/bin/sh\n"));
        QVERIFY(writeFile(lockFile(), ""));
        QVERIFY(makeProgramFolder(installDir() + ".new"));
        QVERIFY(makeProgramFolder(installDir() + ".old"));
        QVERIFY(QDir().mkpath(installDir() + ".failed/bin"));
        QVERIFY(makeProgramFolder(path("opt/Other.old"))); // not beside this install folder
        QStringList found = UpdateInstaller::leftovers(installDir(), path("work"));
        found.sort();
        QStringList expected = {path("work/Quillbay-1.3.0-A.tar.xz"),
                                path("work/quillbay-update-B"),
                                path("work/quillbay-install-C.sh"),
                                installDir() + ".new",
                                installDir() + ".old",
                                installDir() + ".failed"};
        expected.sort();
        QCOMPARE(found, expected);

        QCOMPARE(UpdateInstaller::removeLeftovers(found, path("work"), m_processes), int(found.size()));
        QCOMPARE(UpdateInstaller::leftovers(installDir(), path("work")), QStringList());
        QVERIFY(QFileInfo::exists(lockFile()));
        QVERIFY(QFileInfo(installDir() + "/bin/quillbay").isFile());
        QVERIFY(QFileInfo::exists(path("opt/Other.old")));
    }

    void leftoversBesideAFolderNotOurs() {
        QVERIFY(QFile::remove(installDir() + "/.quillbay-bundle"));
        QVERIFY(makeProgramFolder(installDir() + ".old"));
        QCOMPARE(UpdateInstaller::leftovers(installDir(), path("work")), QStringList());
    }

    void leftoversKeptWhileASwapRuns_data() {
        QTest::addColumn<bool>("earlierScript");
        QTest::newRow("the lock is held") << false;
        QTest::newRow("an earlier version's script runs") << true;
    }
    void leftoversKeptWhileASwapRuns() {
        QFETCH(bool, earlierScript);
        QVERIFY(makeProgramFolder(installDir() + ".old"));
        const QStringList found = UpdateInstaller::leftovers(installDir(), path("work"));
        QCOMPARE(found, QStringList{installDir() + ".old"});
        QProcess script;
        int held = -1;
        if (earlierScript) {
            // As the earlier version started it: sh <work>/quillbay-install-<UUID>.sh pid destination ...
            // It runs until its input closes, with no child of its own.
            QVERIFY(writeFile(path("work/quillbay-install-D.sh"), "read line\n"));
            script.start("/bin/sh", {path("work/quillbay-install-D.sh"), "1", installDir()});
            QVERIFY(script.waitForStarted());
        } else {
            QVERIFY((held = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1)) >= 0);
        }
        const int removed = UpdateInstaller::removeLeftovers(found, path("work"), m_processes);
        if (held >= 0)
            ::close(held);
        script.closeWriteChannel();
        QVERIFY(!earlierScript || script.waitForFinished(10000));
        QCOMPARE(removed, -1);
        QVERIFY(FolderSwap::holdsProgram(QFile::encodeName(installDir() + ".old").toStdString()));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateInstall)
#include "tst_UpdateInstall.moc"
