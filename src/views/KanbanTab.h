// The dashboard's Kanban tab: the new-task row and three stage columns whose cards are moved by their
// chevrons or dragged between and within the columns; a card opens in an editor in place of the board.
#pragma once

#include "model/KanbanCard.h"

#include <QList>
#include <QWidget>

class DarkField;
class IconButton;
class KanbanService;
class KanbanColumnView;
class ChipRow;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedLayout;

class KanbanTab : public QWidget {
    Q_OBJECT
public:
    explicit KanbanTab(KanbanService& service, QWidget* parent = nullptr);

    // The card id a drag carries, when the text is one.
    static std::optional<QUuid> draggedId(const QString& text);

private:
    QWidget* buildBoard();
    QWidget* buildEditor();
    void rebuildColumns();
    void refreshRow();
    void refreshEditor();

    KanbanService& m_service;
    QStackedLayout* m_pages = nullptr;
    DarkField* m_draft = nullptr;
    QPushButton* m_add = nullptr;
    IconButton* m_clear = nullptr;
    QList<KanbanColumnView*> m_columns;
    QLineEdit* m_editTitle = nullptr;
    QPlainTextEdit* m_editDetails = nullptr;
    ChipRow* m_stages = nullptr;
    QPushButton* m_save = nullptr;
};
