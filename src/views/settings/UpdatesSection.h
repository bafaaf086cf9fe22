// "Updates": the installed version, the check for a newer one with its outcome, the offer with its
// notes and "Update now", and the switch for the daily automatic check. It shows what it is given and
// reports the user's requests; the settings view ties both to the update service.
#pragma once

#include "model/UpdateStatus.h"

#include "views/settings/SettingsSection.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;
class Switch;

class UpdatesSection : public SettingsSection {
    Q_OBJECT
public:
    struct State {
        using Kind = UpdateStatus::Kind;
        Kind kind = Kind::idle;
        QString version;    // available: the offered version
        QString notes;      // available: its release notes, shown as they are
        QString message;    // error: the text to show
        bool quiet = false; // error: shown in the secondary colour rather than red
        int progress = -1;  // installing: percent of the archive unpacked, -1 when not unpacking
    };

    explicit UpdatesSection(const QString& currentVersion, QWidget* parent = nullptr);

    void setState(const State& state);
    State state() const { return m_state; }
    void setAutoCheck(bool on);

    QPushButton* checkButton() const { return m_check; }
    QLabel* statusLabel() const { return m_status; }
    QProgressBar* spinner() const { return m_spinner; }
    QWidget* offerBox() const { return m_offer; }
    QLabel* offerTitle() const { return m_offerTitle; }
    QLabel* offerNotes() const { return m_notes; }
    QPushButton* updateNowButton() const { return m_updateNow; }
    Switch* autoCheckSwitch() const { return m_auto; }

    static constexpr int maxNoteLines = 5;

signals:
    void checkRequested();
    void installRequested();
    void autoCheckToggled(bool on);

private:
    void refresh();

    State m_state;
    QPushButton* m_check;
    QProgressBar* m_spinner;
    QLabel* m_status;
    QWidget* m_offer;
    QLabel* m_offerTitle;
    QLabel* m_notes;
    QPushButton* m_updateNow;
    Switch* m_auto;
};
