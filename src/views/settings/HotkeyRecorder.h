// The key monitor of a hot-key recording: while the settings record a hot key, every key press in the
// application goes to them first, whichever window has the focus and before any shortcut takes it.
// The settings decide what a press means; this only watches the keyboard while they ask for it.
#pragma once

#include <QObject>

class SettingsService;

class HotkeyRecorder : public QObject {
    Q_OBJECT
public:
    // Follows the settings' recording from here on, also one already under way.
    explicit HotkeyRecorder(SettingsService& settings, QObject* parent = nullptr);
    ~HotkeyRecorder() override;

    // Whether the monitor sits on the application now.
    bool watching() const { return m_watching; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();

    SettingsService& m_settings;
    bool m_watching = false;
};
