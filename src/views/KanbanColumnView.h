// One stage of the Kanban board: its header with the count, its cards, and the highlight while a card is
// dragged over it; a card dropped on the column itself goes to its end.
#pragma once

#include "model/KanbanCard.h"

#include <QList>
#include <QWidget>

class KanbanService;
class QLabel;
class QVBoxLayout;

class KanbanColumnView : public QWidget {
public:
    KanbanColumnView(KanbanService& service, KanbanColumn column, QWidget* parent);

    KanbanColumn column() const { return m_column; }

    // Shows `cards`; the same cards again leave the column as it is.
    void setCards(const QList<KanbanCard>& cards);

    // What a drop of `text` on the column itself does: the dragged card goes to the column's end.
    bool dropText(const QString& text);
    bool highlighted() const { return m_hover; }

protected:
    void paintEvent(QPaintEvent*) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent*) override;
    void dropEvent(QDropEvent* e) override;

private:
    void setHover(bool on);

    KanbanService& m_service;
    KanbanColumn m_column;
    QLabel* m_count = nullptr;
    QVBoxLayout* m_list = nullptr;
    QList<KanbanCard> m_shown;
    bool m_built = false;
    bool m_hover = false;
};
