// The island's settings (tab order, disabled tabs, notch, screen, hot keys), mirrored in the user
// defaults on every assignment. Also the home of the hot-key recording state and of what a key pressed
// during a recording means.
#pragma once

#include "model/DashboardTab.h"
#include "model/HotkeyTarget.h"
#include "model/TabSelection.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

class Defaults;

class SettingsService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<TabSelection> tabOrder READ tabOrder WRITE setTabOrder NOTIFY tabOrderChanged)
    Q_PROPERTY(
        QSet<DashboardTab> disabledTabs READ disabledTabs WRITE setDisabledTabs NOTIFY disabledTabsChanged)
    Q_PROPERTY(bool simulateNotch READ simulateNotch WRITE setSimulateNotch NOTIFY simulateNotchChanged)
    Q_PROPERTY(
        QString preferredScreen READ preferredScreen WRITE setPreferredScreen NOTIFY preferredScreenChanged)
    Q_PROPERTY(int hotkeyKeyCode READ hotkeyKeyCode WRITE setHotkeyKeyCode NOTIFY hotkeyKeyCodeChanged)
    Q_PROPERTY(
        uint hotkeyModifiers READ hotkeyModifiers WRITE setHotkeyModifiers NOTIFY hotkeyModifiersChanged)
    Q_PROPERTY(QString hotkeyDisplay READ hotkeyDisplay WRITE setHotkeyDisplay NOTIFY hotkeyDisplayChanged)
    Q_PROPERTY(int clipboardHotkeyKeyCode READ clipboardHotkeyKeyCode WRITE setClipboardHotkeyKeyCode NOTIFY
                   clipboardHotkeyKeyCodeChanged)
    Q_PROPERTY(uint clipboardHotkeyModifiers READ clipboardHotkeyModifiers WRITE setClipboardHotkeyModifiers
                   NOTIFY clipboardHotkeyModifiersChanged)
    Q_PROPERTY(QString clipboardHotkeyDisplay READ clipboardHotkeyDisplay WRITE setClipboardHotkeyDisplay
                   NOTIFY clipboardHotkeyDisplayChanged)
    Q_PROPERTY(bool recording READ recording WRITE setRecording NOTIFY recordingChanged)

public:
    // Modifier bits as stored (macOS key-event flags, kept so that stored files stay compatible).
    static constexpr uint shiftFlag = 0x20000;
    static constexpr uint controlFlag = 0x40000;
    static constexpr uint optionFlag = 0x80000;
    static constexpr uint commandFlag = 0x100000;

    // Copies the earlier product's preferences once, registers the defaults and loads every value.
    // Loading writes nothing else back.
    explicit SettingsService(Defaults& defaults, QObject* parent = nullptr);

    QList<TabSelection> tabOrder() const { return m_tabOrder; }
    QSet<DashboardTab> disabledTabs() const { return m_disabledTabs; }
    bool simulateNotch() const { return m_simulateNotch; }
    QString preferredScreen() const { return m_preferredScreen; }
    int hotkeyKeyCode() const { return m_hotkeyKeyCode; }
    uint hotkeyModifiers() const { return m_hotkeyModifiers; }
    QString hotkeyDisplay() const { return m_hotkeyDisplay; }
    int clipboardHotkeyKeyCode() const { return m_clipboardHotkeyKeyCode; }
    uint clipboardHotkeyModifiers() const { return m_clipboardHotkeyModifiers; }
    QString clipboardHotkeyDisplay() const { return m_clipboardHotkeyDisplay; }
    bool recording() const { return m_recording; }
    HotkeyTarget recordingTarget() const { return m_recordingTarget; }

    // Each setter saves its key, also when the value is unchanged, and notifies only on a change.
    // The tab setters keep the invariants: every built-in tab once in the order, no entry twice,
    // at least one built-in tab enabled.
    void setTabOrder(const QList<TabSelection>& order);
    void setDisabledTabs(const QSet<DashboardTab>& tabs);
    void setSimulateNotch(bool on);
    void setPreferredScreen(const QString& screen);
    void setHotkeyKeyCode(int keyCode);
    void setHotkeyModifiers(uint modifiers);
    void setHotkeyDisplay(const QString& text);
    void setClipboardHotkeyKeyCode(int keyCode);
    void setClipboardHotkeyModifiers(uint modifiers);
    void setClipboardHotkeyDisplay(const QString& text);
    // Not stored.
    void setRecording(bool on);

    // The built-in entries of the order that are not disabled, in order.
    QList<DashboardTab> enabledTabs() const;
    // Refuses to switch off the last enabled tab (then nothing is written).
    void setTab(DashboardTab tab, bool enabled);
    // Swaps the entry with its neighbour `delta` places away, when that place exists.
    void moveTab(const TabSelection& selection, int delta);
    // Keeps the custom entries in step with the custom tabs that exist; writes only on a change.
    void syncCustomTabs(const QList<QUuid>& ids);

    // Hot-key recording: the next key press in this application that carries control, option or
    // command becomes the target's hot key; Escape cancels. Ignored while a recording runs. The key
    // presses come from whoever watches the keyboard meanwhile (the settings view's HotkeyRecorder).
    void beginRecording(HotkeyTarget target);
    // Safe when no recording runs.
    void endRecording();
    // One key pressed during a recording (ignored without one): Escape ends it, a modifier alone waits
    // for the key, a combination with control, option or command becomes the target's hot key, and
    // anything else is refused with a reason (recordingRefused) while the recording goes on.
    void recordKey(int key, Qt::KeyboardModifiers modifiers);
    // Leaves the target without a hot key (key code -1, text "—"); the modifiers are kept.
    void clearHotkey(HotkeyTarget target);

signals:
    void tabOrderChanged();
    void disabledTabsChanged();
    void simulateNotchChanged();
    void preferredScreenChanged();
    void hotkeyKeyCodeChanged();
    void hotkeyModifiersChanged();
    void hotkeyDisplayChanged();
    void clipboardHotkeyKeyCodeChanged();
    void clipboardHotkeyModifiersChanged();
    void clipboardHotkeyDisplayChanged();
    void recordingChanged();
    // A key pressed during a recording was not taken; `message` says why. The recording goes on.
    void recordingRefused(const QString& message);

private:
    void migrateFromVestrandIfNeeded();
    void load();
    int readKeyCode(const QString& key) const;
    uint readModifiers(const QString& key) const;
    QString readText(const QString& key, const QString& fallback) const;

    Defaults& m_defaults;
    QList<TabSelection> m_tabOrder;
    QSet<DashboardTab> m_disabledTabs;
    bool m_simulateNotch = true;
    QString m_preferredScreen;
    int m_hotkeyKeyCode = 45;
    uint m_hotkeyModifiers = controlFlag | optionFlag;
    QString m_hotkeyDisplay;
    int m_clipboardHotkeyKeyCode = 9;
    uint m_clipboardHotkeyModifiers = shiftFlag | commandFlag;
    QString m_clipboardHotkeyDisplay;
    bool m_recording = false;
    HotkeyTarget m_recordingTarget = HotkeyTarget::island;
};
