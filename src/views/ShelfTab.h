// The dashboard's Shelf tab: the files dropped on the island, newest first, each dragged out as a copy,
// sent to the phone, copied, revealed or taken off the shelf.
#pragma once

#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QDrag;
class QLabel;
class QVBoxLayout;
class ShelfService;

class ShelfTab : public QWidget {
    Q_OBJECT
public:
    // Runs a drag that a row starts, offering `actions`, and gives the action the target took. The
    // program uses QDrag::exec; tests replace it to see what a drag offers without a window system.
    using DragRunner = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions actions)>;

    explicit ShelfTab(ShelfService& service, QWidget* parent = nullptr);

    void setDragRunner(DragRunner runner) { m_runDrag = std::move(runner); }

private:
    void rebuild();
    void startDrag(const QString& path);

    ShelfService& m_service;
    DragRunner m_runDrag;
    QWidget* m_trash;
    QWidget* m_empty;
    QWidget* m_rows;
    QVBoxLayout* m_rowsLayout;
    bool m_dragging = false;
    // The last drag out: the receiving program asks for the file's URL after the drop, when the
    // drag itself has already ended, so its data stays until the next drag.
    QPointer<QDrag> m_lastDrag;
    bool m_rebuildPending = false;
    // The theme's icon for each file type seen, so a rebuild does not ask the theme again.
    QHash<QString, QIcon> m_iconsByType;
};
