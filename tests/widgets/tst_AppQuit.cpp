// The quit question: its body for different service counts, that Cancel leaves everything alone, and where
// it appears.
#include "views/AppQuit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
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
    void questionSitsBelowIslandOnItsScreen();
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

void tst_AppQuit::questionSitsBelowIslandOnItsScreen() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    QCOMPARE(screens.size(), 2);
    const QRect second = screens[1]->geometry();
    QWidget panel(nullptr, Qt::FramelessWindowHint | Qt::Tool);
    panel.setGeometry(second.center().x() - 320, second.top(), 640, 344);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    auto* dashboard = new QWidget(&panel);

    QRect box;
    bool onTop = false;
    QString defaultButton;
    QTimer::singleShot(0, this, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* question = qobject_cast<QMessageBox*>(w);
            if (!question || !question->isVisible())
                continue;
            box = question->frameGeometry();
            onTop = question->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            defaultButton = question->defaultButton() ? question->defaultButton()->text() : QString();
            for (QAbstractButton* b : question->buttons())
                if (b->text() == "Cancel")
                    b->click();
        }
    });
    bool quitSeen = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, this, [&] { quitSeen = true; });
    QVERIFY(!AppQuit::confirmAndTerminate(1, dashboard));
    QVERIFY2(second.contains(box), "the question belongs on the island's screen");
    QVERIFY(box.top() > panel.frameGeometry().bottom());
    QVERIFY(onTop);
    QCOMPARE(defaultButton, "Quit");
    QVERIFY(!quitSeen);
}

// Two screens side by side, so that the question has to follow the island to the second one.
int main(int argc, char** argv) {
    const QString config = QDir::temp().filePath(
        QStringLiteral("tst_AppQuit-screens-%1.json").arg(QCoreApplication::applicationPid()));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"screens": [
        {"name": "left", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "dpr": 1},
        {"name": "right", "x": 1920, "y": 0, "width": 1440, "height": 900, "logicalDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    QFile::remove(config);
    tst_AppQuit test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_AppQuit.moc"
