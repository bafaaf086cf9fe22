// One card of the Kanban board: its title and details, the edit button, and the chevrons around the drag
// handle; dragged by any part that is not a button, and a drop target that places the dragged card above it.
#pragma once

#include "model/KanbanCard.h"

#include <QFrame>
#include <QPoint>

class KanbanService;

class KanbanCardView : public QFrame {
public:
    KanbanCardView(KanbanService& service, const KanbanCard& card, QWidget* parent);

    const KanbanCard& card() const { return m_card; }

    // What a drop of `text` on this card does: the dragged card goes right above this one.
    bool dropText(const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    KanbanService& m_service;
    KanbanCard m_card;
    QPoint m_pressAt;
};
