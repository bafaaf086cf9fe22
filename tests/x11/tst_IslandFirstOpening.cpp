// The built program under openbox, hovered with real pointer motion: the island grows through its
// animation frames on the first opening after launch as on every later one, never jumping from the
// collapsed width to the full one. The program's debug log of the island's frames gives the widths.
#include "app/NotchState.h"
#include "fakes/DesktopSession.h"
#include "fakes/TestSupport.h"
#include "x11/PointerMotion.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <csignal>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");
constexpr double kCollapsedWidth = 196;
const double kFullWidth = NotchState::expandedSize().width();

// The widths of the frames logged in `log`, in order.
QList<double> frameWidths(const QByteArray& log) {
    static const QRegularExpression re(QStringLiteral("frame (\\d+(?:\\.\\d+)?) x"));
    QList<double> widths;
    for (auto it = re.globalMatch(QString::fromLatin1(log)); it.hasNext();)
        widths.append(it.next().captured(1).toDouble());
    return widths;
}

bool reachedFull(const QList<double>& widths) {
    return std::any_of(widths.begin(), widths.end(), [](double w) { return w >= kFullWidth - 1.0; });
}

bool backCollapsed(const QList<double>& widths) {
    return !widths.isEmpty() && widths.last() <= kCollapsedWidth + 0.5;
}

// The distinct widths shown between the collapsed island and its first reaching the full width.
QSet<int> widthsOnTheWay(const QList<double>& widths) {
    QSet<int> between;
    for (double w : widths) {
        if (w >= kFullWidth - 1.0)
            break;
        if (w > kCollapsedWidth + 1.0)
            between.insert(int(std::lround(w)));
    }
    return between;
}

QString describe(const QList<double>& widths) {
    QStringList parts;
    for (double w : widths)
        parts << QString::number(w, 'f', 1);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class tst_IslandFirstOpening : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QProcess m_wm;
    QProcess m_program;
    QByteArray m_output;

    bool panelMapped() {
        QString out;
        return DesktopSession::run(QStringLiteral("xwininfo"), {"-name", "Quillbay island"}, &out) &&
               out.contains(QLatin1String("IsViewable"));
    }
    // Hovers the island and takes the pointer away again; the widths of the frames in between.
    QList<double> openAndClose() {
        const qsizetype from = m_output.size();
        moveLikeAMouse(960, 5);
        const bool opened =
            TestSupport::waitUntil([&] { return reachedFull(frameWidths(m_output.mid(from))); }, 10000);
        const QList<double> widths = frameWidths(m_output.mid(from));
        moveLikeAMouse(200, 900);
        if (opened) {
            const qsizetype closing = m_output.size();
            TestSupport::waitUntil([&] { return backCollapsed(frameWidths(m_output.mid(closing))); }, 10000);
        }
        return widths;
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        TestSupport::stayOffTheMakersHost();
        QVERIFY2(DesktopSession::startOpenbox(m_wm), "openbox is needed");
        connect(&m_program, &QProcess::readyRead, this, [this] { m_output += m_program.readAll(); });
    }
    void cleanupTestCase() { DesktopSession::stop(m_wm); }
    void cleanup() { DesktopSession::stop(m_program); }

    void everyOpeningGrowsThroughItsFrames_data() {
        QTest::addColumn<bool>("atOnce");
        QTest::addColumn<int>("warmUps");
        QTest::newRow("first opening, hovered as soon as the island shows") << true << 0;
        QTest::newRow("first opening, hovered once the launch is logged") << false << 0;
        QTest::newRow("a warm opening") << false << 2;
    }
    void everyOpeningGrowsThroughItsFrames() {
        QFETCH(bool, atOnce);
        QFETCH(int, warmUps);
        moveLikeAMouse(200, 900);
        m_output.clear();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillbay.island.frames.debug=true"));
        m_program.setProcessEnvironment(env);
        m_program.setProgram(kBinary);
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.start();
        QVERIFY(m_program.waitForStarted(5000));
        QVERIFY2(TestSupport::waitUntil([this] { return panelMapped(); }, 15000), m_output.constData());
        if (!atOnce) // the launch has run to its end
            QVERIFY2(TestSupport::waitUntil([this] { return m_output.contains("screen.frame="); }, 15000),
                     m_output.constData());
        for (int i = 0; i < warmUps; ++i)
            QVERIFY(reachedFull(openAndClose()));

        const QList<double> widths = openAndClose();
        QVERIFY2(reachedFull(widths), qPrintable(describe(widths)));
        // A jump shows at most one width on the way; a frame late under load still moves it a little.
        QVERIFY2(widthsOnTheWay(widths).size() >= 3, qPrintable(describe(widths)));
    }
};

QTEST_MAIN(tst_IslandFirstOpening)
#include "tst_IslandFirstOpening.moc"
