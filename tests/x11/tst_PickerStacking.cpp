// The command form's folder and path pickers, and the Kit's colour well, under a real window manager
// (openbox on the private X server): the dialog is stacked above the expanded island and takes what is
// typed; a picker holds the island open while it runs, and the island is back on top of the desktop with
// the keyboard once it closes.
#include "app/NotchPanel.h"
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TestSupport.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11DesktopWindows.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "services/UtilsState.h"
#include "views/IconButton.h"
#include "views/KitTab.h"
#include "views/Spring.h"
#include "views/TerminalTab.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <xcb/xcb.h>

namespace {

bool run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

// The top-level window (a frame of the window manager, or the window itself) that holds `window`.
xcb_window_t topLevelOf(xcb_window_t window) {
    xcb_connection_t* c = X11Desktop::connection();
    for (;;) {
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (!t)
            return XCB_NONE;
        const xcb_window_t parent = t->parent, root = t->root;
        free(t);
        if (parent == root || parent == XCB_NONE)
            return window;
        window = parent;
    }
}

// The X server's stacking order of the root's children, bottom first.
QList<xcb_window_t> stacking() {
    xcb_connection_t* c = X11Desktop::connection();
    QList<xcb_window_t> order;
    xcb_query_tree_reply_t* t =
        xcb_query_tree_reply(c, xcb_query_tree(c, xcb_window_t(X11Desktop::rootWindow())), nullptr);
    if (!t)
        return order;
    const xcb_window_t* children = xcb_query_tree_children(t);
    for (int i = 0; i < xcb_query_tree_children_length(t); ++i)
        order << children[i];
    free(t);
    return order;
}

bool above(QWidget* upper, QWidget* lower) {
    const QList<xcb_window_t> order = stacking();
    const qsizetype u = order.indexOf(topLevelOf(xcb_window_t(upper->winId())));
    const qsizetype l = order.indexOf(topLevelOf(xcb_window_t(lower->winId())));
    return u >= 0 && l >= 0 && u > l;
}

QRect geometryOf(xcb_window_t window) {
    xcb_connection_t* c = X11Desktop::connection();
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    const QRect r = g ? QRect(g->x, g->y, g->width, g->height) : QRect();
    free(g);
    return r;
}

// Whether the keyboard focus is on `w`'s window or inside it.
bool hasKeyboard(QWidget* w) {
    const auto focus = X11Desktop::inputFocus();
    return focus &&
           (*focus == quint32(w->winId()) || topLevelOf(*focus) == topLevelOf(xcb_window_t(w->winId())));
}

} // namespace

