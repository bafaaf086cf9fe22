// What the dashboard draws, read from its pixels and geometry: the tab strip shows only whole tabs, and
// every tooltip of every tab shows its text.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "platform/Platform.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/KanbanService.h"
#include "services/ShelfService.h"
#include "views/DashboardView.h"
#include "views/Spring.h"

#include <QAbstractButton>
#include <QFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <QtTest>

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

class tst_TabLooks : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;
    PosixServiceLauncher m_launcher;
    LinuxProcessTable m_processes;
    FakeTrustProbe m_trust;
    FakePasteboard m_pasteboard;
    std::unique_ptr<Platform> m_platform;
    std::unique_ptr<DashboardModel> m_model;
    std::unique_ptr<DashboardView> m_view;

    void makeView(int width) {
        m_view = std::make_unique<DashboardView>(*m_model);
        m_view->resize(width, 320);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    // Every part of the strip's viewport shows a tab whole or none of it.
    void checkWholeTabsOnly() {
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
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        Animations::setEnabled(false);
    }
    void init() {
        QDir(m_home->path() + "/.local/share/Quillbay").removeRecursively();
        QFile::remove(m_home->filePath("defaults.json"));
        m_files = std::make_unique<QTemporaryDir>();
        m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
        m_platform.reset(new Platform{.clock = &m_clock,
                                      .launcher = &m_launcher,
                                      .processTable = &m_processes,
                                      .trustProbe = &m_trust,
                                      .pasteboard = &m_pasteboard});
        m_model = std::make_unique<DashboardModel>(*m_platform, *m_defaults);
    }
    void cleanup() {
        m_view.reset();
        m_model.reset();
        m_platform.reset();
        m_defaults.reset();
    }

    // Whichever tab is chosen, by a press or the palette or the wheel, and at any width, the strip shows
    // the chosen tab whole and never part of another; a long custom tab beside the gear included.
    void stripShowsWholeTabsOnly_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("island width") << 640;
        QTest::newRow("narrow") << 420;
    }
    void stripShowsWholeTabsOnly() {
        QFETCH(int, width);
        CustomTab custom;
        custom.id = QUuid::createUuid();
        custom.name = QStringLiteral("Deploy dashboard");
        custom.command = QStringLiteral("true");
        m_model->customTabs().save(custom);
        makeView(width);
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
            checkWholeTabsOnly();
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
                checkWholeTabsOnly();
            }
        }
        QCOMPARE(strip->horizontalScrollBar()->value(), 0);
    }

    // A tooltip takes the style of the widget it is shown for; the tabs' transparent backgrounds must not
    // make it a black box without text.
    void everyTooltipShowsItsText() {
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
        makeView(640);
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
};

QTEST_MAIN(tst_TabLooks)
#include "tst_TabLooks.moc"
