// The Kanban tab over a real service: drops between and onto cards, refused drops, the chevrons,
// the clear button, and the editor's Save and Cancel.
#include "fakes/FakeClock.h"
#include "fakes/TestSupport.h"
#include "fakes/TextInk.h"
#include "services/Defaults.h"
#include "services/KanbanService.h"
#include "views/ChipRow.h"
#include "views/IconButton.h"
#include "views/KanbanTab.h"

#include <QDragEnterEvent>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <memory>

namespace {

const QString kA = "AAAAAAAA-0000-4000-8000-000000000001";
const QString kB = "BBBBBBBB-0000-4000-8000-000000000002";
const QString kC = "CCCCCCCC-0000-4000-8000-000000000003";
const QString kD = "DDDDDDDD-0000-4000-8000-000000000004";

QJsonObject card(const QString& id, const QString& column) {
    return QJsonObject{{"id", id}, {"title", "t" + id.left(1)}, {"column", column}, {"createdAt", 10.0}};
}

QString board(const KanbanService& s) {
    QStringList out;
    for (const KanbanCard& c : s.cards())
        out << KanbanCards::idString(c.id).left(1) + ":" + KanbanCards::rawValue(c.column);
    return out.join(' ');
}

// Sends a drag of `text` into `target` and, when it is taken, drops it there; true when the drop
// was taken with an action (a refused drop may still be swallowed so nothing behind acts on it).
bool dropOn(QWidget* target, const QString& text) {
    QMimeData data;
    data.setText(text);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() && drop.dropAction() != Qt::IgnoreAction;
}

} // namespace

class tst_KanbanTab : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;
    std::unique_ptr<KanbanService> m_service;
    std::unique_ptr<QWidget> m_island; // black, as the island is
    std::unique_ptr<KanbanTab> m_tab;

    QWidget* widget(const QString& name) { return m_tab->findChild<QWidget*>(name); }
    QWidget* cardView(const QString& id) { return widget("card-" + id); }

