// A file on the shelf dragged out of the open island with the mouse (XTEST) under openbox into a real
// GTK window: the window receives the file's URL as text/uri-list, and the island knows a drag is
// leaving it for as long as it lasts.
#include "app/NotchPanel.h"
#include "fakes/DesktopSession.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "platform/Platform.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11DesktopWindows.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/ShelfService.h"
#include "views/DashboardView.h"
#include "views/Spring.h"
#include "x11/OpenIsland.h"
#include "x11/PointerMotion.h"

#include <QDrag>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

constexpr int kWaitMs = 15000;
const QString kTarget = QStringLiteral(QUILLBAY_SOURCE_DIR "/tests/x11/helpers/gtk_drop_target.py");

using DesktopSession::run;

// Where the GTK window's middle is on the screen, once the window manager has placed it.
std::optional<QPoint> windowCentre(const QString& name) {
    QString id, geometry;
    if (!run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", name}, &id) || id.isEmpty())
        return std::nullopt;
    if (!run(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", id.split(u'\n').first()}, &geometry))
        return std::nullopt;
    QMap<QString, int> v;
    for (const QString& line : geometry.split(u'\n'))
        if (const qsizetype eq = line.indexOf(u'='); eq > 0)
            v.insert(line.left(eq), line.mid(eq + 1).toInt());
    return QPoint(v.value("X") + v.value("WIDTH") / 2, v.value("Y") + v.value("HEIGHT") / 2);
}

} // namespace

class tst_ShelfDragOut : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    OpenIsland m_island;
    QProcess m_wm;
    QProcess m_target;
    QByteArray m_targetOutput;

    bool targetSaid(const QByteArray& what) {
        return TestSupport::waitUntil(
            [&] {
                m_targetOutput += m_target.readAllStandardOutput();
                return m_targetOutput.contains(what);
            },
            kWaitMs);
    }

private slots:
    void initTestCase() {
        if (!QFile::exists(QStringLiteral("/usr/lib/python3/dist-packages/gi/__init__.py")))
            QSKIP("python3-gi is not installed");
        m_home = TestSupport::isolateHome();
        Animations::setEnabled(false);
        QVERIFY2(DesktopSession::startOpenbox(m_wm), "openbox is needed");
        m_target.setProcessChannelMode(QProcess::MergedChannels);
        m_target.start(QStringLiteral("/usr/bin/python3"), {kTarget});
        QVERIFY(m_target.waitForStarted(5000));
        QVERIFY2(targetSaid("ready"), m_target.readAllStandardError().constData());

        QVERIFY(m_island.open(m_home->filePath("defaults.json")));
    }
    void cleanupTestCase() {
        m_island.close();
        for (QProcess* p : {&m_target, &m_wm}) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

    // A name with a space and a non-ASCII letter: the URL carries them percent-encoded.
    void droppedIntoAGtkWindow() {
        QTemporaryDir files;
        const QString path = files.filePath(QStringLiteral("relatório final.txt"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("shelved\n");
        }
        m_island.model->shelf().add({QUrl::fromLocalFile(path)});
        m_island.model->setTab(TabSelection::shelf());
        QWidget* name = nullptr;
        QVERIFY(TestSupport::waitUntil(
            [&] {
                name = m_island.view->findChild<QWidget*>(QStringLiteral("shelfName"));
                return name && name->isVisible();
            },
            kWaitMs));
        const std::optional<QPoint> target = windowCentre(QStringLiteral("gtk-drop-target"));
        QVERIFY(target);
        const QPoint start = name->mapToGlobal(name->rect().center());

        // The drag runs its own event loop from the first movement on: the hand's steps come from
        // timers inside it, and the release once the GTK window has seen the drag over it.
        bool sawDragging = false, stayedOpenState = true;
        int step = 0;
        // Let go only once the drag has heard the window accept it, as a hand would see the cursor change.
        bool accepted = false;
        QSet<QDrag*> watched;
        constexpr int steps = 30;
        QTimer hand;
        hand.setInterval(30);
        connect(&hand, &QTimer::timeout, this, [&] {
            m_targetOutput += m_target.readAllStandardOutput();
            if (m_island.model->shelf().draggingOut())
                sawDragging = true;
            for (QDrag* drag : m_island.view->findChildren<QDrag*>())
                if (!watched.contains(drag)) {
                    watched.insert(drag);
                    connect(drag, &QDrag::actionChanged, this,
                            [&](Qt::DropAction a) { accepted = a == Qt::CopyAction; });
                }
            if (step < steps) {
                ++step;
                moveLikeAMouse(start + (*target - start) * step / steps);
            } else if (!m_targetOutput.contains("motion") || !accepted) {
                moveLikeAMouse(*target + QPoint(step++ % 2, 0)); // GTK answers a movement, not a stillness
            } else {
                stayedOpenState = m_island.model->shelf().draggingOut();
                fakePointerInput(XCB_BUTTON_RELEASE, 1);
                hand.stop();
            }
        });
        moveLikeAMouse(start);
        QVERIFY(TestSupport::waitUntil([&] { return name->underMouse(); }, kWaitMs));
        fakePointerInput(XCB_BUTTON_PRESS, 1);
        hand.start();
        const bool dropped = targetSaid("uris:");
        QVERIFY2(dropped, m_targetOutput.constData());
        QVERIFY(TestSupport::waitUntil([&] { return !hand.isActive(); }, kWaitMs));

        const QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
        const QString got =
            QString::fromUtf8(m_targetOutput.mid(m_targetOutput.indexOf("uris:") + 5)).section(u'\n', 0, 0);
        QVERIFY2(got.contains(uri), qPrintable(got + QStringLiteral(" lacks ") + uri));
        QVERIFY(sawDragging);
        QVERIFY(stayedOpenState); // still marked while over the other window
        QVERIFY(TestSupport::waitUntil([&] { return !m_island.model->shelf().draggingOut(); }, kWaitMs));
        // The file stays where it is and on the shelf.
        QVERIFY(QFile::exists(path));
        QCOMPARE(m_island.model->shelf().items().size(), 1);
    }
};

QTEST_MAIN(tst_ShelfDragOut)
#include "tst_ShelfDragOut.moc"
