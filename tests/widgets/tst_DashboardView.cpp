// The dashboard host: tab presses and their counting, what the content shows, file drops onto the
// shelf, the bar's buttons and the palette over the real model; and, from its pixels, a tab strip of
// whole tabs and tooltips that show their text.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "platform/Platform.h"
#include "platform/TrustProbe.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/KanbanService.h"
#include "services/SettingsService.h"
#include "services/ShelfService.h"
#include "services/UtilsState.h"
#include "views/CustomTabView.h"
#include "views/DashboardView.h"
#include "views/EmptyHint.h"
#include "views/PaletteView.h"
#include "views/PomodoroTab.h"
#include "views/ScriptTabView.h"
#include "views/Spring.h"
#include "views/TerminalTab.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QThreadPool>
#include <QToolTip>
#include <QTranslator>
#include <QWheelEvent>
#include <QtTest>

#include <algorithm>

namespace {

// Pixels of `image` that stand out from its most common colour: the ink of a text.
int inkPixels(const QImage& image) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAbs(qGray(image.pixel(x, y)) - qGray(background)) > 80)
                ++ink;
    return ink;
}

QWidget* shownTip() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible())
            return w;
    return nullptr;
}

} // namespace

class tst_DashboardView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabPressSelectsAndCountsEveryPress();
    void contentFollowsSelectionOnly();
    void missingCustomTabShowsNothing();
    void dropOfFilesGoesToShelfOneByOne();
    void dropWithoutLocalFileIsRefused_data();
    void dropWithoutLocalFileIsRefused();
    void dropOnChildWidgetStillReachesShelf();
    void dropWhileShelfDisabledStillSelectsShelf();
    void selectedTabIsScrolledToCentre();
    void wheelOverTheStripScrollsIt_data();
    void wheelOverTheStripScrollsIt();
    void barButtons();
    void paletteOverModel();
    void paletteClipboardEntryFillsKit();
    void paletteFadeEndsInTheModelsState();
    void keysTypedBeforeTheDashboardShowsReachTheirField();
    void englishInterfaceShowsEnglishTabsAndEntries();
    void stripShowsWholeTabsOnly_data();
    void stripShowsWholeTabsOnly();
    void everyTooltipShowsItsText();

private:
    QJsonObject tabCounts() const { return m_defaults->dictionary("telemetryTabs").value_or(QJsonObject()); }
    QString touch(const QString& name);
    [[nodiscard]] bool makeView();
    QDropEvent* dropEvent(QMimeData* mime, QWidget* target);
    [[nodiscard]] bool checkWholeTabsOnly();

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;
    PosixServiceLauncher m_launcher;
    LinuxProcessTable m_processes;
    QtTickerFactory m_tickers;
    FakeTrustProbe m_trust;
    FakePasteboard m_pasteboard;
    std::unique_ptr<Platform> m_platform;
    std::unique_ptr<DashboardModel> m_model;
    std::unique_ptr<DashboardView> m_view;
};

void tst_DashboardView::initTestCase() {
    m_home = TestSupport::isolateHome();
    Animations::setEnabled(false);
}

void tst_DashboardView::init() {
    Animations::setEnabled(false);
    QFile::remove(m_home->filePath("defaults.json"));
    QDir(m_home->path() + "/.local/share/Quillbay").removeRecursively();
    m_files = std::make_unique<QTemporaryDir>();
    m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
    m_platform.reset(new Platform{.clock = &m_clock,
                                  .launcher = &m_launcher,
                                  .processTable = &m_processes,
                                  .trustProbe = &m_trust,
                                  .tickers = &m_tickers,
                                  .pasteboard = &m_pasteboard});
    m_model = std::make_unique<DashboardModel>(*m_platform, *m_defaults, TestSupport::folders());
}

void tst_DashboardView::cleanup() {
    m_view.reset();
    m_model.reset();
    m_platform.reset();
    m_defaults.reset();
}

bool tst_DashboardView::makeView() {
    return TestSupport::passes([&] {
        m_view = std::make_unique<DashboardView>(*m_model);
        m_view->setQuitHandler([](int) { QFAIL("quit not expected"); });
        m_view->resize(640, 320);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    });
}