private slots:
    void init() {
        m_home = TestSupport::isolateHome();
        m_island = std::make_unique<QWidget>();
        m_island->setStyleSheet(QStringLiteral("background: black;"));
        m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
        m_defaults->set(KanbanService::kStorageKey,
                        QJsonArray{card(kA, "todo"), card(kB, "doing"), card(kC, "doing"), card(kD, "done")});
        m_service = std::make_unique<KanbanService>(*m_defaults, m_clock);
        m_tab = std::make_unique<KanbanTab>(*m_service, m_island.get());
        m_tab->resize(612, 280);
        m_island->resize(612, 280);
        m_island->show();
    }
    void cleanup() {
        m_tab.reset();
        m_island.reset();
        m_service.reset();
        m_defaults.reset();
    }

    void drops_data() {
        QTest::addColumn<QString>("target"); // a column's or a card's object name
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("expected");
        const QString unchanged = "A:todo B:doing C:doing D:done";
        QTest::newRow("card onto the second doing card")
            << "card-" + kC << kA << true << "B:doing A:doing C:doing D:done";
        QTest::newRow("card onto itself") << "card-" + kB << kB << false << unchanged;
        QTest::newRow("lower-case id onto a card")
            << "card-" + kD << kA.toLower() << true << "B:doing C:doing A:done D:done";
        QTest::newRow("card onto a column") << "column-done" << kB << true << "A:todo C:doing D:done B:done";
        QTest::newRow("card onto its own column")
            << "column-doing" << kB << true << "A:todo C:doing B:doing D:done";
        QTest::newRow("plain text onto a column") << "column-todo"
                                                  << "hello" << false << unchanged;
        QTest::newRow("file URL onto a column") << "column-todo"
                                                << "file:///tmp/x" << false << unchanged;
        QTest::newRow("braced id onto a column") << "column-todo"
                                                 << "{" + kA + "}" << false << unchanged;
        QTest::newRow("unknown id onto a column")
            << "column-todo"
            << "EEEEEEEE-0000-4000-8000-000000000005" << true << unchanged;
    }
    void drops() {
        QFETCH(QString, target);
        QFETCH(QString, text);
        QFETCH(bool, taken);
        QFETCH(QString, expected);
        QWidget* w = widget(target);
        QVERIFY(w);
        QCOMPARE(dropOn(w, text), taken);
        QCOMPARE(board(*m_service), expected);
    }

    void chevronsMoveOneStage_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("expected");
        QTest::newRow("todo forward") << kA << "next"
                                      << "B:doing C:doing A:doing D:done";
        QTest::newRow("doing back") << kC << "previous"
                                    << "A:todo C:todo B:doing D:done";
        QTest::newRow("done back") << kD << "previous"
                                   << "A:todo B:doing C:doing D:doing";
    }
    void chevronsMoveOneStage() {
        QFETCH(QString, id);
        QFETCH(QString, button);
        QFETCH(QString, expected);
        auto* b = cardView(id)->findChild<IconButton*>(button);
        QVERIFY(b);
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(board(*m_service), expected);
    }

    void edgeCardsHaveNoChevronOutward() {
        QVERIFY(!cardView(kA)->findChild<IconButton*>("previous"));
        QVERIFY(cardView(kA)->findChild<IconButton*>("next"));
        QVERIFY(!cardView(kD)->findChild<IconButton*>("next"));
        QVERIFY(cardView(kD)->findChild<IconButton*>("previous"));
    }

    void clearButtonFollowsDoneCards() {
        auto* clear = m_tab->findChild<IconButton*>("clear");
        QVERIFY(clear->isVisible());
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(board(*m_service), QString("A:todo B:doing C:doing"));
        QVERIFY(!clear->isVisible());
        m_service->move(m_service->cards()[0].id, KanbanColumn::done);
        QVERIFY(clear->isVisible());
    }

    void addFollowsTheDraft() {
        auto* field = m_tab->findChild<QLineEdit*>("draft");
        auto* add = m_tab->findChild<QPushButton*>("add");
        QVERIFY(!add->isEnabled());
        QTest::keyClicks(field, "  ");
        QVERIFY(!add->isEnabled());
        QTest::keyClicks(field, "New task");
        QVERIFY(add->isEnabled());
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(m_service->cards().last().title, QString("New task"));
        QCOMPARE(field->text(), QString());
        QVERIFY(!add->isEnabled());
    }

    void editorSaveAndCancel() {
        QTest::mouseClick(cardView(kB)->findChild<IconButton*>("edit"), Qt::LeftButton);
        QVERIFY(widget("editor")->isVisible());
        auto* title = m_tab->findChild<QLineEdit*>("editTitle");
        auto* save = m_tab->findChild<QPushButton*>("save");
        QCOMPARE(title->text(), QString("tB"));
        title->selectAll();
        QTest::keyClicks(title, "   ");
        QVERIFY(!save->isEnabled());
        // A changed stage, then Cancel: the card is as it was.
        m_tab->findChild<ChipRow*>("stages")->button(int(KanbanColumn::done))->click();
        QTest::mouseClick(m_tab->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        QVERIFY(widget("board")->isVisible());
        QCOMPARE(board(*m_service), QString("A:todo B:doing C:doing D:done"));
        QCOMPARE(m_service->cards()[1].title, QString("tB"));

        // Again, and saved: B keeps its place in the array.
        QTest::mouseClick(cardView(kB)->findChild<IconButton*>("edit"), Qt::LeftButton);
        title->selectAll();
        QTest::keyClicks(title, "Renamed");
        QVERIFY(save->isEnabled());
        m_tab->findChild<ChipRow*>("stages")->button(int(KanbanColumn::todo))->click();
        QTest::mouseClick(save, Qt::LeftButton);
        QVERIFY(widget("board")->isVisible());
        QCOMPARE(board(*m_service), QString("A:todo B:todo C:doing D:done"));
        QCOMPARE(m_service->cards()[1].title, QString("Renamed"));
    }

    // A card: its title (and details) with the edit button in one row, the chevrons and the handle in the
    // row below.
    void cardRows() {
        m_service->beginEditing(m_service->cards()[1]);
        m_service->setEditDetails("Some details");
        m_service->saveEditing();
        QWidget* card = cardView(kB);
        QVERIFY(card && card->isVisible());
        auto* title = card->findChild<QLabel*>("title");
        auto* details = card->findChild<QLabel*>("details");
        auto* edit = card->findChild<IconButton*>("edit");
        auto* previous = card->findChild<IconButton*>("previous");
        auto* next = card->findChild<IconButton*>("next");
        auto* handle = card->findChild<QLabel*>("handle");
        QVERIFY(title && details && edit && previous && next && handle);
        QCOMPARE(details->text(), QString("Some details"));
        QVERIFY(details->geometry().top() >= title->geometry().bottom());
        QVERIFY(edit->geometry().top() < details->geometry().bottom());
        QVERIFY(edit->geometry().left() > title->geometry().right());
        for (QWidget* below :
             {static_cast<QWidget*>(previous), static_cast<QWidget*>(next), static_cast<QWidget*>(handle)})
            QVERIFY(below->geometry().top() > details->geometry().bottom());
        QVERIFY(previous->geometry().right() < handle->geometry().left());
        QVERIFY(handle->geometry().right() < next->geometry().left());
        QCOMPARE(edit->help(), QString("Editar tarefa"));
        QCOMPARE(previous->help(), QString("Mover para a etapa anterior"));
        QCOMPARE(next->help(), QString("Mover para a próxima etapa"));
    }

    // The board and the editor are drawn dark like the rest of the island: no light surfaces, and every
    // button's label shows.
    void drawnDark_data() {
        QTest::addColumn<bool>("editor");
        QTest::newRow("board") << false;
        QTest::newRow("editor") << true;
    }
    void drawnDark() {
        QFETCH(bool, editor);
        if (editor)
            QTest::mouseClick(cardView(kB)->findChild<IconButton*>("edit"), Qt::LeftButton);
        else
            m_service->setDraft("x"); // the add button shows at full strength
        QVERIFY(QTest::qWaitForWindowExposed(m_island.get()));
        const QImage shot = m_island->grab().toImage();
        auto lightShare = [](const QImage& img, int level) {
            qint64 light = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    light += qGray(img.pixel(x, y)) > level;
            return double(light) / double(img.width() * img.height());
        };
        QVERIFY2(lightShare(shot, 140) < 0.05, qPrintable(QString::number(lightShare(shot, 140))));
        const QStringList buttons =
            editor ? QStringList{"back", "delete", "cancel", "save"} : QStringList{"add"};
        for (const QString& name : buttons) {
            auto* b = m_tab->findChild<QPushButton*>(name);
            QVERIFY2(b && b->isVisible(), qPrintable(name));
            // Its label shows: light pixels on the dark ground, in a button wide enough for the text.
            const QImage img = b->grab().toImage();
            QVERIFY2(lightShare(img, 90) > 0.01, qPrintable(name));
            QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text()), qPrintable(name));
        }
    }

    // A card's title and details each take at most two whole lines; what does not fit ends in "…"
    // rather than being cut through a line of glyphs.
    void cardTextsEndInAnEllipsis_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("ellipsis");
        const QString longText = "Migrate the deployment pipeline to the new build farm and rewrite every "
                                 "flaky integration test that times out under load";
        QTest::newRow("short title") << "Ship it" << QString() << "title" << 1 << false;
        QTest::newRow("long title") << longText << QString() << "title" << 2 << true;
        QTest::newRow("long details") << "Ship it" << longText << "details" << 2 << true;
        QTest::newRow("title of one long word") << QString(80, 'M') << QString() << "title" << 2 << true;
    }
    void cardTextsEndInAnEllipsis() {
        QFETCH(QString, title);
        QFETCH(QString, details);
        QFETCH(QString, label);
        QFETCH(int, lines);
        QFETCH(bool, ellipsis);
        m_service->beginEditing(m_service->cards()[0]);
        m_service->setEditTitle(title);
        m_service->setEditDetails(details);
        m_service->saveEditing();
        QVERIFY(QTest::qWaitForWindowExposed(m_island.get()));
        QWidget* text = nullptr;
        QTRY_VERIFY((text = cardView(kA) ? cardView(kA)->findChild<QLabel*>(label) : nullptr) &&
                    text->isVisible());
        const QImage img = TextInk::drawn(text);
        const auto bands = TextInk::bands(img);
        QCOMPARE(bands.size(), lines);
        QVERIFY2(TextInk::wholeLines(bands, text->fontMetrics().height()), "a line cut through its glyphs");
        QCOMPARE(TextInk::endsInEllipsis(img, bands.last()), ellipsis);
    }

    // A column longer than its height scrolls by the wheel without a scroll bar beside its cards (a
    // see-through page's bar was drawn as empty outlined boxes).
    void aFullColumnShowsNoScrollBar() {
        QJsonArray many;
        for (int i = 0; i < 12; ++i)
            many.append(QJsonObject{{"id", QString("EEEEEEEE-0000-4000-8000-0000000000%1").arg(10 + i)},
                                    {"title", QString("Task %1").arg(i)},
                                    {"column", "todo"},
                                    {"createdAt", 10.0 + i}});
        m_tab.reset();
        m_defaults->set(KanbanService::kStorageKey, many);
        m_service = std::make_unique<KanbanService>(*m_defaults, m_clock);
        m_tab = std::make_unique<KanbanTab>(*m_service, m_island.get());
        m_tab->resize(612, 280);
        m_tab->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_island.get()));
        QWidget* column = widget("column-todo");
        auto* scroll = column->findChild<QScrollArea*>();
        QVERIFY(scroll);
        QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0); // it does scroll
        QVERIFY(!scroll->verticalScrollBar()->isVisible());
        // Nothing light beside the cards, where the bar would be.
        const QImage img = TextInk::drawn(column);
        const QRect strip(scroll->geometry().right() - 8, scroll->geometry().top(), 8, scroll->height());
        int light = 0;
        for (int y = strip.top(); y <= strip.bottom(); ++y)
            for (int x = strip.left(); x <= strip.right(); ++x)
                light += qGray(img.pixel(x, y)) > 90;
        QCOMPARE(light, 0);
    }

    void deleteFromTheEditor() {
        QTest::mouseClick(cardView(kC)->findChild<IconButton*>("edit"), Qt::LeftButton);
        QTest::mouseClick(m_tab->findChild<QPushButton*>("delete"), Qt::LeftButton);
        QVERIFY(widget("board")->isVisible());
        QCOMPARE(board(*m_service), QString("A:todo B:doing D:done"));
    }
};

QTEST_MAIN(tst_KanbanTab)
#include "tst_KanbanTab.moc"
