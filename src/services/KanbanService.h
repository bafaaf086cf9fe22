// The dashboard's task board: one ordered list of cards across three stages, the new-task field and
// the card editor. The list is stored in the user defaults after every change.
#pragma once

#include "model/KanbanCard.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

class Clock;
class Defaults;

class KanbanService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString draft READ draft WRITE setDraft NOTIFY draftChanged)
    Q_PROPERTY(QUuid editingCardID READ editingCardID NOTIFY editingCardIDChanged)
    Q_PROPERTY(QString editTitle READ editTitle WRITE setEditTitle NOTIFY editTitleChanged)
    Q_PROPERTY(QString editDetails READ editDetails WRITE setEditDetails NOTIFY editDetailsChanged)
public:
    static constexpr const char* kStorageKey = "kanbanCards";
    // Where a stored board that cannot be read is kept before the first change replaces it.
    static constexpr const char* kUnreadableKey = "kanbanCards.unreadable";

    KanbanService(Defaults& defaults, Clock& clock, QObject* parent = nullptr);

    QString draft() const { return m_draft; }
    void setDraft(const QString& draft);
    QUuid editingCardID() const { return m_editingCardID; } // null: the board is shown
    QString editTitle() const { return m_editTitle; }
    void setEditTitle(const QString& title);
    QString editDetails() const { return m_editDetails; }
    void setEditDetails(const QString& details);
    KanbanColumn editColumn() const { return m_editColumn; }
    void setEditColumn(KanbanColumn column);
    const QList<KanbanCard>& cards() const { return m_cards; }
    // The stage's cards in board order.
    QList<KanbanCard> cards(KanbanColumn column) const;
    // The card open in the editor, if it is still on the board.
    std::optional<KanbanCard> editingCard() const;

    // Appends the trimmed draft as a new task; a blank draft is left as it is.
    void add();
    // Moves the card into `column`, right above `before` when that card is on the board, otherwise
    // below the column's last card.
    void move(const QUuid& id, KanbanColumn column, const std::optional<QUuid>& before = std::nullopt);
    void beginEditing(const KanbanCard& card);
    void cancelEditing();
    // Applies the editor to its card, which keeps its place; a blank title keeps the editor open.
    void saveEditing();
    void remove(const QUuid& id);
    void clearCompleted();

    // How many times the board was written, for tests of what writes and what does not.
    int saves() const { return m_saves; }

signals:
    void draftChanged();
    void editingCardIDChanged();
    void editTitleChanged();
    void editDetailsChanged();
    void editColumnChanged();
    void cardsChanged();

private:
    void setCards(QList<KanbanCard> cards);
    void save();

    Defaults& m_defaults;
    Clock& m_clock;
    QString m_draft;
    QUuid m_editingCardID;
    QString m_editTitle;
    QString m_editDetails;
    KanbanColumn m_editColumn = KanbanColumn::todo;
    QList<KanbanCard> m_cards;
    // The stored value when it could not be read, until it has been kept aside.
    std::optional<QJsonValue> m_unreadable;
    int m_saves = 0;
};