QString tst_DashboardView::touch(const QString& name) {
    const QString path = m_files->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
    return path;
}

QDropEvent* tst_DashboardView::dropEvent(QMimeData* mime, QWidget* target) {
    return new QDropEvent(QPointF(target->rect().center()), Qt::CopyAction | Qt::MoveAction, mime,
                          Qt::LeftButton, Qt::NoModifier);
}

void tst_DashboardView::tabPressSelectsAndCountsEveryPress() {
    QVERIFY(makeView());
    QAbstractButton* kit = m_view->tabButton(TabSelection::kit());
    QVERIFY(kit);
    QTest::mouseClick(kit, Qt::LeftButton);
    QCOMPARE(m_model->tab(), TabSelection::kit());
    QVERIFY(kit->isChecked());
    QVERIFY(!m_view->tabButton(TabSelection(DashboardTab::terminal))->isChecked());
    QCOMPARE(tabCounts().value("kit").toInt(), 1);
    // Pressing the selected tab again counts again and keeps it selected.
    QTest::mouseClick(kit, Qt::LeftButton);
    QCOMPARE(tabCounts().value("kit").toInt(), 2);
    QVERIFY(kit->isChecked());

    CustomTab docs;
    docs.id = QUuid::createUuid();
    docs.name = "Docs";
    docs.kind = CustomTab::Kind::web;
    m_model->customTabs().save(docs);
    QAbstractButton* custom = m_view->tabButton(TabSelection::custom(docs.id));
    QVERIFY(custom);
    QTest::mouseClick(custom, Qt::LeftButton);
    QCOMPARE(m_model->tab(), TabSelection::custom(docs.id));
    // A custom tab's identity never reaches the counts.
    QCOMPARE(tabCounts().value("custom").toInt(), 1);
    QCOMPARE(tabCounts().size(), 2);
}

void tst_DashboardView::contentFollowsSelectionOnly() {
    QVERIFY(makeView());
    QVERIFY(qobject_cast<TerminalTab*>(m_view->tabContent()));
    QPointer<QWidget> terminal = m_view->tabContent();
    // Change notices that do not move the selection keep the view (and its state).
    m_model->setPaletteOpen(true);
    m_model->setPaletteOpen(false);
    emit m_model->changed();
    QCOMPARE(m_view->tabContent(), terminal.data());

    m_model->setTab(TabSelection(DashboardTab::pomodoro));
    QVERIFY(qobject_cast<PomodoroTab*>(m_view->tabContent()));
    QTRY_VERIFY(!terminal); // the old view is gone, not just hidden
}

void tst_DashboardView::missingCustomTabShowsNothing() {
    QVERIFY(makeView());
    CustomTab script;
    script.id = QUuid::createUuid();
    script.name = "Disk";
    m_model->customTabs().save(script);
    QCOMPARE(m_view->tabInfo(TabSelection::custom(script.id))->icon, "terminal.fill");
    m_model->setTab(TabSelection::custom(script.id));
    const auto* custom = qobject_cast<CustomTabView*>(m_view->tabContent());
    QVERIFY(custom);
    const auto* scriptView = qobject_cast<ScriptTabView*>(custom->content());
    QVERIFY(scriptView);
    QCOMPARE(scriptView->tab().name, "Disk");

    const TabSelection gone = TabSelection::custom(QUuid::createUuid());
    QVERIFY(!m_view->tabInfo(gone));
    m_model->setTab(gone);
    QWidget* content = m_view->tabContent();
    QVERIFY(content);
    QVERIFY(content->findChildren<QWidget*>().isEmpty());
    QVERIFY(!qobject_cast<EmptyHint*>(content));
    QVERIFY(!m_view->tabButton(gone));
}

