// The quit question: its body for different service counts, and that Cancel leaves everything alone.
#include "views/AppQuit.h"

#include <QtTest>

namespace {

class ScriptedPrompt final : public AppQuit::Prompt {
public:
    explicit ScriptedPrompt(bool answer)
        : m_answer(answer) {}
    bool confirm(const QString& message, const QString& informative) override {
        ++asked;
        lastMessage = message;
        lastBody = informative;
        return m_answer;
    }
    int asked = 0;
    QString lastMessage;
    QString lastBody;

private:
    bool m_answer;
};

const QString first = QStringLiteral("The island leaves the notch and the camera mirror turns off. ");
const QString last = QStringLiteral("Reopen it from Launchpad whenever you want.");

} // namespace

class tst_AppQuit : public QObject {
    Q_OBJECT
private slots:
    void body_data();
    void body();
    void cancelChangesNothing();
};

void tst_AppQuit::body_data() {
    QTest::addColumn<int>("running");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << 0 << first + last;
    QTest::newRow("negative counts as none") << -1 << first + last;
    QTest::newRow("two") << 2
                         << first +
                                "2 service(s) you started keep running in the background, and show up again "
                                "when you reopen. " +
                                last;
}

void tst_AppQuit::body() {
    QFETCH(int, running);
    QFETCH(QString, expected);
    QCOMPARE(AppQuit::informativeText(running), expected);
}

void tst_AppQuit::cancelChangesNothing() {
    ScriptedPrompt prompt(false);
    bool quitSeen = false;
    // A quit request would reach the event loop; watch for it.
    QEventLoop loop;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitSeen = true; });
    QVERIFY(!AppQuit::confirmAndTerminate(2, prompt));
    QCOMPARE(prompt.asked, 1);
    QCOMPARE(prompt.lastMessage, "Quit Quillbay?");
    QCOMPARE(prompt.lastBody, AppQuit::informativeText(2));
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    QCOMPARE(loop.exec(), 0);
    QVERIFY(!quitSeen);
}

QTEST_MAIN(tst_AppQuit)
#include "tst_AppQuit.moc"
