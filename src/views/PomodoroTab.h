// The dashboard's Pomodoro tab: phase chips, the session count, the progress ring and the controls.
#pragma once

#include <QWidget>

class ChipRow;
class PomodoroRing;
class PomodoroService;
class QLabel;
class QPushButton;

class PomodoroTab : public QWidget {
    Q_OBJECT
public:
    explicit PomodoroTab(PomodoroService& service, QWidget* parent = nullptr);

private:
    void refresh();
    static QString runningHint();
    static QString idleHint();

    PomodoroService& m_service;
    ChipRow* m_chips;
    QLabel* m_count;
    PomodoroRing* m_ring;
    QPushButton* m_toggle;
    QLabel* m_hint;
};