void tst_DashboardView::dropOfFilesGoesToShelfOneByOne() {
    QVERIFY(makeView());
    const QString a = touch("a.txt"), b = touch("b.png"), c = touch("c with space.pdf");
    int adds = 0;
    connect(&m_model->shelf(), &ShelfService::itemsChanged, this, [&] { ++adds; });
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(a), QUrl("https://example.com/page"), QUrl::fromLocalFile(b),
                   QUrl::fromLocalFile(c)});
    // A drop reaches the widget that took the drag's entry, as in a real drag.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_view.get(), &enter);
    QVERIFY(enter.isAccepted());
    std::unique_ptr<QDropEvent> drop(dropEvent(mime, m_view.get()));
    QApplication::sendEvent(m_view.get(), drop.get());
    QVERIFY(drop->isAccepted());
    // Accepted at once; the shelf gets the files from the event loop.
    QVERIFY(m_model->shelf().items().isEmpty());
    QTRY_COMPARE(m_model->shelf().items().size(), 3);
    QCOMPARE(adds, 3);
    // Each file went in on its own, newest at the front.
    QStringList paths;
    for (const ShelfItem& item : m_model->shelf().items())
        paths << item.path;
    QCOMPARE(paths, QStringList({c, b, a}));
    QCOMPARE(m_model->tab(), TabSelection::shelf());
    QVERIFY(m_view->tabButton(TabSelection::shelf())->isChecked());
    QVERIFY(tabCounts().isEmpty());
    delete mime;
}

void tst_DashboardView::dropWithoutLocalFileIsRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::newRow("plain text") << "/etc/hosts" << QList<QUrl>{};
    QTest::newRow("web addresses only") << QString() << QList<QUrl>{QUrl("http://localhost:3000/")};
    QTest::newRow("empty file address") << QString() << QList<QUrl>{QUrl("file:")};
}

void tst_DashboardView::dropWithoutLocalFileIsRefused() {
    QFETCH(QString, text);
    QFETCH(QList<QUrl>, urls);
    QVERIFY(makeView());
    m_model->setTab(TabSelection::kit());
    QMimeData mime;
    if (!text.isEmpty())
        mime.setText(text);
    if (!urls.isEmpty())
        mime.setUrls(urls);
    QVERIFY(!m_view->handleFileDrop(&mime));

    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QApplication::sendEvent(m_view.get(), &enter);
    QVERIFY(!enter.isAccepted());
    QCoreApplication::processEvents(); // whatever the refused drag may have queued has run
    QVERIFY(m_model->shelf().items().isEmpty());
    QCOMPARE(m_model->tab(), TabSelection::kit());
}

void tst_DashboardView::dropOnChildWidgetStillReachesShelf() {
    QVERIFY(makeView());
    m_model->setPaletteOpen(true);
    // The palette's field takes text drops; a file dropped over it still goes to the shelf.
    QWidget* field = m_view->palette()->field();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(touch("over-field.txt"))});
    mime.setText("over-field.txt");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(m_model->shelf().items().size(), 1);
    QCOMPARE(m_view->palette()->query(), QString());
}

void tst_DashboardView::dropWhileShelfDisabledStillSelectsShelf() {
    m_model->settings().setTab(DashboardTab::shelf, false);
    QVERIFY(makeView());
    QVERIFY(!m_view->tabButton(TabSelection::shelf()));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(touch("x.txt"))});
    QVERIFY(m_view->handleFileDrop(&mime));
    QTRY_COMPARE(m_model->tab(), TabSelection::shelf());
    QCOMPARE(m_model->shelf().items().size(), 1);
    for (const TabSelection& s : m_model->visibleTabs())
        QVERIFY(!m_view->tabButton(s)->isChecked());
}

