// Files dragged onto the open island from another program, over XDND on a private X server: dropped on the
// Kit's image drop zone they are converted and stay off the shelf; dropped anywhere else on the island they
// go to the shelf, the Kit's other parts included.
#include "app/NotchPanel.h"
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
#include "services/UtilsState.h"
#include "views/DashboardView.h"
#include "views/ImageConvertView.h"
#include "views/Spring.h"
#include "x11/OpenIsland.h"
#include "x11/PointerMotion.h"

#include <QDragMoveEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QtTest>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

constexpr int kWaitMs = 10000;

// Records which widget the last drag movement over this program was delivered to, and where.
class DragWatch : public QObject {
public:
    QPointer<QWidget> lastTarget;
    QPoint lastPosition; // global

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) &&
            watched->isWidgetType()) {
            lastTarget = static_cast<QWidget*>(watched);
            lastPosition = lastTarget->mapToGlobal(static_cast<QDropEvent*>(event)->position().toPoint());
        }
        return false;
    }
};

// The other program, a file manager of sorts, that drags the files it was started with.
class DragSource {
public:
    explicit DragSource(const QStringList& files) {
        m_process.start(QStringLiteral(QUILLBAY_DRAG_SOURCE), files);
    }
    ~DragSource() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool waitFor(const QByteArray& line) {
        return TestSupport::waitUntil(
            [&] {
                m_output += m_process.readAllStandardOutput();
                return m_output.contains(line);
            },
            kWaitMs);
    }
    const QByteArray& output() const { return m_output; }
    // The drag ended without a drop: on a loaded machine the source can give up on the release
    // before it has taken in the island's last answer.
    bool cancelled() const { return m_output.contains("ended 0"); }
    // The middle of its window on the screen.
    static QPoint centre() { return QPoint(200, 800); }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

class tst_IslandDrops : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
    OpenIsland m_island;
    DragWatch m_watch;
    std::unique_ptr<DragSource> m_source;

    QString image(const QString& name) {
        const QString path = m_files->filePath(name);
        QImage img(40, 30, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        return img.save(path, "PNG") ? path : QString();
    }

    // Drags `files` from the other program to `target` (in global coordinates) and lets go once
    // `overTarget` holds there. A drag the source itself cancelled is made again, as a user would.
    bool dragTo(const QStringList& files, QPoint target, const std::function<bool()>& overTarget) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!dragOnce(files, target, overTarget))
                return false;
            if (!m_source->cancelled())
                return true;
        }
        return false;
    }
    bool dragOnce(const QStringList& files, QPoint target, const std::function<bool()>& overTarget) {
        // Kept until the test is over: the island reads the dropped files from it after the drag ends.
        m_source = std::make_unique<DragSource>(files);
        DragSource& source = *m_source;
        if (!source.waitFor("ready"))
            return false;
        const QPoint start = DragSource::centre();
        moveLikeAMouse(start);
        fakePointerInput(XCB_BUTTON_PRESS, 1);
        for (int i = 1; i <= 3; ++i)
            moveLikeAMouse(start + QPoint(8 * i, -8 * i));
        if (!source.waitFor("dragging"))
            return false;
        // A path of small steps, as a hand moves, each one reported to the island.
        const QPoint from = start + QPoint(24, -24);
        constexpr int steps = 20;
        for (int i = 1; i <= steps; ++i) {
            moveLikeAMouse(from + (target - from) * i / steps);
            QCoreApplication::processEvents();
        }
        bool over = TestSupport::waitUntil(
            [&] {
                moveLikeAMouse(target + QPoint(1, 0)); // the last position again, so the island answers it
                moveLikeAMouse(target);
                // The island has answered the very position of the release, not one on the way there.
                return (m_watch.lastPosition - target).manhattanLength() <= 1 && overTarget();
            },
            kWaitMs);
        fakePointerInput(XCB_BUTTON_RELEASE, 1);
        return source.waitFor("ended") && over;
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        Animations::setEnabled(false);
        QVERIFY(m_island.open(m_home->filePath("defaults.json")));
        qApp->installEventFilter(&m_watch);
    }
    void cleanupTestCase() {
        qApp->removeEventFilter(&m_watch);
        m_island.close();
    }
    void cleanup() { m_source.reset(); }
    void init() {
        m_files = std::make_unique<QTemporaryDir>();
        m_island.model->shelf().clear();
        m_island.model->setTab(TabSelection::kit());
        m_island.model->utils().setTool(DevTool::image);
        m_island.model->utils().setImageFormat(ImageOutputFormat::jpeg);
        QCoreApplication::processEvents();
    }

    void dropOnTheKitsZoneConverts() {
        auto* panel = m_island.view->findChild<ImageConvertView*>("imagePanel");
        QVERIFY(panel);
        QVERIFY(TestSupport::waitUntil([&] { return panel->dropZone()->isVisible(); }, kWaitMs));
        const QString png = image("a.png");
        QVERIFY(!png.isEmpty());
        const QPoint zone = panel->dropZone()->mapToGlobal(panel->dropZone()->rect().center());
        QVERIFY(dragTo({png}, zone, [&] { return panel->targeted(); }));
        QVERIFY2(TestSupport::waitUntil([&] { return QFile::exists(m_files->filePath("a.jpeg")); }, kWaitMs),
                 m_source->output().constData());
        QVERIFY(TestSupport::waitUntil(
            [&] {
                return m_island.model->utils().output().startsWith(
                    QString::fromUtf8("✅ 1 arquivo(s) → JPEG:"));
            },
            kWaitMs));
        // Not on the shelf, and the Kit stays.
        QVERIFY(m_island.model->shelf().items().isEmpty());
        QCOMPARE(m_island.model->tab(), TabSelection::kit());
        QVERIFY(!panel->targeted());
    }

    void dropElsewhereGoesToTheShelf() {
        auto* panel = m_island.view->findChild<ImageConvertView*>("imagePanel");
        QVERIFY(panel);
        QVERIFY(TestSupport::waitUntil([&] { return panel->dropZone()->isVisible(); }, kWaitMs));
        const QString png = image("b.png");
        const QString before = m_island.model->utils().output();
        // Over the Kit's format chips, beside the drop zone.
        QWidget* chips = panel->findChild<QWidget*>("formats");
        QVERIFY(chips);
        const QPoint beside = chips->mapToGlobal(QPoint(chips->width() + 40, chips->height() / 2));
        QVERIFY(dragTo({png}, beside, [&] {
            return m_watch.lastTarget &&
                   (m_watch.lastTarget == m_island.view || m_island.view->isAncestorOf(m_watch.lastTarget)) &&
                   !panel->dropZone()->isAncestorOf(m_watch.lastTarget) &&
                   m_watch.lastTarget != panel->dropZone();
        }));
        QVERIFY2(TestSupport::waitUntil([&] { return m_island.model->shelf().items().size() == 1; }, kWaitMs),
                 m_source->output().constData());
        QCOMPARE(m_island.model->shelf().items()[0].path, png);
        QVERIFY(
            TestSupport::waitUntil([&] { return m_island.model->tab() == TabSelection::shelf(); }, kWaitMs));
        QVERIFY(!QFile::exists(m_files->filePath("b.jpeg")));
        QCOMPARE(m_island.model->utils().output(), before);
    }
};

QTEST_MAIN(tst_IslandDrops)
#include "tst_IslandDrops.moc"
