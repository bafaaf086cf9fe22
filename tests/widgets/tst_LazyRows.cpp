// The lazily made list rows: which rows exist for a scroll position, where they sit, and that rows going
// away while one of them is handling an event stay alive until it has returned.
#include "fakes/TestChecks.h"
#include "views/LazyRows.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtTest>

namespace {

constexpr int kRowHeight = 30;
constexpr int kSpacing = 4;
constexpr int kPitch = kRowHeight + kSpacing;

// A scroll area holding a header and the rows, as the tabs lay out their lists.
struct List {
    QScrollArea area;
    QWidget* page = new QWidget;
    LazyRows* rows = nullptr;
    int made = 0;
    bool focusable = false;

    explicit List(int viewportHeight) {
        area.setWidgetResizable(true);
        area.setFrameShape(QFrame::NoFrame);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto* column = new QVBoxLayout(page);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        auto* header = new QWidget(page);
        header->setFixedHeight(50);
        column->addWidget(header);
        rows = new LazyRows(
            [this](int index, QWidget* parent) {
                ++made;
                auto* row = new QPushButton(QString::number(index), parent);
                row->setObjectName(QStringLiteral("row-%1").arg(index));
                row->setFixedHeight(kRowHeight);
                row->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
                return row;
            },
            kSpacing, page);
        column->addWidget(rows);
        column->addStretch(1);
        area.setWidget(page);
        area.resize(200, viewportHeight);
    }

    QList<int> existing() const {
        QList<int> indexes;
        for (int i = 0; i < rows->count(); ++i)
            if (rows->rowAt(i))
                indexes << i;
        return indexes;
    }
    // The rows any part of which the viewport shows.
    QPair<int, int> inSight() const {
        const int top = -page->pos().y() - rows->y();
        const int bottom = top + area.viewport()->height();
        return {qMax(0, top / kPitch), qMin(rows->count() - 1, (bottom - 1) / kPitch)};
    }
    void scrollTo(int value) {
        area.verticalScrollBar()->setValue(value);
        QCoreApplication::processEvents();
    }
};

} // namespace