void tst_DashboardView::selectedTabIsScrolledToCentre() {
    QVERIFY(makeView());
    QScrollBar* bar = m_view->tabScroll()->horizontalScrollBar();
    QVERIFY2(bar->maximum() > 0, "the bar should be wider than its view at this size");
    const int viewport = m_view->tabScroll()->viewport()->width();
    auto centreOnScreen = [&](DashboardTab tab) {
        return m_view->tabButton(TabSelection(tab))->geometry().center().x() - bar->value();
    };
    m_model->setTab(TabSelection(DashboardTab::profiles));
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(centreOnScreen(DashboardTab::profiles) < viewport);
    m_model->setTab(TabSelection(DashboardTab::camera));
    QVERIFY(qAbs(centreOnScreen(DashboardTab::camera) - viewport / 2) <= 1 || bar->value() == 0);
    m_model->setTab(TabSelection(DashboardTab::terminal));
    QCOMPARE(bar->value(), 0);

    // The strip lies on the black island: a filled background would draw a light band behind the
    // white titles. Every scroll area of the dashboard, the palette's list included, must stay clear.
    m_model->setPaletteOpen(true);
    const auto scrolls = m_view->findChildren<QScrollArea*>();
    QVERIFY(scrolls.size() >= 2);
    for (QScrollArea* scroll : scrolls) {
        if (!scroll->widget() || !scroll->isVisible())
            continue;
        QVERIFY2(!scroll->widget()->autoFillBackground(),
                 qPrintable(scroll->parent()->metaObject()->className()));
    }
}

void tst_DashboardView::wheelOverTheStripScrollsIt_data() {
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<QPoint>("pixels");
    QTest::newRow("vertical wheel") << QPoint(0, -120) << QPoint();
    QTest::newRow("sideways wheel") << QPoint(-120, 0) << QPoint();
    QTest::newRow("touchpad, vertical") << QPoint(0, -30) << QPoint(0, -25);
}

void tst_DashboardView::wheelOverTheStripScrollsIt() {
    QFETCH(QPoint, angle);
    QFETCH(QPoint, pixels);
    QVERIFY(makeView());
    QScrollArea* strip = m_view->tabScroll();
    QScrollBar* bar = strip->horizontalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), 0);
    const QPointF at(strip->viewport()->rect().center());
    auto turn = [&](int sign) {
        QWheelEvent wheel(at, strip->viewport()->mapToGlobal(at), pixels * sign, angle * sign, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(strip->viewport(), &wheel);
        return wheel.isAccepted();
    };
    // Turned towards the user (negative) the tabs move left, bringing the last ones into sight.
    for (int i = 0; i < 200 && bar->value() < bar->maximum(); ++i)
        QVERIFY(turn(1));
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(m_view->tabButton(TabSelection(DashboardTab::profiles))->geometry().right() - bar->value() <=
            strip->viewport()->width());
    const int end = bar->value();
    QVERIFY(turn(-1));
    QVERIFY(bar->value() < end);
    // The selection does not move with the strip.
    QCOMPARE(m_model->tab(), TabSelection(DashboardTab::terminal));
}

void tst_DashboardView::barButtons() {
    QVERIFY(makeView());
    int settingsOpened = 0;
    m_model->setOpenSettings([&] { ++settingsOpened; });
    QList<int> quitWith;
    m_view->setQuitHandler([&](int n) { quitWith << n; });
    QAbstractButton* settings = nullptr;
    QAbstractButton* quit = nullptr;
    for (auto* b : m_view->findChildren<QAbstractButton*>()) {
        if (b->toolTip() == "Configurações")
            settings = b;
        if (b->toolTip() == "Quit Quillbay")
            quit = b;
    }
    QVERIFY(settings && quit);
    QTest::mouseClick(settings, Qt::LeftButton);
    QTest::mouseClick(quit, Qt::LeftButton);
    QCOMPARE(settingsOpened, 1);
    QCOMPARE(quitWith, QList<int>{0});
    QVERIFY(tabCounts().isEmpty());
}

void tst_DashboardView::paletteOverModel() {
    QVERIFY(makeView());
    m_model->settings().setTab(DashboardTab::kanban, false);
    m_model->setPaletteOpen(true);
    PaletteView* palette = m_view->palette();
    QVERIFY(palette->isVisible());
    QCOMPARE(palette->geometry(), m_view->rect());
    // Switched-off tabs get no entry; the others lead to their tab without counting as a press.
    palette->setQuery("go to kanban");
    QVERIFY(palette->shown().isEmpty());
    palette->setQuery("go to pomodoro");
    QTest::keyClick(palette->field(), Qt::Key_Return);
    QVERIFY(!m_model->paletteOpen());
    QVERIFY(!palette->isVisible());
    QTRY_COMPARE(m_model->tab(), TabSelection(DashboardTab::pomodoro));
    QVERIFY(tabCounts().isEmpty());
    m_model->setPaletteOpen(true);
    QCOMPARE(palette->query(), QString());
    // Closed from outside (hot key, island collapsing): the next opening still starts empty.
    palette->setQuery("kit");
    m_model->setPaletteOpen(false);
    m_model->setPaletteOpen(true);
    QCOMPARE(palette->query(), QString());
    QCOMPARE(palette->shown().first().id, "ocr");
}

