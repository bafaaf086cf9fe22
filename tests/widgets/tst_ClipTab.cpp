// The Clip tab over a real history with a fake clipboard: the order it lists, what its buttons do, the
// copied mark and the empty hint.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "services/ClipboardService.h"
#include "views/ClipEntryButton.h"
#include "views/ClipTab.h"
#include "views/EmptyHint.h"
#include "views/IconButton.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class tst_ClipTab : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakePasteboard> m_boardPtr = std::make_unique<FakePasteboard>();
    FakeClock m_clock;
    std::unique_ptr<ClipboardService> m_service;

    void record(const QString& text, bool pin = false) {
        m_boardPtr->copy(text);
        m_service->poll();
        if (pin)
            m_service->togglePin(m_service->items().first());
    }
    QWidget* row(ClipTab& tab, const ClipItem& item) {
        return tab.findChild<QWidget*>(QStringLiteral("row-") + item.id.toString(QUuid::WithoutBraces));
    }
    QStringList listedTexts(ClipTab& tab) {
        QCoreApplication::processEvents(); // new rows show and lay out from the event loop
        QStringList out;
        QList<ClipEntryButton*> entries = tab.findChildren<ClipEntryButton*>();
        std::sort(entries.begin(), entries.end(), [&](QWidget* a, QWidget* b) {
            return a->mapTo(&tab, QPoint()).y() < b->mapTo(&tab, QPoint()).y();
        });
        for (ClipEntryButton* e : entries)
            if (e->isVisibleTo(&tab))
                out << e->shownText();
        return out;
    }
    static IconButton* button(QWidget* in, const QString& name) { return in->findChild<IconButton*>(name); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_boardPtr = std::make_unique<FakePasteboard>();
        m_service = std::make_unique<ClipboardService>(*m_boardPtr, m_clock,
                                                       m_dir->filePath(QStringLiteral("c.json")));
    }
    void cleanup() { m_service.reset(); }

    void shownOrderPutsPinsFirstAndKeepsEachGroupsOrder_data() {
        QTest::addColumn<QString>("pins"); // pinned flags of the history, newest first
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("none") << "...." << QList<int>{0, 1, 2, 3};
        QTest::newRow("all") << "PPP" << QList<int>{0, 1, 2};
        QTest::newRow("interleaved") << ".P.P." << QList<int>{1, 3, 0, 2, 4};
        QTest::newRow("pins last") << "..PP" << QList<int>{2, 3, 0, 1};
        QTest::newRow("empty") << "" << QList<int>{};
    }
    void shownOrderPutsPinsFirstAndKeepsEachGroupsOrder() {
        QFETCH(QString, pins);
        QFETCH(QList<int>, order);
        QList<ClipItem> items;
        for (int i = 0; i < pins.size(); ++i)
            items.append({QUuid::createUuid(), QString::number(i), m_clock.now(), pins.at(i) == u'P'});
        const QList<ClipItem> shown = ClipTab::shownOrder(items);
        QCOMPARE(shown.size(), order.size());
        for (int i = 0; i < order.size(); ++i)
            QCOMPARE(shown.at(i), items.at(order.at(i)));
    }

    void emptyHistoryShowsHeaderAndHint() {
        ClipTab tab(*m_service);
        tab.resize(600, 300);
        tab.show();
        QCOMPARE(tab.findChild<QLabel*>(QStringLiteral("title"))->text(),
                 QStringLiteral("HISTORY — CLICK TO COPY"));
        auto* hint = tab.findChild<EmptyHint*>();
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->text(), QStringLiteral("Copy any text and it shows up here"));
        IconButton* clear = button(&tab, QStringLiteral("clear"));
        QVERIFY(clear->isVisible());
        QCOMPARE(clear->help(), QStringLiteral("Clear (keeps pinned)"));
        clear->click();
        QVERIFY(hint->isVisible());
        QVERIFY(tab.findChildren<ClipEntryButton*>().isEmpty());
    }

    void listsPinnedFirstAndFollowsPinning() {
        record(QStringLiteral("old"));
        record(QStringLiteral("pinned early"), true);
        record(QStringLiteral("middle"));
        record(QStringLiteral("pinned late"), true);
        record(QStringLiteral("new"));
        ClipTab tab(*m_service);
        tab.resize(600, 600);
        tab.show();
        QCOMPARE(listedTexts(tab), (QStringList{"pinned late", "pinned early", "new", "middle", "old"}));
        QVERIFY(!tab.findChild<EmptyHint*>()->isVisible());
        const ClipItem middle = m_service->items().at(2);
        IconButton* pin = button(row(tab, middle), QStringLiteral("pin"));
        QCOMPARE(pin->help(), QStringLiteral("Pin"));
        pin->click();
        QCOMPARE(listedTexts(tab), (QStringList{"pinned late", "middle", "pinned early", "new", "old"}));
        IconButton* unpin = button(row(tab, m_service->items().at(2)), QStringLiteral("pin"));
        QCOMPARE(unpin->help(), QStringLiteral("Unpin"));
        QCOMPARE(unpin->symbol(), QStringLiteral("pin.fill"));
        QCOMPARE(m_boardPtr->written, QStringList()); // pinning copies nothing
    }

    void removeAndClear() {
        record(QStringLiteral("a"));
        record(QStringLiteral("keep"), true);
        record(QStringLiteral("b"));
        ClipTab tab(*m_service);
        tab.resize(600, 600);
        tab.show();
        button(row(tab, m_service->items().first()), QStringLiteral("remove"))->click();
        QCOMPARE(listedTexts(tab), (QStringList{"keep", "a"}));
        button(&tab, QStringLiteral("clear"))->click();
        QCOMPARE(listedTexts(tab), QStringList{"keep"});
        QVERIFY(!tab.findChild<EmptyHint*>()->isVisible());
    }

    void clickCopiesAndMarksTheRow() {
        record(QStringLiteral("first"));
        record(QStringLiteral("second"));
        ClipTab tab(*m_service);
        tab.resize(600, 600);
        tab.show();
        const ClipItem first = m_service->items().at(1);
        auto* entry = row(tab, first)->findChild<ClipEntryButton*>();
        entry->click();
        QCOMPARE(m_boardPtr->written, QStringList{"first"});
        QVERIFY(entry->isConfirmed());
        QCOMPARE(listedTexts(tab), (QStringList{"second", "first"})); // the order stays
        auto* other = row(tab, m_service->items().at(0))->findChild<ClipEntryButton*>();
        QVERIFY(!other->isConfirmed());
        // A second click 1 s later keeps the mark until 1.2 s after it.
        m_clock.advanceMs(1000);
        entry->click();
        m_clock.advanceMs(1000);
        m_service->expireCopied();
        QVERIFY(entry->isConfirmed());
        m_clock.advanceMs(200);
        m_service->expireCopied();
        QVERIFY(!entry->isConfirmed());
    }

    void multiLineTextShowsAsOneRun() {
        record(QStringLiteral("line one\nline two\nline three"));
        ClipTab tab(*m_service);
        tab.resize(600, 600);
        tab.show();
        auto* entry = tab.findChild<ClipEntryButton*>();
        QCOMPARE(entry->shownText(), QStringLiteral("line one \u23CE line two \u23CE line three"));
        // Never taller than two lines, however long the text.
        record(QString(10000, u'x'));
        entry = row(tab, m_service->items().first())->findChild<ClipEntryButton*>();
        QVERIFY(entry->heightForWidth(300) <= 2 * QFontMetrics(entry->font()).lineSpacing());
    }
};

QTEST_MAIN(tst_ClipTab)
#include "tst_ClipTab.moc"
