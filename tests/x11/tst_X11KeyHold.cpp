// Held keys on a real X server: a closing key pressed in a window of ours stops the keyboard, and what
// is typed after it goes, once let go, to whichever window holds the focus by then: an xterm running
// `cat > file` when the focus moved to it, our window when it stayed, and our window after the time
// limit when nobody lets go.
#include "fakes/DesktopSession.h"
#include "fakes/TestSupport.h"
#include "platform/x11/X11DesktopWindows.h"

#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QRasterWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool xdotool(const QStringList& args, QString* out = nullptr) {
    return DesktopSession::run(QStringLiteral("xdotool"), args, out);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A window of ours that notes the text of every key pressed in it, and calls `onKey` for each key.
class TypedWindow final : public QRasterWindow {
public:
    QString typed;
    int escapes = 0;
    std::function<void(int)> onKey;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape)
            ++escapes;
        else
            typed += e->text();
        if (onKey)
            onKey(e->key());
    }
};

} // namespace

class tst_X11KeyHold : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_file;
    QProcess m_xterm;
    quint32 m_terminal = 0;
    X11DesktopWindows m_desktop;

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("xterm")).isEmpty())
            QSKIP("xterm is not installed (Debian package xterm)");
        QVERIFY2(xdotool({"version"}), "xdotool is needed");
        QVERIFY(m_desktop.available());
        m_file = m_dir.filePath(QStringLiteral("typed.txt"));
        m_xterm.start(QStringLiteral("xterm"), {"-title", "hold-target", "-geometry", "80x10+100+500", "-e",
                                                "sh", "-c", QStringLiteral("cat > '%1'").arg(m_file)});
        QVERIFY(m_xterm.waitForStarted(5000));
        QVERIFY(TestSupport::pollUntil(
            [this] {
                QString out;
                if (xdotool({"search", "--onlyvisible", "--name", "^hold-target$"}, &out))
                    m_terminal = out.trimmed().split(u'\n').first().toUInt();
                return m_terminal != 0 && QFile::exists(m_file);
            },
            10000));
    }
    void cleanupTestCase() { DesktopSession::stop(m_xterm); }

    // `moveTo`: "terminal" (the key hands the focus there before letting go), "stay" (let go with the
    // focus still ours), "nobody" (nobody lets go: the time limit does).
    void whatIsTypedAfterTheKeyGoesWhereTheFocusIs_data() {
        QTest::addColumn<QString>("moveTo");
        QTest::newRow("focus moved to another program") << "terminal";
        QTest::newRow("focus stayed ours") << "stay";
        QTest::newRow("nobody lets go") << "nobody";
    }
    void whatIsTypedAfterTheKeyGoesWhereTheFocusIs() {
        QFETCH(QString, moveTo);
        TypedWindow window;
        window.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        window.setGeometry(700, 100, 200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const quint32 ours = quint32(window.winId());
        m_desktop.setInputFocus(ours);
        QTRY_COMPARE(m_desktop.inputFocus(), std::optional<quint32>(ours));
        QVERIFY(m_desktop.holdKeysAfter(window.winId()));

        const QByteArray before = readFile(m_file);
        bool keyboardStopped = true;
        window.onKey = [&](int key) {
            if (key == Qt::Key_Return)
                m_desktop.passHeldKeys(); // it held the keyboard too, with nothing after it
            if (key != Qt::Key_Escape)
                return;
            // The letters after Escape are in the server already, stopped: none reached anyone yet.
            QTest::qWait(100); // proves the held letters stay where they are meanwhile
            keyboardStopped = keyboardStopped && window.typed.isEmpty() && readFile(m_file) == before;
            if (moveTo == QLatin1String("terminal"))
                m_desktop.setInputFocus(m_terminal);
            if (moveTo != QLatin1String("nobody"))
                m_desktop.passHeldKeys();
        };
        QVERIFY(xdotool({"key", "--delay", "1", "Escape", "h", "e", "l", "d", "Return"}));
        QTRY_COMPARE(window.escapes, 1);
        if (moveTo == QLatin1String("terminal")) {
            QTRY_COMPARE_WITH_TIMEOUT(readFile(m_file), before + "held\n", 10000);
            QCOMPARE(window.typed, QString());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(window.typed, QStringLiteral("held\r"), 10000);
            QCOMPARE(readFile(m_file), before);
        }
        QVERIFY(keyboardStopped);
        window.onKey = {};
    }
};

QTEST_MAIN(tst_X11KeyHold)
#include "tst_X11KeyHold.moc"
