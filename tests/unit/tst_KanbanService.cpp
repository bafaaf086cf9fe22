// The task board: moves at every column edge, editing, deleting, the stored format, and a stored
// board that cannot be read is kept rather than replaced.
#include "fakes/FakeClock.h"
#include "fakes/TestSupport.h"
#include "model/KanbanCard.h"
#include "services/Defaults.h"
#include "services/KanbanService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QString kA = "AAAAAAAA-0000-4000-8000-000000000001";
const QString kB = "BBBBBBBB-0000-4000-8000-000000000002";
const QString kC = "CCCCCCCC-0000-4000-8000-000000000003";
const QString kD = "DDDDDDDD-0000-4000-8000-000000000004";

QJsonObject card(const QString& id, const QString& column, double createdAt = 1.5) {
    return QJsonObject{{"id", id}, {"title", "t" + id.left(1)}, {"column", column}, {"createdAt", createdAt}};
}

// Letters of the cards in board order, each with its stage: "A:todo B:doing".
QString board(const KanbanService& s) {
    QStringList out;
    for (const KanbanCard& c : s.cards())
        out << KanbanCards::idString(c.id).left(1) + ":" + KanbanCards::rawValue(c.column);
    return out.join(' ');
}

QUuid id(const QString& letter) {
    for (const QString& s : {kA, kB, kC, kD})
        if (s.startsWith(letter))
            return QUuid::fromString(s);
    return QUuid::createUuid(); // a card that is not on the board
}

} // namespace

class tst_KanbanService : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    FakeClock m_clock;

    std::unique_ptr<KanbanService> boardOf(const QJsonArray& stored) {
        m_defaults->set(KanbanService::kStorageKey, stored);
        return std::make_unique<KanbanService>(*m_defaults, m_clock);
    }