// With the English interface the tab strip and the palette speak English, beside the other English texts.
void tst_DashboardView::englishInterfaceShowsEnglishTabsAndEntries() {
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/i18n/quillbay_en.qm")));
    QCoreApplication::installTranslator(&english);
    auto restore = qScopeGuard([&] { QCoreApplication::removeTranslator(&english); });
    QVERIFY(makeView());
    QCOMPARE(m_view->tabButton(TabSelection(DashboardTab::ai))->text(), QString("AI"));
    QCOMPARE(m_view->tabButton(TabSelection(DashboardTab::camera))->text(), QString("Camera"));
    QCOMPARE(m_view->tabButton(TabSelection(DashboardTab::news))->text(), QString("News"));
    m_model->setPaletteOpen(true);
    PaletteView* palette = m_view->palette();
    palette->setQuery("camera mirror");
    QCOMPARE(palette->shown().size(), 1);
    QCOMPARE(palette->shown().first().title, QString("Turn on the camera mirror"));
    palette->setQuery("go to");
    QStringList titles;
    for (const CommandPalette::Action& a : palette->shown())
        titles << a.title;
    QVERIFY2(titles.contains("Go to AI"), qPrintable(titles.join(", ")));
    palette->setQuery("quit");
    QCOMPARE(palette->shown().first().subtitle, QString("Closes the app entirely"));
}

void tst_DashboardView::paletteClipboardEntryFillsKit() {
    QVERIFY(makeView());
    QStringList order;
    connect(&m_model->utils(), &UtilsState::toolChanged, this, [&] { order << "tool"; });
    connect(&m_model->utils(), &UtilsState::inputChanged, this, [&] { order << "input"; });
    auto run = [&] {
        return TestSupport::passes([&] {
            m_model->setPaletteOpen(true);
            m_view->palette()->setQuery("detect clipboard");
            QTest::keyClick(m_view->palette()->field(), Qt::Key_Return);
            QTRY_COMPARE(m_model->tab(), TabSelection::kit());
        });
    };
    // Nothing on the clipboard: only the tab changes.
    m_pasteboard.copy(std::nullopt);
    QVERIFY(run());
    // Whatever the palette may have started off the main thread has ended and been applied.
    QVERIFY(m_model->utils().waitForWork(30000));
    QCoreApplication::processEvents();
    QVERIFY(order.isEmpty());

    m_model->setTab(TabSelection(DashboardTab::terminal));
    m_pasteboard.copy(QStringLiteral("  1700000000\n"));
    QVERIFY(run());
    // The tool first, so that the kit reads the new input with the right tool.
    QTRY_COMPARE(order, QStringList({"tool", "input"}));
    QCOMPARE(m_model->utils().tool(), DevTool::epoch);
    QCOMPARE(m_model->utils().input(), "1700000000");
}

