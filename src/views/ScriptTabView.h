// A script tab: its command's last output, run again on the tab's interval while the view is on screen.
#pragma once

#include "model/CustomTab.h"

#include <QTimer>
#include <QWidget>

class CustomTabsService;
class IconButton;
class QPlainTextEdit;
class SectionTitle;

class ScriptTabView : public QWidget {
    Q_OBJECT
public:
    // Intervals beyond a day are taken as a day: the timer counts milliseconds in an int.
    static constexpr qint64 kMaxIntervalSeconds = 86400;

    ScriptTabView(CustomTabsService& service, const CustomTab& tab, QWidget* parent = nullptr);

    const CustomTab& tab() const { return m_tab; }
    // A new value of the same tab; a change of interval or command restarts the periodic runs.
    void setTab(const CustomTab& tab);

    // The identity of the periodic runs: id, interval and the command's hash.
    QString refreshKey() const;
    // The periodic timer, null interval when the tab does not refresh (tests drive it).
    QTimer& refreshTimer() { return m_timer; }
    QString outputText() const;
    bool spinnerShown() const;
    IconButton* runAgainButton() const { return m_runAgain; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startTask();
    void syncOutput();
    void syncRunning();

    CustomTabsService& m_service;
    CustomTab m_tab;
    QTimer m_timer;
    SectionTitle* m_title = nullptr;
    QWidget* m_spinner = nullptr;
    IconButton* m_runAgain = nullptr;
    QPlainTextEdit* m_output = nullptr;
};
