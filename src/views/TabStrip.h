// The dashboard's row of tab buttons: one capsule per tab, scrolled sideways when they do not fit,
// the selected one filled and brought to the middle.
#pragma once

#include "model/TabSelection.h"

#include <QList>
#include <QScrollArea>
#include <QStringList>

class QAbstractButton;
class QHBoxLayout;
class QPropertyAnimation;

class TabStrip final : public QScrollArea {
    Q_OBJECT
public:
    struct Entry {
        TabSelection selection;
        QString title;
        QString icon;
    };

    explicit TabStrip(QWidget* parent = nullptr);

    // Rebuilds the buttons only when a tab, title or symbol changed, so that a press in progress
    // survives change notices that alter nothing shown.
    void setTabs(const QList<Entry>& tabs);
    // Checks the button of `selection` and no other.
    void setCurrent(const TabSelection& selection);
    // Brings the button of `selection` whole into sight, as near the middle as whole tabs allow, animated
    // while the strip is on screen.
    void scrollTo(const TabSelection& selection);

    // The button of a tab; null for a tab not in the strip.
    QAbstractButton* button(const TabSelection& selection) const;

signals:
    // A press, also on the tab already selected; the strip itself selects nothing.
    void tabPressed(const TabSelection& selection);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The scroll positions that put a tab's left edge at the strip's left edge, the first being 0.
    QList<int> stops() const;
    int nearestStop(int value) const;
    // Hides whatever the edges cut of a tab.
    void showWholeTabsOnly();

    QWidget* m_row = nullptr;
    QHBoxLayout* m_rowLayout = nullptr;
    QList<QAbstractButton*> m_buttons;
    QList<TabSelection> m_tabs;
    // What the buttons were built from.
    QStringList m_keys;
    TabSelection m_current;
    QPropertyAnimation* m_scrollAnimation = nullptr;
    int m_wheelRest = 0; // wheel turns not yet worth a whole tab, in eighths of a degree
};