void tst_DashboardView::paletteFadeEndsInTheModelsState() {
    QVERIFY(makeView());
    Animations::setEnabled(true);
    PaletteView* palette = m_view->palette();
    m_model->setPaletteOpen(true);
    QVERIFY(palette->isVisible());
    // Closed and reopened before the fade ends: it stays shown.
    m_model->setPaletteOpen(false);
    m_model->setPaletteOpen(true);
    // The fade is over once nothing of the transition is left covering the live palette.
    const auto uncovered = [&] {
        const QList<QWidget*> children = m_view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        return std::all_of(children.cbegin(), children.cend(), [&](QWidget* w) {
            return w == palette || !w->isVisible() || w->geometry() != m_view->rect();
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(uncovered(), 10000);
    QVERIFY(palette->isVisible());
    m_model->setPaletteOpen(false);
    QTRY_VERIFY(!palette->isVisible());
    Animations::setEnabled(false);
}

// The island keeps the dashboard hidden while it opens; the keys typed meanwhile arrive at the window.
void tst_DashboardView::keysTypedBeforeTheDashboardShowsReachTheirField() {
    QWidget island;
    island.resize(640, 320);
    auto* dashboard = new DashboardView(*m_model, &island);
    dashboard->setGeometry(island.rect());
    island.show();
    QVERIFY(QTest::qWaitForWindowExposed(&island));
    island.activateWindow();
    QTRY_VERIFY(island.isActiveWindow());
    QWindow* window = island.windowHandle();
    const auto kitEditor = [dashboard]() -> QPlainTextEdit* {
        for (auto* edit : dashboard->tabContent()->findChildren<QPlainTextEdit*>())
            if (!edit->isReadOnly())
                return edit;
        return nullptr;
    };
    // Through the window, as the window system delivers keys: to its focus child, wherever that is.
    const auto type = [window](const char* text) {
        for (const char* c = text; *c; ++c)
            QTest::keyClick(window, *c);
    };

    // The Kit's input had the keyboard when the island closed.
    m_model->setTab(TabSelection::kit());
    QPlainTextEdit* kitInput = kitEditor();
    QVERIFY(kitInput);
    kitInput->setFocus();
    type("abc");
    QCOMPARE(kitInput->toPlainText(), QStringLiteral("abc"));
    dashboard->hide();

    // The palette asked to open: its field takes what follows, while nothing is on screen yet.
    m_model->setPaletteOpen(true);
    type("kanban");
    QCOMPARE(dashboard->palette()->query(), QStringLiteral("kanban"));
    QCOMPARE(kitInput->toPlainText(), QStringLiteral("abc"));
    QTest::keyClick(window, Qt::Key_Return);
    QVERIFY(!m_model->paletteOpen());
    QTRY_COMPARE(m_model->tab(), TabSelection(DashboardTab::kanban));

    // Opened without the palette on the Kit: its input, the tab's only field, takes the keys.
    m_model->setTab(TabSelection::kit());
    dashboard->takeKeyboard();
    QPlainTextEdit* freshInput = kitEditor();
    QVERIFY(freshInput);
    type("{}");
    QVERIFY2(freshInput->toPlainText().contains("{}"), qPrintable(freshInput->toPlainText()));

    // A tab with nothing to type into leaves no stale field holding the keys.
    m_model->setTab(TabSelection(DashboardTab::pomodoro));
    dashboard->takeKeyboard();
    QCOMPARE(island.focusWidget(), dashboard->tabContent());
}

// Every part of the strip's viewport shows a tab whole or none of it.
bool tst_DashboardView::checkWholeTabsOnly() {
    return TestSupport::passes([&] {
        QScrollArea* strip = m_view->tabScroll();
        QWidget* row = strip->widget();
        const int left = strip->horizontalScrollBar()->value();
        const QRect seen(left, 0, strip->viewport()->width(), row->height());
        const QImage shot = strip->viewport()->grab().toImage();
        const qreal dpr = shot.devicePixelRatio();
        QRegion covered;
        for (QAbstractButton* b : row->findChildren<QAbstractButton*>()) {
            QRegion visible = QRegion(b->geometry()).intersected(seen);
            if (!row->mask().isEmpty())
                visible = visible.intersected(row->mask());
            const bool whole = visible.boundingRect() == b->geometry();
            QVERIFY2(visible.isEmpty() || whole,
                     qPrintable(QStringLiteral("%1 at %2..%3, seen %4..%5, mask %6")
                                    .arg(b->text())
                                    .arg(b->x())
                                    .arg(b->geometry().right())
                                    .arg(left)
                                    .arg(seen.right())
                                    .arg(row->mask().boundingRect().right())));
            if (whole)
                covered += b->geometry();
        }
        // No ink outside the whole tabs: what the edges cut is not drawn.
        for (int x = 0; x < shot.width(); ++x) {
            const int rowX = left + int(x / dpr);
            if (covered.contains(QPoint(rowX, row->height() / 2)))
                continue;
            for (int y = 0; y < shot.height(); ++y)
                QVERIFY2(qAlpha(shot.pixel(x, y)) == 0 || qGray(shot.pixel(x, y)) < 40,
                         qPrintable(QStringLiteral("ink at %1,%2").arg(rowX).arg(y)));
        }
    });
}

// Whichever tab is chosen, by a press or the palette or the wheel, and at any width, the strip shows
// the chosen tab whole and never part of another; a long custom tab beside the gear included.
void tst_DashboardView::stripShowsWholeTabsOnly_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("island width") << 640;
    QTest::newRow("narrow") << 420;
}
void tst_DashboardView::stripShowsWholeTabsOnly() {
    QFETCH(int, width);
    CustomTab custom;
    custom.id = QUuid::createUuid();
    custom.name = QStringLiteral("Deploy dashboard");
    custom.command = QStringLiteral("true");
    m_model->customTabs().save(custom);
    m_view = std::make_unique<DashboardView>(*m_model);
    m_view->setQuitHandler([](int) {});
    m_view->resize(width, 320);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    const QList<TabSelection> tabs = m_model->visibleTabs();
    QVERIFY(tabs.contains(TabSelection::custom(custom.id)));
    QScrollArea* strip = m_view->tabScroll();
    QVERIFY(strip->horizontalScrollBar()->maximum() > 0);
    for (const TabSelection& tab : tabs) {
        m_model->setTab(tab);
        QCoreApplication::processEvents();
        QAbstractButton* b = m_view->tabButton(tab);
        const int left = strip->horizontalScrollBar()->value();
        QVERIFY2(b->x() >= left && b->geometry().right() < left + strip->viewport()->width(),
                 qPrintable(tab.id()));
        QVERIFY(checkWholeTabsOnly());
        // For a human look: QUILLBAY_SHOTS=<folder> keeps each strip's picture.
        const QString dir = qEnvironmentVariable("QUILLBAY_SHOTS");
        if (!dir.isEmpty())
            m_view->grab().save(QStringLiteral("%1/strip-%2-%3.png").arg(dir).arg(width).arg(tab.id()));
    }
    // The wheel moves by whole tabs, both ways, to both ends.
    const QPointF at(strip->viewport()->rect().center());
    for (int sign : {1, -1}) {
        for (int i = 0; i < 30; ++i) {
            QWheelEvent wheel(at, strip->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120 * sign),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(strip->viewport(), &wheel);
            QVERIFY(checkWholeTabsOnly());
        }
    }
    QCOMPARE(strip->horizontalScrollBar()->value(), 0);
}

// A tooltip takes the style of the widget it is shown for; the tabs' transparent backgrounds must not
// make it a black box without text.
void tst_DashboardView::everyTooltipShowsItsText() {
    const QString file = m_files->filePath("notes.txt");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    m_model->shelf().add({QUrl::fromLocalFile(file)});
    m_model->kanban().setDraft(QStringLiteral("A card"));
    m_model->kanban().add();
    m_model->commands().setDraftName(QStringLiteral("web"));
    m_model->commands().setDraftCommand(QStringLiteral("true"));
    m_model->commands().saveDraft();
    QVERIFY(makeView());
    int checked = 0;
    for (const TabSelection& tab : m_model->visibleTabs()) {
        m_model->setTab(tab);
        QCoreApplication::processEvents();
        for (QWidget* w : m_view->findChildren<QWidget*>()) {
            if (w->toolTip().isEmpty() || !w->isVisible())
                continue;
            QToolTip::showText(w->mapToGlobal(w->rect().center()), w->toolTip(), w);
            QWidget* tip = shownTip();
            QVERIFY2(tip, qPrintable(w->toolTip()));
            const QImage shot = tip->grab().toImage();
            QVERIFY2(inkPixels(shot) > 10,
                     qPrintable(QStringLiteral("%1 in %2").arg(w->toolTip(), tab.id())));
            QToolTip::hideText();
            ++checked;
        }
    }
    QVERIFY(checked > 20);
}

QTEST_MAIN(tst_DashboardView)
#include "tst_DashboardView.moc"
