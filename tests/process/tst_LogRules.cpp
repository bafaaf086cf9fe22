// The built program's log as a user switches it: its lines unchanged whatever the rules say, and a
// subsystem's debug lines only when QT_LOGGING_RULES names them. The program is started as a second copy
// (this test holds the instance lock), so it writes both kinds and ends before it needs a display.
#include "fakes/TestSupport.h"
#include "platform/SingleInstance.h"

#include <QProcess>
#include <QtTest>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");
const QByteArray kRefusalLine = QByteArray("[Quillbay] já existe uma instância rodando — encerrando esta.\n");

} // namespace

class tst_LogRules : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_home;

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary)); }

    void init() { m_home = TestSupport::isolateHome(); }

    void rules_data() {
        QTest::addColumn<QString>("rules"); // null: the variable is unset
        QTest::addColumn<bool>("debugLine");
        QTest::newRow("unset") << QString() << false;
        QTest::newRow("empty") << QString("") << false;
        QTest::newRow("the category") << QStringLiteral("quillbay.platform.debug=true") << true;
        QTest::newRow("another category") << QStringLiteral("quillbay.clipboard.debug=true") << false;
        QTest::newRow("all of ours") << QStringLiteral("quillbay.*.debug=true") << true;
        QTest::newRow("switched on, then off")
            << QStringLiteral("quillbay.*.debug=true;quillbay.platform.debug=false") << false;
        QTest::newRow("information off") << QStringLiteral("*.info=false;quillbay.*=false") << false;
    }
    void rules() {
        QFETCH(QString, rules);
        QFETCH(bool, debugLine);
        SingleInstance holder(QStringLiteral("com.farrowlight.quillbay"));
        QCOMPARE(holder.tryAcquire(), SingleInstance::Result::Acquired);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
        env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
        if (!rules.isNull())
            env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(kBinary, {});
        QVERIFY(program.waitForStarted(5000));
        // Generous: the refusal needs no display, but a loaded machine can be slow to schedule it.
        QVERIFY2(program.waitForFinished(30000), "the refused copy is still running after 30 s");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        QByteArray expected;
        if (debugLine)
            expected = "[Quillbay] platform: instance lock " + holder.lockPath().toUtf8() +
                       " is held by another copy\n";
        expected += kRefusalLine;
        QCOMPARE(program.readAllStandardError(), expected);
        QCOMPARE(program.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(tst_LogRules)
#include "tst_LogRules.moc"
