// The command palette laid over the dashboard: a search field and the first matching entries.
#pragma once

#include "services/CommandPalette.h"

#include <QList>
#include <QWidget>

#include <functional>

class QLineEdit;
class QScrollArea;
class QVBoxLayout;
class PaletteRow;

class PaletteView : public QWidget {
    Q_OBJECT
public:
    // `state` is read again on every rebuild, so running states and tab lists are current.
    // `close` asks the owner to close the palette; the owner hides it (it is never deleted by
    // anything it calls).
    PaletteView(std::function<CommandPalette::State()> state, CommandPalette::Operations operations,
                std::function<void()> close, QWidget* parent = nullptr);

    QString query() const;
    void setQuery(const QString& query);

    // The entries shown now, at most CommandPalette::maxRows.
    const QList<CommandPalette::Action>& shown() const { return m_shown; }
    QLineEdit* field() const { return m_field; }

    // Gives the keyboard to the search field, asking for the window's focus first.
    void focusField();
    // Makes the search field the window's keyboard target without asking for the window's focus; it
    // holds even while the palette is not on screen yet (the island still opening), so that what is
    // typed meanwhile lands in the field.
    void takeKeyboard();
    // Rebuilds the list from the current state (the owner calls it when that state changes).
    void refresh();
    // Runs a shown entry: closes the palette and clears the query first; the entry's action runs
    // from the event loop once this call has returned.
    void runShown(int row);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void submit();
    void dismiss();

    std::function<CommandPalette::State()> m_state;
    CommandPalette::Operations m_operations;
    std::function<void()> m_close;
    QLineEdit* m_field = nullptr;
    QScrollArea* m_scroll = nullptr;
    QList<PaletteRow*> m_rows;
    QList<CommandPalette::Action> m_shown;
};
