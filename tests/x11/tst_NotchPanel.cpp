// The island's overlay window on a real X server: unmanaged, top-centred, click-through outside
// the island, focus handed back, and masked when no compositor runs.
#include "app/IslandGeometry.h"
#include "app/NotchPanel.h"
#include "app/NotchState.h"
#include "fakes/TestChecks.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11DesktopWindows.h"
#include "views/NotchView.h"
#include "views/Spring.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>

namespace IG = IslandGeometry;

namespace {

// A plain window that counts the presses it receives.
class Target : public QWidget {
public:
    explicit Target(QColor color, QWidget* parent = nullptr, Qt::WindowFlags f = {})
        : QWidget(parent, f)
        , m_color(color) {}
    int presses = 0;
    QPoint lastPress;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        ++presses;
        lastPress = e->globalPosition().toPoint();
    }
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_color); }

private:
    QColor m_color;
};

bool xdotool(const QStringList& args) {
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

[[nodiscard]] bool clickAt(int x, int y) {
    return TestSupport::passes([&] {
        QVERIFY(xdotool({"mousemove", "--sync", QString::number(x), QString::number(y)}));
        QVERIFY(xdotool({"click", "1"}));
    });
}

// As another program (or the window manager) would: an X focus change at the current time.
[[nodiscard]] bool focusWindow(QWidget* w) {
    return TestSupport::passes([&] {
        QVERIFY(xdotool({"windowfocus", "--sync", QString::number(w->winId())}));
    });
}

quint32 focus() {
    return X11Desktop::inputFocus().value_or(0);
}

QRgb pixelAt(int x, int y) {
    return QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage().pixel(0, 0);
}

// The window's visible outline (its bounding shape), or an empty rectangle when it has none.
QRect boundingExtents(const QWidget* w) {
    xcb_connection_t* c = X11Desktop::connection();
    auto* r = xcb_shape_query_extents_reply(c, xcb_shape_query_extents(c, xcb_window_t(w->winId())), nullptr);
    const QRect e = r && r->bounding_shaped
                        ? QRect(r->bounding_shape_extents_x, r->bounding_shape_extents_y,
                                r->bounding_shape_extents_width, r->bounding_shape_extents_height)
                        : QRect();
    free(r);
    return e;
}

} // namespace

class TestNotchPanel : public QObject {
    Q_OBJECT

    Target* below = nullptr;  // a normal window under the panel
    Target* island = nullptr; // the panel's content: black everywhere, as a stand-in view
    X11DesktopWindows desktop;
    NotchPanel* panel = nullptr;
    QRect screen;

    void collapse() {
        panel->setIslandShape(IG::islandRectInPanel(panel->size(), IG::kDefaultCollapsedSize), 10);
        panel->applyExpanded(false);
    }

private slots:
    void initTestCase() {
        QVERIFY(X11Desktop::connection());
        QVERIFY2(QProcess::execute("xdotool", {"version"}) == 0, "xdotool is needed");
        screen = QGuiApplication::primaryScreen()->geometry();
        below = new Target(Qt::white);
        below->setGeometry(0, 0, screen.width(), 600);
        below->show();
        QVERIFY(QTest::qWaitForWindowExposed(below));

        island = new Target(Qt::black);
        panel = new NotchPanel(desktop, island);
        panel->placeOn(QRectF(screen));
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QCOMPARE(island->parentWidget(), panel);
    }
    void cleanupTestCase() {
        delete panel;
        delete below;
    }
    void init() {
        below->presses = island->presses = 0;
        collapse();
    }