class tst_PickerStacking : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QProcess m_wm;
    std::unique_ptr<TestSupport::ServiceSandbox> m_box;
    FakePasteboard m_pasteboard;
    FakeClock m_clock;
    std::unique_ptr<ClipboardService> m_clipboard; // outlives the tab
    X11DesktopWindows m_desktop;                   // outlives the panel
    std::unique_ptr<NotchPanel> m_panel;
    TerminalTab* m_tab = nullptr;

    CommandsService& service() { return m_box->service(); }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        Animations::setEnabled(false);
        QVERIFY2(run("xdotool", {"version"}), "xdotool is needed");
        m_wm.start("openbox", {"--sm-disable"});
        if (!m_wm.waitForStarted(5000))
            QSKIP("openbox is not installed");
        QByteArray check;
        QVERIFY2(TestSupport::waitUntil(
                     [&] {
                         return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}, &check) &&
                                check.contains("window id");
                     },
                     10000),
                 "openbox did not take the screen");

        m_box = std::make_unique<TestSupport::ServiceSandbox>();
        m_clipboard =
            std::make_unique<ClipboardService>(m_pasteboard, m_clock, m_home->filePath("clipboard.json"));
        m_tab = new TerminalTab(service(), *m_clipboard);
        m_panel = std::make_unique<NotchPanel>(m_desktop, m_tab);
        m_panel->placeOn(QGuiApplication::primaryScreen()->geometry());
        m_panel->setIslandShape(QRectF(QPointF(0, 0), m_panel->size()), 24);
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
        m_panel->applyExpanded(true);
        service().setShowingForm(true);
    }
    void cleanupTestCase() {
        m_panel.reset();
        m_clipboard.reset();
        m_box.reset();
        m_wm.terminate();
        if (!m_wm.waitForFinished(5000))
            m_wm.kill();
    }

    void pickerGoesAboveTheIslandAndTakesTheKeyboard_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("folder") << "Choose the folder the command runs in";
        QTest::newRow("path") << "Insert a path into the command";
    }
    void pickerGoesAboveTheIslandAndTakesTheKeyboard() {
        QFETCH(QString, button);
        IconButton* open = nullptr;
        for (IconButton* b : m_tab->findChildren<IconButton*>())
            if (b->help() == button)
                open = b;
        QVERIFY(open && open->isVisible());

        bool stackedAbove = false, typedIn = false, heldOpen = false, islandBelowOnly = false;
        QString typed;
        QTimer::singleShot(0, this, [&] {
            QFileDialog* dialog = nullptr;
            const bool shown = TestSupport::waitUntil(
                [&] {
                    dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                    return dialog && dialog->isVisible() && dialog->windowHandle()->isExposed();
                },
                10000);
            if (shown) {
                heldOpen = service().pickerOpen();
                stackedAbove = TestSupport::waitUntil([&] { return above(dialog, m_panel.get()); }, 5000);
                // Nothing but our own dialog shows over the island (the window manager's helper windows
                // lie off the screen).
                const QList<xcb_window_t> order = stacking();
                QList<xcb_window_t> shownAbove;
                for (qsizetype i = order.indexOf(xcb_window_t(m_panel->winId())) + 1;
                     i > 0 && i < order.size(); ++i)
                    if (X11Desktop::isViewable(order[i]) &&
                        geometryOf(order[i]).intersects(m_panel->geometry()))
                        shownAbove << order[i];
                islandBelowOnly =
                    shownAbove == QList<xcb_window_t>{topLevelOf(xcb_window_t(dialog->winId()))};
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (name && TestSupport::waitUntil([&] { return hasKeyboard(dialog); }, 5000)) {
                    name->clear();
                    run("xdotool", {"type", "--delay", "20", "zq7"});
                    typedIn = TestSupport::waitUntil([&] { return name->text().contains("zq7"); }, 5000);
                    typed = name->text();
                }
            }
            if (dialog)
                dialog->reject();
        });
        open->click(); // runs the dialog until the check above closes it
        QVERIFY(heldOpen);
        QVERIFY2(stackedAbove, "the picker stayed under the island");
        QVERIFY(islandBelowOnly);
        QVERIFY2(typedIn, qPrintable("typed text did not reach the picker: " + typed));
        QVERIFY(!service().pickerOpen());

        // Closed: the island is on top again and has the keyboard back for the form.
        QVERIFY(
            TestSupport::waitUntil([&] { return !X11Desktop::managedWindowAbove(m_panel->winId()); }, 5000));
        QVERIFY(TestSupport::waitUntil([&] { return hasKeyboard(m_panel.get()); }, 5000));
    }

    // The colour well's dialog: above the island, with the keyboard, and what is typed in it picks the
    // colour.
    void colourDialogGoesAboveTheIslandAndTakesTheKeyboard() {
        m_panel->hide();
        FakeClock clock;
        UtilsState utils(UtilsState::Seams{&clock});
        auto* kit = new KitTab(utils);
        NotchPanel panel(m_desktop, kit);
        panel.placeOn(QGuiApplication::primaryScreen()->geometry());
        panel.setIslandShape(QRectF(QPointF(0, 0), panel.size()), 24);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        panel.applyExpanded(true);
        utils.setTool(DevTool::color);
        auto* well = kit->findChild<QAbstractButton*>(QStringLiteral("colorWell"));
        QVERIFY(well && well->isVisible());
        well->click();

        QColorDialog* dialog = nullptr;
        QVERIFY(TestSupport::waitUntil(
            [&] {
                dialog = panel.findChild<QColorDialog*>();
                return dialog && dialog->isVisible() && dialog->windowHandle()->isExposed();
            },
            10000));
        QVERIFY2(TestSupport::waitUntil([&] { return above(dialog, &panel); }, 5000),
                 "the colour dialog stayed under the island");
        QVERIFY2(TestSupport::waitUntil([&] { return hasKeyboard(dialog); }, 5000),
                 "the colour dialog did not get the keyboard");
        // Its "HTML" field: the one that shows the colour as #rrggbb.
        QLineEdit* html = nullptr;
        for (QLineEdit* e : dialog->findChildren<QLineEdit*>())
            if (e->text().startsWith(u'#'))
                html = e;
        QVERIFY(html);
        html->setFocus();
        html->selectAll();
        QVERIFY(run("xdotool", {"type", "--delay", "20", "#12ab34"}));
        QVERIFY2(TestSupport::waitUntil([&] { return utils.input() == "#12AB34"; }, 5000),
                 qPrintable(html->text() + " / " + utils.input()));
        QCOMPARE(utils.tool(), DevTool::color);
        dialog->reject();
        QVERIFY(TestSupport::waitUntil([&] { return !panel.findChild<QColorDialog*>(); }, 5000));
        m_panel->show();
    }
};

QTEST_MAIN(tst_PickerStacking)
#include "tst_PickerStacking.moc"