private slots:
    void init() {
        m_home = TestSupport::isolateHome();
        m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
    }
    void cleanup() {
        m_defaults.reset();
        m_home.reset();
    }

    void addTrimsAndKeepsBlankDraft_data() {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<QString>("title"); // empty: nothing added
        QTest::newRow("padded") << "  Write tests\n"
                                << "Write tests";
        QTest::newRow("plain") << "x"
                               << "x";
        QTest::newRow("spaces only") << "   "
                                     << "";
        QTest::newRow("newlines only") << "\n\t\n"
                                       << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void addTrimsAndKeepsBlankDraft() {
        QFETCH(QString, draft);
        QFETCH(QString, title);
        auto s = boardOf({card(kA, "done")});
        s->setDraft(draft);
        s->add();
        if (title.isEmpty()) {
            QCOMPARE(s->cards().size(), 1);
            QCOMPARE(s->draft(), draft);
            QCOMPARE(s->saves(), 0);
            return;
        }
        QCOMPARE(s->cards().size(), 2);
        const KanbanCard added = s->cards().last();
        QCOMPARE(added.title, title);
        QCOMPARE(added.column, KanbanColumn::todo);
        QVERIFY(!added.details);
        QCOMPARE(added.createdAt, m_clock.now());
        QCOMPARE(s->draft(), QString());
        QCOMPARE(s->saves(), 1);
    }

    void move_data() {
        QTest::addColumn<QJsonArray>("stored");
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("before"); // "" none; "Z" a card not on the board
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("saves");
        const QJsonArray abc{card(kA, "todo"), card(kB, "doing"), card(kC, "todo")};
        QTest::newRow("to another column, no neighbour") << abc << "A"
                                                         << "doing"
                                                         << ""
                                                         << "B:doing A:doing C:todo" << 1;
        QTest::newRow("above the first card") << abc << "C"
                                              << "todo"
                                              << "A"
                                              << "C:todo A:todo B:doing" << 1;
        QTest::newRow("onto itself") << abc << "A"
                                     << "done"
                                     << "A"
                                     << "A:todo B:doing C:todo" << 0;
        QTest::newRow("unknown card") << abc << "Z"
                                      << "done"
                                      << ""
                                      << "A:todo B:doing C:todo" << 0;
        QTest::newRow("into an empty column") << abc << "A"
                                              << "done"
                                              << ""
                                              << "B:doing C:todo A:done" << 1;
        QTest::newRow("neighbour gone") << abc << "A"
                                        << "doing"
                                        << "Z"
                                        << "B:doing A:doing C:todo" << 1;
        QTest::newRow("own column, no neighbour: to its end") << abc << "A"
                                                              << "todo"
                                                              << ""
                                                              << "B:doing C:todo A:todo" << 1;
        QTest::newRow("last card to the first column") << abc << "C"
                                                       << "todo"
                                                       << ""
                                                       << "A:todo C:todo B:doing" << 1;
        QTest::newRow("above a card of another stage") << abc << "A"
                                                       << "todo"
                                                       << "B"
                                                       << "A:todo B:doing C:todo" << 1;
        const QJsonArray doing{card(kA, "todo"), card(kB, "doing"), card(kC, "doing"), card(kD, "done")};
        QTest::newRow("between two cards of a column") << doing << "A"
                                                       << "doing"
                                                       << "C"
                                                       << "B:doing A:doing C:doing D:done" << 1;
        QTest::newRow("done card back to todo") << doing << "D"
                                                << "todo"
                                                << ""
                                                << "A:todo D:todo B:doing C:doing" << 1;
        QTest::newRow("sole card, own column") << QJsonArray{card(kA, "done")} << "A"
                                               << "done"
                                               << ""
                                               << "A:done" << 1;
    }
    void move() {
        QFETCH(QJsonArray, stored);
        QFETCH(QString, card);
        QFETCH(QString, to);
        QFETCH(QString, before);
        QFETCH(QString, expected);
        QFETCH(int, saves);
        auto s = boardOf(stored);
        std::optional<QUuid> neighbour;
        if (!before.isEmpty())
            neighbour = id(before);
        s->move(id(card), *KanbanCards::columnFromRaw(to), neighbour);
        QCOMPARE(board(*s), expected);
        QCOMPARE(s->saves(), saves);
        // What is stored is what is shown.
        QCOMPARE(KanbanCards::decode(m_defaults->object(KanbanService::kStorageKey)).value(), s->cards());
    }

    void cardsInColumnKeepBoardOrder() {
        auto s = boardOf({card(kA, "todo"), card(kB, "doing"), card(kC, "todo")});
        const QList<KanbanCard> todo = s->cards(KanbanColumn::todo);
        QCOMPARE(todo.size(), 2);
        QCOMPARE(todo[0].id, id("A"));
        QCOMPARE(todo[1].id, id("C"));
        QVERIFY(s->cards(KanbanColumn::done).isEmpty());
    }

    void saveEditing_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<QString>("expected");
        QTest::newRow("stage changed, place kept") << " New "
                                                   << ""
                                                   << "todo" << true << "A:todo B:todo C:todo";
        QTest::newRow("blank title keeps the editor") << "   "
                                                      << "x"
                                                      << "done" << false << "A:todo B:doing C:todo";
        QTest::newRow("details trimmed") << "B"
                                         << "  why \n"
                                         << "doing" << true << "A:todo B:doing C:todo";
    }
    void saveEditing() {
        QFETCH(QString, title);
        QFETCH(QString, details);
        QFETCH(QString, stage);
        QFETCH(bool, applied);
        QFETCH(QString, expected);
        QJsonObject b = card(kB, "doing");
        b.insert("details", "old");
        auto s = boardOf({card(kA, "todo"), b, card(kC, "todo")});
        s->beginEditing(s->cards()[1]);
        QCOMPARE(s->editDetails(), QString("old"));
        QCOMPARE(s->editColumn(), KanbanColumn::doing);
        s->setEditTitle(title);
        s->setEditDetails(details);
        s->setEditColumn(*KanbanCards::columnFromRaw(stage));
        s->saveEditing();
        QCOMPARE(board(*s), expected);
        const KanbanCard edited = s->cards()[1];
        if (!applied) {
            QCOMPARE(s->editingCardID(), id("B"));
            QCOMPARE(edited.details, std::optional<QString>("old"));
            QCOMPARE(s->saves(), 0);
            return;
        }
        QVERIFY(s->editingCardID().isNull());
        QCOMPARE(edited.title, title.trimmed());
        QCOMPARE(edited.details,
                 details.trimmed().isEmpty() ? std::nullopt : std::optional(details.trimmed()));
        const QJsonObject stored = m_defaults->object(KanbanService::kStorageKey).toArray()[1].toObject();
        QCOMPARE(stored.contains("details"), edited.details.has_value());
    }

    void cancelLeavesTheCardAndTheStage() {
        auto s = boardOf({card(kA, "todo")});
        s->beginEditing(s->cards()[0]);
        s->setEditColumn(KanbanColumn::done);
        s->setEditTitle("changed");
        s->cancelEditing();
        QCOMPARE(board(*s), QString("A:todo"));
        QCOMPARE(s->editColumn(), KanbanColumn::done);
        QCOMPARE(s->editTitle(), QString());
        QCOMPARE(s->saves(), 0);
    }

    void removeClosesItsEditorAndAlwaysWrites() {
        auto s = boardOf({card(kA, "todo"), card(kB, "done")});
        s->beginEditing(s->cards()[0]);
        s->remove(id("B"));
        QCOMPARE(s->editingCardID(), id("A")); // another card's removal leaves the editor open
        s->remove(id("A"));
        QVERIFY(s->editingCardID().isNull());
        QVERIFY(!s->editingCard());
        s->remove(id("Z"));
        QCOMPARE(s->saves(), 3);
        QCOMPARE(m_defaults->object(KanbanService::kStorageKey).toArray(), QJsonArray());
    }

    void clearCompletedAlwaysWrites() {
        auto s = boardOf({card(kA, "todo"), card(kB, "done"), card(kC, "doing"), card(kD, "done")});
        QSignalSpy changed(s.get(), &KanbanService::cardsChanged);
        s->clearCompleted();
        QCOMPARE(board(*s), QString("A:todo C:doing"));
        s->clearCompleted();
        QCOMPARE(s->saves(), 2);
        QCOMPARE(changed.count(), 1);
    }

    void codecRoundTripAndKeys() {
        auto s = boardOf({});
        s->setDraft("first");
        s->add();
        m_clock.advanceMs(1250);
        s->setDraft("second");
        s->add();
        s->beginEditing(s->cards()[1]);
        s->setEditDetails("more");
        s->saveEditing();
        const QJsonArray stored = m_defaults->object(KanbanService::kStorageKey).toArray();
        QCOMPARE(stored.size(), 2);
        const QStringList keys = stored[1].toObject().keys();
        QCOMPARE(keys, QStringList({"column", "createdAt", "details", "id", "title"}));
        QCOMPARE(stored[0].toObject().keys(), QStringList({"column", "createdAt", "id", "title"}));
        const QString written = stored[0].toObject()["id"].toString();
        QCOMPARE(written, written.toUpper());
        // 2026-01-01 12:00 UTC is 788 961 600 s after 2001-01-01; the fraction survives.
        QCOMPARE(stored[1].toObject()["createdAt"].toDouble(), 788961601.25);
        KanbanService reloaded(*m_defaults, m_clock);
        QCOMPARE(reloaded.cards(), s->cards());
    }

    void readsWhatOthersMayWrite_data() {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<int>("cards");
        QJsonObject lower = card(kA.toLower(), "todo");
        QJsonObject nullDetails = card(kA, "todo");
        nullDetails.insert("details", QJsonValue::Null);
        QJsonObject extra = card(kA, "todo");
        extra.insert("colour", "red");
        QTest::newRow("lower-case id") << QJsonValue(QJsonArray{lower}) << 1;
        QTest::newRow("null details") << QJsonValue(QJsonArray{nullDetails}) << 1;
        QTest::newRow("unknown key") << QJsonValue(QJsonArray{extra}) << 1;
        QTest::newRow("as JSON text")
            << QJsonValue(QString::fromUtf8(QJsonDocument(QJsonArray{card(kA, "done")}).toJson())) << 1;
        QTest::newRow("empty board") << QJsonValue(QJsonArray{}) << 0;
    }
    void readsWhatOthersMayWrite() {
        QFETCH(QJsonValue, stored);
        QFETCH(int, cards);
        m_defaults->set(KanbanService::kStorageKey, stored);
        KanbanService s(*m_defaults, m_clock);
        QCOMPARE(s.cards().size(), cards);
        QCOMPARE(s.saves(), 0);
    }

    void unreadableBoardIsKept_data() {
        QTest::addColumn<QJsonValue>("stored");
        QJsonObject noColumn = card(kA, "todo");
        noColumn.remove("column");
        QJsonObject stringDate = card(kA, "todo");
        stringDate.insert("createdAt", "yesterday");
        QJsonObject numberTitle = card(kA, "todo");
        numberTitle.insert("title", 3);
        QTest::newRow("unknown column") << QJsonValue(QJsonArray{card(kA, "todo"), card(kB, "later")});
        QTest::newRow("missing key") << QJsonValue(QJsonArray{noColumn});
        QTest::newRow("id not a UUID") << QJsonValue(QJsonArray{card("not-a-uuid", "todo")});
        QTest::newRow("braced id") << QJsonValue(QJsonArray{card("{" + kA + "}", "todo")});
        QTest::newRow("date as text") << QJsonValue(QJsonArray{stringDate});
        QTest::newRow("date beyond any calendar") << QJsonValue(QJsonArray{card(kA, "todo", 1e300)});
        QTest::newRow("title a number") << QJsonValue(QJsonArray{numberTitle});
        QTest::newRow("element not an object") << QJsonValue(QJsonArray{1, 2});
        QTest::newRow("not a list") << QJsonValue(QJsonObject{{"id", kA}});
        QTest::newRow("broken JSON text") << QJsonValue(QString("[{\"id\":"));
    }
    void unreadableBoardIsKept() {
        QFETCH(QJsonValue, stored);
        m_defaults->set(KanbanService::kStorageKey, stored);
        KanbanService s(*m_defaults, m_clock);
        QVERIFY(s.cards().isEmpty());
        QCOMPARE(s.saves(), 0);
        QCOMPARE(m_defaults->object(KanbanService::kStorageKey), stored); // untouched until a change
        s.setDraft("fresh start");
        s.add();
        QCOMPARE(m_defaults->object(KanbanService::kUnreadableKey), stored);
        QCOMPARE(m_defaults->object(KanbanService::kStorageKey).toArray().size(), 1);
        // Kept once: the next change does not copy the new board over it.
        s.clearCompleted();
        QCOMPARE(m_defaults->object(KanbanService::kUnreadableKey), stored);
    }

    void aSecondUnreadableBoardDoesNotReplaceTheFirst() {
        const QJsonValue first(QString("first broken"));
        m_defaults->set(KanbanService::kUnreadableKey, first);
        m_defaults->set(KanbanService::kStorageKey, QString("second broken"));
        KanbanService s(*m_defaults, m_clock);
        s.clearCompleted();
        QCOMPARE(m_defaults->object(KanbanService::kUnreadableKey), first);
        const QString second =
            QString(KanbanService::kUnreadableKey) + "." + QString::number(m_clock.now().toMSecsSinceEpoch());
        QCOMPARE(m_defaults->object(second), QJsonValue(QString("second broken")));
    }
};

QTEST_GUILESS_MAIN(tst_KanbanService)
#include "tst_KanbanService.moc"
