// The built program as the next start after an update that was cut short: started from "X.old" while "X"
// is missing it takes the name back and runs from there; started from "X" it removes what the update left
// (the archive, a half-unpacked tree, the folders beside the install folder).
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "fakes/UpdateFixtures.h"
#include "platform/FolderSwap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");

} // namespace

class tst_InterruptedUpdate : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

    QString path(const QString& n) const { return m_home->filePath(n); }
    QString installDir() const { return path("opt/Quillbay"); }
    QString workDir() const { return path(".cache/Quillbay/update"); }

    // An install folder holding the built program (linked where the file system allows, else copied).
    static bool install(const QString& folder) {
        const QString program = folder + "/bin/quillbay";
        if (!QDir().mkpath(folder + "/bin") ||
            !UpdateFixtures::writeFile(folder + "/.quillbay-bundle", "0.1.0\n"))
            return false;
        return ::link(QFile::encodeName(kBinary).constData(), QFile::encodeName(program).constData()) == 0 ||
               QFile::copy(kBinary, program);
    }
    bool plantLeftovers() const {
        return UpdateFixtures::writeFile(workDir() + "/Quillbay-1.3.0-A.tar.xz", QByteArray(4096, 'a')) &&
               UpdateFixtures::writeFile(workDir() + "/quillbay-update-B/Quillbay/lib/part", "half") &&
               UpdateFixtures::writeFile(installDir() + ".new/bin/quill", "half");
    }
    QStringList leftovers() const {
        QStringList out;
        for (const char* s : {".new", ".old", ".failed"})
            if (QFileInfo::exists(installDir() + s))
                out << installDir() + s;
        for (const QString& n :
             QDir(workDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            if (n != FolderSwap::kLockName)
                out << n;
        return out;
    }
    [[nodiscard]] bool start(QProcess& program, const QString& folder) {
        return TestSupport::passes([&] {
            program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
            program.start(folder + "/bin/quillbay", {});
            QVERIFY(program.waitForStarted(10000));
        });
    }
    static QString runningFrom(QProcess& program) {
        return QFileInfo(QStringLiteral("/proc/%1/exe").arg(program.processId())).symLinkTarget();
    }
    [[nodiscard]] static bool stop(QProcess& program) {
        return TestSupport::passes([&] {
            program.terminate();
            QVERIFY(program.waitForFinished(20000));
            QCOMPARE(program.exitCode(), 0);
        });
    }

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary)); }
    void init() {
        m_home = TestSupport::isolateHome();
        TestSupport::stayOffTheMakersHost();
    }

    void startFromOldTakesTheNameBack() {
        QVERIFY(install(installDir() + ".old"));
        QVERIFY(UpdateFixtures::writeFile(workDir() + "/Quillbay-1.3.0-A.tar.xz", "a"));
        QProcess program;
        QVERIFY(start(program, installDir() + ".old"));
        QVERIFY2(QTest::qWaitFor([&] { return QFileInfo(installDir() + "/bin/quillbay").isFile(); }, 20000),
                 program.readAllStandardError().constData());
        QVERIFY(!QFileInfo::exists(installDir() + ".old"));
        QCOMPARE(runningFrom(program), installDir() + "/bin/quillbay");
        // Running from the folder's own name, it clears what the update left like any start.
        QVERIFY(QTest::qWaitFor([&] { return leftovers().isEmpty(); }, 20000));
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(stop(program));
    }

    void startRemovesLeftovers() {
        QVERIFY(install(installDir()));
        QVERIFY(install(installDir() + ".old"));
        QVERIFY(plantLeftovers());
        QProcess program;
        QVERIFY(start(program, installDir()));
        QVERIFY2(QTest::qWaitFor([&] { return leftovers().isEmpty(); }, 20000),
                 qPrintable(leftovers().join(' ')));
        QVERIFY(QFileInfo(installDir() + "/bin/quillbay").isFile());
        QVERIFY(stop(program));
    }
};

QTEST_GUILESS_MAIN(tst_InterruptedUpdate)
#include "tst_InterruptedUpdate.moc"