class tst_LazyRows : public QObject {
    Q_OBJECT

private slots:
    void makesOnlyRowsNearSight_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("viewport");
        QTest::addColumn<int>("scroll"); // 0 top, 1 middle, 2 bottom
        QTest::newRow("empty") << 0 << 300 << 0;
        QTest::newRow("one") << 1 << 300 << 0;
        QTest::newRow("fewer than fit") << 5 << 300 << 2;
        QTest::newRow("1000 at the top") << 1000 << 300 << 0;
        QTest::newRow("1000 in the middle") << 1000 << 300 << 1;
        QTest::newRow("1000 at the bottom") << 1000 << 300 << 2;
        QTest::newRow("tall viewport") << 1000 << 1000 << 1;
        QTest::newRow("one pixel viewport") << 1000 << 1 << 1;
    }
    void makesOnlyRowsNearSight() {
        QFETCH(int, count);
        QFETCH(int, viewport);
        QFETCH(int, scroll);
        List list(viewport);
        list.rows->reset(count);
        list.area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list.area));
        QScrollBar* bar = list.area.verticalScrollBar();
        list.scrollTo(scroll == 0 ? 0 : scroll == 1 ? bar->maximum() / 2 : bar->maximum());

        QCOMPARE(list.rows->count(), count);
        QCOMPARE(list.rows->height(), count ? count * kPitch - kSpacing : 0);
        if (count == 0) {
            QVERIFY(list.existing().isEmpty());
            return;
        }
        // Every row in sight exists, in its place and shown...
        const auto [first, last] = list.inSight();
        for (int i = first; i <= last; ++i) {
            QWidget* row = list.rows->rowAt(i);
            QVERIFY2(row, qPrintable(QString::number(i)));
            QCOMPARE(row->geometry(), QRect(0, i * kPitch, list.rows->width(), kRowHeight));
            QVERIFY(row->isVisible());
        }
        // ...and no more than a viewport's height of rows on either side.
        const int band = qMax(viewport, 1);
        QVERIFY2(list.existing().size() <= qMin(count, (3 * band) / kPitch + 3),
                 qPrintable(QString::number(list.existing().size())));
        for (int i : list.existing())
            QVERIFY(i * kPitch >= first * kPitch - band - kPitch && i * kPitch <= (last + 1) * kPitch + band);
    }

    void scrollingMakesAndDropsRows() {
        List list(300);
        list.rows->reset(1000);
        list.area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list.area));
        QVERIFY(list.rows->rowAt(0));
        QVERIFY(!list.rows->rowAt(999));
        QPointer<QWidget> first = list.rows->rowAt(0);

        list.scrollTo(list.area.verticalScrollBar()->maximum());
        QVERIFY(list.rows->rowAt(999));
        QVERIFY(!list.rows->rowAt(0));
        QVERIFY(!list.page->findChild<QWidget*>(QStringLiteral("row-0"))); // gone from lookups at once
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!first);

        // Back at the top the first row is made again, not the old one.
        const int before = list.made;
        list.scrollTo(0);
        QVERIFY(list.rows->rowAt(0));
        QVERIFY(list.made > before);
    }

    void aFocusedRowStaysWhileScrolledAway() {
        List list(300);
        list.focusable = true;
        list.rows->reset(1000);
        list.area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list.area));
        list.area.activateWindow();
        list.rows->rowAt(2)->setFocus();
        QTRY_VERIFY(list.rows->rowAt(2)->hasFocus());
        const int bottom = list.area.verticalScrollBar()->maximum();
        list.scrollTo(bottom);
        QVERIFY(list.rows->rowAt(999));
        QVERIFY(list.rows->rowAt(2));
        QVERIFY(list.rows->rowAt(2)->hasFocus());
        QVERIFY(!list.rows->rowAt(3));
        // Neither the scroll position nor the focus jumps back to the top.
        QCOMPARE(list.area.verticalScrollBar()->value(), bottom);

        // New data: the focused row goes too, and the view stays where it was.
        list.rows->reset(1000);
        QVERIFY(!list.rows->rowAt(2));
        QCOMPARE(list.area.verticalScrollBar()->value(), bottom);
        QVERIFY(list.rows->rowAt(999));
    }

    void growingViewportMakesMoreRows() {
        List list(100);
        list.rows->reset(1000);
        list.area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list.area));
        const int small = int(list.existing().size());
        list.area.resize(200, 800);
        QCoreApplication::processEvents();
        QVERIFY(list.rows->rowAt(800 / kPitch));
        QVERIFY(list.existing().size() > small);
    }

    void resetFromARowsOwnClickKeepsItAliveUntilItReturns() {
        List list(300);
        list.rows->reset(3);
        list.area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list.area));
        auto* button = qobject_cast<QPushButton*>(list.rows->rowAt(1));
        QPointer<QPushButton> guard(button);
        bool stillThere = false;
        connect(button, &QPushButton::clicked, [&] {
            list.rows->reset(2);
            stillThere = !guard.isNull();
        });
        button->click();
        QVERIFY(stillThere);
        QCOMPARE(list.rows->count(), 2);
        QCOMPARE(list.rows->rowAt(1)->objectName(), QStringLiteral("row-1"));
        QVERIFY(list.rows->rowAt(1) != button);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
    }

    // The first rows of a list that was empty on screen: made under a column that is already shown, or
    // while the scroll area is hidden and shown again afterwards.
    void firstRowsOfAnEmptyListOnScreen_data() {
        QTest::addColumn<bool>("hiddenMeanwhile");
        QTest::newRow("shown all along") << false;
        QTest::newRow("area hidden while empty") << true;
    }
    void firstRowsOfAnEmptyListOnScreen() {
        QFETCH(bool, hiddenMeanwhile);
        QWidget window;
        auto* column = new QVBoxLayout(&window);
        List list(300); // after the window: gone first, taking its scroll area out of the window
        column->addWidget(&list.area);
        list.rows->reset(0);
        window.resize(200, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (hiddenMeanwhile) {
            list.area.hide();
            QCoreApplication::processEvents();
            list.area.show();
        }
        list.rows->reset(2);
        QCoreApplication::processEvents();
        QCOMPARE(list.rows->pitch(), kPitch);
        for (int i = 0; i < 2; ++i) {
            QWidget* row = list.rows->rowAt(i);
            QVERIFY(row);
            QVERIFY(row->isVisible());
            QCOMPARE(row->geometry(), QRect(0, i * kPitch, list.rows->width(), kRowHeight));
        }
        QCOMPARE(list.rows->height(), 2 * kPitch - kSpacing);
        QVERIFY(list.rows->width() > 100);
    }

    // Rows of several heights, some wrapping with the width: each sits right below the one before, as tall
    // as itself, wherever the list is scrolled and after the width changes.
    void rowsOfTheirOwnHeights() {
        QScrollArea area;
        area.setWidgetResizable(true);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto* page = new QWidget;
        auto* column = new QVBoxLayout(page);
        column->setContentsMargins(0, 0, 0, 0);
        const auto tall = [](int i) { return 20 + (i % 3) * 15; };
        auto* rows = new LazyRows(
            [&](int index, QWidget* parent) -> QWidget* {
                if (index % 5 == 4) { // a paragraph: taller when narrower
                    auto* l = new QLabel(QString("word ").repeated(40), parent);
                    l->setWordWrap(true);
                    return l;
                }
                auto* w = new QWidget(parent);
                w->setFixedHeight(tall(index));
                return w;
            },
            kSpacing, page);
        column->addWidget(rows);
        column->addStretch(1);
        area.setWidget(page);
        area.resize(400, 300);
        rows->reset(500);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));

        const auto check = [&] {
            return TestSupport::passes([&] {
                QCoreApplication::processEvents();
                int made = 0;
                for (int i = 0; i < rows->count(); ++i) {
                    QWidget* row = rows->rowAt(i);
                    if (!row)
                        continue;
                    ++made;
                    QCOMPARE(row->y(), rows->rowTop(i));
                    QCOMPARE(row->height(), rows->rowHeight(i));
                    if (i % 5 != 4)
                        QCOMPARE(row->height(), tall(i));
                    else
                        QCOMPARE(row->height(), row->heightForWidth(rows->width()));
                    QCOMPARE(rows->rowTop(i + 1), row->y() + row->height() + kSpacing);
                }
                QVERIFY(made > 0);
                QTRY_COMPARE(rows->height(), rows->rowTop(rows->count()) - kSpacing); // once laid out again
            });
        };
        QVERIFY(check());
        QScrollBar* bar = area.verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        QVERIFY(check());
        bar->setValue(0);
        QCoreApplication::processEvents();
        QVERIFY(rows->rowAt(4));
        const int wide = rows->rowHeight(4);
        area.resize(200, 300);
        QTRY_COMPARE(rows->width(), area.viewport()->width());
        QVERIFY(check());
        QVERIFY(rows->rowHeight(4) > wide);
        // Rows measured on the way down change the reckoned height, so the end is where scrolling settles.
        QTRY_VERIFY((bar->setValue(bar->maximum()), rows->rowAt(499)));
        QVERIFY(check());
    }

    void withoutAScrollAreaEveryRowIsMade() {
        QWidget page;
        int made = 0;
        LazyRows rows(
            [&](int, QWidget* parent) {
                ++made;
                auto* w = new QWidget(parent);
                w->setFixedHeight(kRowHeight);
                return w;
            },
            kSpacing, &page);
        rows.reset(40);
        QCOMPARE(made, 40);
        QCOMPARE(rows.sizeHint().height(), 40 * kPitch - kSpacing);
        rows.reset(0);
        QCOMPARE(rows.count(), 0);
        QCOMPARE(rows.sizeHint().height(), 0);
        QVERIFY(!rows.rowAt(0));
        QVERIFY(!rows.rowAt(-1));
    }
};

QTEST_MAIN(tst_LazyRows)
#include "tst_LazyRows.moc"
