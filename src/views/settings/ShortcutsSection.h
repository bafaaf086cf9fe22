// "Global shortcuts": the island's and the quick-paste picker's hot keys, recorded or removed here,
// with a message when a pressed key cannot become a shortcut.
#pragma once

#include "model/HotkeyTarget.h"
#include "views/settings/SettingsSection.h"

class HotkeyRecorder;
class QLabel;
class QPushButton;
class SettingsService;

class ShortcutsSection : public SettingsSection {
    Q_OBJECT
public:
    explicit ShortcutsSection(SettingsService& settings, QWidget* parent = nullptr);

    // Shows why the last key was not taken, until the next recording starts.
    void showProblem(const QString& message);
    QString problem() const;

    struct Row {
        QLabel* key = nullptr;
        QPushButton* record = nullptr;
        QPushButton* remove = nullptr;
    };
    const Row& row(HotkeyTarget target) const { return target == HotkeyTarget::island ? m_island : m_picker; }
    HotkeyRecorder* recorder() const { return m_recorder; }

private:
    Row makeRow(const QString& label, HotkeyTarget target);
    void refresh();

    SettingsService& m_settings;
    HotkeyRecorder* m_recorder = nullptr;
    Row m_island;
    Row m_picker;
    QLabel* m_problem = nullptr;
};