    void unmanagedAndTopCentred() {
        xcb_connection_t* c = X11Desktop::connection();
        const auto win = xcb_window_t(panel->winId());
        auto* attrs = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, win), nullptr);
        QVERIFY(attrs);
        const bool overrideRedirect = attrs->override_redirect;
        free(attrs);
        QVERIFY(overrideRedirect);

        auto* geo = xcb_get_geometry_reply(c, xcb_get_geometry(c, win), nullptr);
        auto* pos = xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, win, xcb_window_t(X11Desktop::rootWindow()), 0, 0), nullptr);
        QVERIFY(geo && pos);
        const QRect onScreen(pos->dst_x, pos->dst_y, geo->width, geo->height);
        free(geo);
        free(pos);
        QCOMPARE(onScreen, QRect(screen.width() / 2 - 344, 0, 688, 344));
    }

    void clicksPassThroughWhileCollapsed() {
        // Beside the island and on the island itself: the collapsed panel takes nothing.
        QVERIFY(clickAt(700, 10));
        QTRY_COMPARE(below->presses, 1);
        QVERIFY(clickAt(960, 10));
        QTRY_COMPARE(below->presses, 2);
        QCOMPARE(below->lastPress, QPoint(960, 10));
        QCOMPARE(island->presses, 0);
    }

    void earClicksLandOnTheIsland() {
        // Media present, pointer over an ear: the collapsed island (with its 108-wide wings) takes
        // clicks, the rest of the panel still lets them through.
        panel->setIslandShape(IG::islandRectInPanel(panel->size(), QSizeF(196 + 216, 32)), 10);
        panel->setIgnoresMouseEvents(false);
        const quint32 focusBefore = focus();
        QVERIFY(clickAt(960 - 150, 10));
        QTRY_COMPARE(island->presses, 1);
        QCOMPARE(focus(), focusBefore); // the collapsed island never takes the keyboard
        QVERIFY(clickAt(960 - 220, 10));
        QTRY_COMPARE(below->presses, 1);
        QVERIFY(clickAt(960, 40));
        QTRY_COMPARE(below->presses, 2);
        QCOMPARE(island->presses, 1);
    }

    void expandedTakesClicksOnTheDashboardOnly() {
        panel->setIslandShape(IG::islandRectInPanel(panel->size(), NotchState::expandedSize()), 24);
        panel->applyExpanded(true);
        QVERIFY(clickAt(960, 200));
        QTRY_COMPARE(island->presses, 1);
        QVERIFY(clickAt(630, 100)); // in the panel's shadow margin, outside the dashboard
        QTRY_COMPARE(below->presses, 1);
        QVERIFY(clickAt(960, 330)); // below the dashboard, still inside the panel
        QTRY_COMPARE(below->presses, 2);
        QCOMPARE(island->presses, 1);
    }

    void focusReturnsAfterCollapse() {
        QVERIFY(focusWindow(below));
        QTRY_COMPARE(focus(), quint32(below->winId()));
        panel->applyExpanded(true);
        QTRY_COMPARE(focus(), quint32(panel->winId()));
        QTRY_VERIFY(panel->isActiveWindow()); // the dashboard's fields get the keys
        panel->applyExpanded(false);
        QTRY_COMPARE(focus(), quint32(below->winId()));
    }

    void focusNotStolenBackAfterUserMovedIt() {
        Target other(Qt::gray);
        other.setGeometry(0, 700, 300, 200);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QVERIFY(focusWindow(below));
        QTRY_COMPARE(focus(), quint32(below->winId()));
        panel->applyExpanded(true);
        QTRY_COMPARE(focus(), quint32(panel->winId()));
        QVERIFY(focusWindow(&other)); // the user went to another program meanwhile
        QTRY_COMPARE(focus(), quint32(other.winId()));
        panel->applyExpanded(false);
        QTest::qWait(50); // proves the focus is not taken back from the other program
        QCOMPARE(focus(), quint32(other.winId()));
    }

    void staysAboveWindowsRaisedLater() {
        Target late(Qt::gray);
        late.setGeometry(500, 0, 900, 400); // a new program's window, over the island
        late.show();
        QVERIFY(QTest::qWaitForWindowExposed(&late));
        // Mapped last, it starts above the panel (no window manager on Xvfb); the panel climbs back.
        QTRY_VERIFY_WITH_TIMEOUT(!X11Desktop::managedWindowAbove(panel->winId()), 10000);
        QTRY_COMPARE(pixelAt(960, 10), qRgb(0, 0, 0));
    }

    void maskedWithoutCompositor() {
        QVERIFY(!X11DesktopWindows().compositorRunning()); // Xvfb runs none
        QVERIFY(!panel->composited());
        QTRY_COMPARE(boundingExtents(panel), QRect(246, 0, 196, 32));
        // Nothing of the black 688 x 344 content shows outside the island.
        QTRY_COMPARE(pixelAt(960, 10), qRgb(0, 0, 0));
        QTRY_COMPARE(pixelAt(700, 10), qRgb(255, 255, 255));
        QTRY_COMPARE(pixelAt(960, 300), qRgb(255, 255, 255));

        panel->setIslandShape(IG::islandRectInPanel(panel->size(), NotchState::expandedSize()), 24);
        QTRY_COMPARE(boundingExtents(panel), QRect(24, 0, 640, 320));
        QTRY_COMPARE(pixelAt(960, 300), qRgb(0, 0, 0));
        QTRY_COMPARE(pixelAt(630, 300), qRgb(255, 255, 255));
        QTRY_COMPARE(pixelAt(641, 318), qRgb(255, 255, 255)); // the rounded bottom-left corner

        // An island meant to be invisible shows no pixel at all.
        panel->setIslandShape(IG::islandRectInPanel(panel->size(), IG::kDefaultCollapsedSize), 10, false);
        QTRY_COMPARE(pixelAt(960, 10), qRgb(255, 255, 255));
    }

    // The clear pages of the window's copy go back without a pixel on screen changing: not at once, not
    // when the window is uncovered (the toolkit puts its copy again), not when the shape grows over rows
    // whose pages went back, nor for an island meant to be invisible.
    void clearPagesGoBackWithoutChangingTheScreen() {
        QVERIFY(!panel->composited());
        QTRY_COMPARE(boundingExtents(panel), QRect(246, 0, 196, 32));
        const QRect area(panel->pos(), panel->size());
        QTRY_COMPARE(pixelAt(960, 10), qRgb(0, 0, 0));
        const auto shown = [&] {
            return QGuiApplication::primaryScreen()
                ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                .toImage();
        };
        // What shows once the panel's paints are all out: two looks in a row agree.
        QImage before = shown(), last;
        QVERIFY(QTest::qWaitFor([&] {
            last = std::exchange(before, shown());
            return before == last;
        }));
        // The rows below the island: everything but its 32 rows (and the page they end in).
        const std::size_t released = panel->releaseBlankPixels();
        QVERIFY2(released >= std::size_t(panel->width() * 4 * (panel->height() - 34)),
                 qPrintable(QString::number(released)));

        Target cover(Qt::red);
        cover.setWindowFlags(Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
        cover.setGeometry(area.x() + 200, 0, 300, 100);
        cover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cover));
        QTRY_COMPARE(pixelAt(960, 10), qRgb(255, 0, 0));
        cover.hide();
        QTRY_COMPARE(pixelAt(960, 10), qRgb(0, 0, 0));
        QTRY_COMPARE(shown(), before);

        panel->setIslandShape(IG::islandRectInPanel(panel->size(), NotchState::expandedSize()), 24);
        QTRY_COMPARE(boundingExtents(panel), QRect(24, 0, 640, 320));
        QTRY_COMPARE(pixelAt(960, 300), qRgb(0, 0, 0));
        QTRY_COMPARE(pixelAt(700, 200), qRgb(0, 0, 0));

        panel->setIslandShape(IG::islandRectInPanel(panel->size(), IG::kDefaultCollapsedSize), 10, false);
        QTRY_COMPARE(pixelAt(960, 10), qRgb(255, 255, 255));
        QVERIFY(panel->releaseBlankPixels() > 0); // nothing shows: the island's rows go too
        collapse();
        QTRY_COMPARE(pixelAt(960, 10), qRgb(0, 0, 0));
        QTRY_COMPARE(shown(), before);
    }

    // The island drawn by its view, without a compositor: a shape keeps or drops whole pixels, so along
    // the rounded corners every pixel is the island's black or the desktop's own colour, never the
    // window's light background blended into the antialiased edge.
    void cornersAreBlackToTheDesktop_data() {
        QTest::addColumn<bool>("expanded");
        QTest::newRow("collapsed") << false;
        QTest::newRow("open") << true;
    }
    void cornersAreBlackToTheDesktop() {
        QFETCH(bool, expanded);
        QVERIFY(!X11DesktopWindows().compositorRunning());
        Animations::setEnabled(false);
        panel->hide(); // its stand-in content would cover the corners under test
        const auto restore = qScopeGuard([this] {
            panel->show();
            Animations::setEnabled(true);
        });
        X11DesktopWindows ownDesktop;
        auto* view = new NotchView;
        NotchPanel drawn(ownDesktop, view);
        IslandMetrics metrics;
        metrics.isExpanded = expanded;
        view->setMetrics(metrics);
        const qreal radius = expanded ? 24 : 10;
        drawn.placeOn(QRectF(screen));
        drawn.setIslandShape(view->islandRect(), radius);
        drawn.show();
        QVERIFY(QTest::qWaitForWindowExposed(&drawn));
        const QRect shape = view->islandRect().toRect().translated(drawn.pos());
        QTRY_COMPARE(pixelAt(shape.center().x(), shape.top() + 4), qRgb(0, 0, 0));

        // Both bottom corners, a little beyond the bend on every side.
        const int reach = int(radius * 1.28) + 3;
        const QImage shot =
            QGuiApplication::primaryScreen()
                ->grabWindow(0, shape.left() - 3, shape.bottom() - reach + 3, shape.width() + 6, reach + 3)
                .toImage();
        int fringe = 0, black = 0, behind = 0;
        QString first;
        for (int y = 0; y < shot.height(); ++y)
            for (const int x0 : {0, shot.width() - reach - 3})
                for (int x = x0; x < x0 + reach + 3; ++x) {
                    const QRgb px = shot.pixel(x, y);
                    if (std::max({qRed(px), qGreen(px), qBlue(px)}) <= 0x10)
                        ++black;
                    else if (px == qRgb(255, 255, 255)) // the window below
                        ++behind;
                    else if (fringe++ == 0)
                        first =
                            QString("#%1 at %2,%3").arg(px & 0xffffff, 6, 16, QLatin1Char('0')).arg(x).arg(y);
                }
        QVERIFY2(fringe == 0, qPrintable(QString("%1 blended pixels, first %2").arg(fringe).arg(first)));
        QVERIFY(black > 0 && behind > 0); // the corners really are rounded
    }

    // Region requests are refused from a connection that never announced its XFixes version, so it is
    // announced on every connection the facts are asked about, not only on the first one.
    void xfixesIsAnnouncedOnEachConnection() {
        xcb_connection_t* first = X11Desktop::openPrivateConnection();
        xcb_connection_t* second = X11Desktop::openPrivateConnection();
        QVERIFY(first && second);
        const auto closeBoth = qScopeGuard([&] {
            xcb_disconnect(first);
            xcb_disconnect(second);
        });
        // The premise: a connection that never said its version is refused.
        {
            const xcb_xfixes_region_t region = xcb_generate_id(second);
            xcb_generic_error_t* refused =
                xcb_request_check(second, xcb_xfixes_create_region_checked(second, region, 0, nullptr));
            QVERIFY(refused);
            free(refused);
        }
        X11Desktop::ConnectionFacts facts;
        for (xcb_connection_t* c : {first, second, first}) {
            QVERIFY(facts.xfixes(c));
            const xcb_xfixes_region_t region = xcb_generate_id(c);
            xcb_generic_error_t* error =
                xcb_request_check(c, xcb_xfixes_create_region_checked(c, region, 0, nullptr));
            const int code = error ? error->error_code : 0;
            free(error);
            QCOMPARE(code, 0);
            xcb_xfixes_destroy_region(c, region);
            xcb_flush(c);
        }
        // The compositor's selection is the server's, whichever connection asks.
        const quint32 selection = facts.compositorSelection(first);
        QVERIFY(selection != 0);
        QCOMPARE(facts.compositorSelection(second), selection);
    }

    void compositorComingAndGoing() {
        QProcess compositor;
        compositor.start("xcompmgr", {});
        if (!compositor.waitForStarted())
            QSKIP("xcompmgr is not installed");
        QTRY_VERIFY(X11DesktopWindows().compositorRunning());

        X11DesktopWindows ownDesktop; // its own watch: the first panel keeps hearing of changes
        NotchPanel translucent(ownDesktop, new Target(Qt::transparent));
        translucent.placeOn(QRectF(screen));
        translucent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&translucent));
        QVERIFY(translucent.composited());
        QVERIFY(translucent.testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(boundingExtents(&translucent), QRect());
        // The opaque panel made before cannot become transparent: it keeps its mask.
        QTest::qWait(1500); // proves the opaque panel does not turn transparent
        QVERIFY(!panel->composited());
        QCOMPARE(boundingExtents(panel), QRect(246, 0, 196, 32));

        compositor.terminate();
        QVERIFY(compositor.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(!translucent.composited(), 10000);
        QTRY_COMPARE(boundingExtents(&translucent), QRect(246, 0, 196, 32));
    }
};

QTEST_MAIN(TestNotchPanel)
#include "tst_NotchPanel.moc"
