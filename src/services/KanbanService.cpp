// The task board's service; its cards are kept in the user defaults.
#include "services/KanbanService.h"

#include "platform/Clock.h"
#include "services/Defaults.h"
#include "services/Published.h"

#include <algorithm>

KanbanService::KanbanService(Defaults& defaults, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock) {
    const QJsonValue stored = m_defaults.object(QLatin1String(kStorageKey));
    if (stored.isUndefined() || stored.isNull())
        return;
    if (std::optional<QList<KanbanCard>> loaded = KanbanCards::decode(stored))
        m_cards = std::move(*loaded);
    else
        m_unreadable = stored; // an empty board, but the user's cards are not thrown away by the next save
}

void KanbanService::setDraft(const QString& draft) {
    assignPublished(this, m_draft, draft, &KanbanService::draftChanged);
}

void KanbanService::setEditTitle(const QString& title) {
    assignPublished(this, m_editTitle, title, &KanbanService::editTitleChanged);
}

void KanbanService::setEditDetails(const QString& details) {
    assignPublished(this, m_editDetails, details, &KanbanService::editDetailsChanged);
}

void KanbanService::setEditColumn(KanbanColumn column) {
    assignPublished(this, m_editColumn, column, &KanbanService::editColumnChanged);
}

QList<KanbanCard> KanbanService::cards(KanbanColumn column) const {
    QList<KanbanCard> out;
    for (const KanbanCard& c : m_cards)
        if (c.column == column)
            out.append(c);
    return out;
}

std::optional<KanbanCard> KanbanService::editingCard() const {
    if (m_editingCardID.isNull())
        return std::nullopt;
    for (const KanbanCard& c : m_cards)
        if (c.id == m_editingCardID)
            return c;
    return std::nullopt;
}

void KanbanService::add() {
    const QString title = m_draft.trimmed();
    if (title.isEmpty())
        return;
    QList<KanbanCard> next = m_cards;
    next.append({QUuid::createUuid(), title, std::nullopt, KanbanColumn::todo, m_clock.now()});
    setCards(std::move(next));
    setDraft(QString());
}

void KanbanService::move(const QUuid& id, KanbanColumn column, const std::optional<QUuid>& before) {
    if (before && *before == id)
        return;
    const auto found =
        std::find_if(m_cards.cbegin(), m_cards.cend(), [&](const KanbanCard& c) { return c.id == id; });
    if (found == m_cards.cend())
        return;
    QList<KanbanCard> next = m_cards;
    KanbanCard card = next.takeAt(found - m_cards.cbegin());
    card.column = column;
    qsizetype at = -1;
    if (before)
        for (qsizetype i = 0; i < next.size() && at < 0; ++i)
            if (next[i].id == *before)
                at = i;
    if (at < 0) {
        at = next.size();
        for (qsizetype j = next.size() - 1; j >= 0; --j)
            if (next[j].column == column) {
                at = j + 1;
                break;
            }
    }
    next.insert(at, std::move(card));
    // One write for the whole move: the board never rests with the card missing.
    setCards(std::move(next));
}

void KanbanService::beginEditing(const KanbanCard& card) {
    setEditTitle(card.title);
    setEditDetails(card.details.value_or(QString()));
    setEditColumn(card.column);
    assignPublished(this, m_editingCardID, card.id, &KanbanService::editingCardIDChanged);
}

void KanbanService::cancelEditing() {
    assignPublished(this, m_editingCardID, QUuid(), &KanbanService::editingCardIDChanged);
    setEditTitle(QString());
    setEditDetails(QString());
}

void KanbanService::saveEditing() {
    if (m_editingCardID.isNull())
        return;
    const auto found = std::find_if(m_cards.cbegin(), m_cards.cend(),
                                    [&](const KanbanCard& c) { return c.id == m_editingCardID; });
    if (found == m_cards.cend())
        return;
    const QString title = m_editTitle.trimmed();
    if (title.isEmpty())
        return;
    const QString details = m_editDetails.trimmed();
    QList<KanbanCard> next = m_cards;
    KanbanCard& card = next[found - m_cards.cbegin()];
    card.title = title;
    card.details = details.isEmpty() ? std::nullopt : std::optional<QString>(details);
    card.column = m_editColumn;
    setCards(std::move(next));
    cancelEditing();
}

void KanbanService::remove(const QUuid& id) {
    QList<KanbanCard> next = m_cards;
    next.removeIf([&](const KanbanCard& c) { return c.id == id; });
    setCards(std::move(next));
    if (!m_editingCardID.isNull() && m_editingCardID == id)
        cancelEditing();
}

void KanbanService::clearCompleted() {
    QList<KanbanCard> next = m_cards;
    next.removeIf([](const KanbanCard& c) { return c.column == KanbanColumn::done; });
    setCards(std::move(next));
}

void KanbanService::setCards(QList<KanbanCard> cards) {
    const bool changed = cards != m_cards;
    m_cards = std::move(cards);
    save();
    if (changed)
        emit cardsChanged();
}

void KanbanService::save() {
    if (m_unreadable) {
        // Kept under a name of its own, never over an earlier kept copy.
        QString key = QLatin1String(kUnreadableKey);
        if (m_defaults.contains(key))
            key += QLatin1Char('.') + QString::number(m_clock.now().toMSecsSinceEpoch());
        m_defaults.set(key, *m_unreadable);
        m_unreadable.reset();
    }
    m_defaults.set(QLatin1String(kStorageKey), KanbanCards::encode(m_cards));
    ++m_saves;
}
