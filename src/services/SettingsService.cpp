// Loading, saving and the tab-order rules of the settings store.
#include "services/SettingsService.h"

#include "platform/KeyCodes.h"
#include "services/Defaults.h"

#include <QJsonArray>

#include <limits>

namespace {

const QString kTabOrder = QStringLiteral("dashboardTabOrder");
const QString kDisabledTabs = QStringLiteral("dashboardDisabledTabs");
const QString kSimulateNotch = QStringLiteral("simulateNotch");
const QString kPreferredScreen = QStringLiteral("preferredScreen");
const QString kHotkeyKeyCode = QStringLiteral("hotkeyKeyCode");
const QString kHotkeyModifiers = QStringLiteral("hotkeyModifiers");
const QString kHotkeyDisplay = QStringLiteral("hotkeyDisplay");
const QString kClipKeyCode = QStringLiteral("clipboardHotkeyKeyCode");
const QString kClipModifiers = QStringLiteral("clipboardHotkeyModifiers");
const QString kClipDisplay = QStringLiteral("clipboardHotkeyDisplay");
const QString kMigrated = QStringLiteral("migratedFromVestrand");
const QString kEarlierDomain = QStringLiteral("com.farrowlight.vestrand");

const QString islandDisplayDefault = QStringLiteral("Ctrl+Alt+N");
const QString pickerDisplayDefault = QStringLiteral("Shift+Super+V");

// No entry twice (the first is kept), then every missing built-in tab in built-in order.
QList<TabSelection> normalisedOrder(const QList<TabSelection>& order) {
    QList<TabSelection> result;
    QSet<TabSelection> seen;
    for (const TabSelection& s : order) {
        if (seen.contains(s))
            continue;
        seen.insert(s);
        result << s;
    }
    for (DashboardTab tab : DashboardTab::allCases())
        if (!seen.contains(tab))
            result << TabSelection(tab);
    return result;
}

// All built-in tabs off is not allowed: the first built-in entry of the order comes back on.
QSet<DashboardTab> repairedDisabled(QSet<DashboardTab> disabled, const QList<TabSelection>& order) {
    if (disabled.size() < DashboardTab::count)
        return disabled;
    for (const TabSelection& s : order) {
        if (s.isBuiltin()) {
            disabled.remove(s.tab());
            break;
        }
    }
    return disabled;
}

QJsonArray orderToJson(const QList<TabSelection>& order) {
    QJsonArray array;
    for (const TabSelection& s : order)
        array.append(s.id());
    return array;
}

// Written in built-in order so that the file does not change with hash order.
QJsonArray disabledToJson(const QSet<DashboardTab>& disabled) {
    QJsonArray array;
    for (DashboardTab tab : DashboardTab::allCases())
        if (disabled.contains(tab))
            array.append(tab.id());
    return array;
}

template <typename T> bool assign(T& member, const T& value) {
    if (member == value)
        return false;
    member = value;
    return true;
}

} // namespace

SettingsService::SettingsService(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults) {
    migrateFromVestrandIfNeeded();
    m_defaults.registerDefaults({
        {kSimulateNotch, true},
        {kPreferredScreen, QStringLiteral("auto")},
        {kHotkeyKeyCode, 45},
        {kHotkeyModifiers, qint64(controlFlag | optionFlag)},
        {kHotkeyDisplay, islandDisplayDefault},
        {kClipKeyCode, 9},
        {kClipModifiers, qint64(shiftFlag | commandFlag)},
        {kClipDisplay, pickerDisplayDefault},
    });
    load();
}

void SettingsService::migrateFromVestrandIfNeeded() {
    if (m_defaults.boolValue(kMigrated)) {
        m_defaults.set(kMigrated, true);
        return;
    }
    const QJsonObject earlier = m_defaults.persistentDomain(kEarlierDomain);
    for (auto it = earlier.begin(); it != earlier.end(); ++it)
        m_defaults.set(it.key(), it.value());
    m_defaults.set(kMigrated, true);
}

void SettingsService::load() {
    QList<TabSelection> order;
    for (const QString& id : m_defaults.stringArray(kTabOrder).value_or(QStringList()))
        if (const auto s = TabSelection::fromStorageID(id))
            order << *s;
    m_tabOrder = normalisedOrder(order);

    QSet<DashboardTab> disabled;
    for (const QString& id : m_defaults.stringArray(kDisabledTabs).value_or(QStringList()))
        if (const auto tab = DashboardTab::fromID(id))
            disabled.insert(*tab);
    m_disabledTabs = repairedDisabled(disabled, m_tabOrder);

    m_simulateNotch = m_defaults.boolValue(kSimulateNotch);
    m_preferredScreen = readText(kPreferredScreen, QStringLiteral("auto"));
    m_hotkeyKeyCode = readKeyCode(kHotkeyKeyCode);
    m_hotkeyModifiers = readModifiers(kHotkeyModifiers);
    // A text stored in the sign form shows in Linux words; it is rewritten only with the next recording.
    m_hotkeyDisplay = KeyCodes::linuxDisplay(readText(kHotkeyDisplay, islandDisplayDefault));
    m_clipboardHotkeyKeyCode = readKeyCode(kClipKeyCode);
    m_clipboardHotkeyModifiers = readModifiers(kClipModifiers);
    m_clipboardHotkeyDisplay = KeyCodes::linuxDisplay(readText(kClipDisplay, pickerDisplayDefault));
}

int SettingsService::readKeyCode(const QString& key) const {
    // Out-of-range numbers name no key; saturating keeps a negative value meaning "no hot key".
    const qint64 value = m_defaults.integer(key);
    return int(
        qBound(qint64(std::numeric_limits<int>::min()), value, qint64(std::numeric_limits<int>::max())));
}

uint SettingsService::readModifiers(const QString& key) const {
    // A negative or oversized number is no valid set of flags: read as no modifiers.
    const qint64 value = m_defaults.integer(key);
    if (value < 0 || value > qint64(std::numeric_limits<uint>::max()))
        return 0;
    return uint(value);
}

QString SettingsService::readText(const QString& key, const QString& fallback) const {
    return m_defaults.string(key).value_or(fallback);
}

void SettingsService::setTabOrder(const QList<TabSelection>& order) {
    const bool changed = assign(m_tabOrder, normalisedOrder(order));
    m_defaults.set(kTabOrder, orderToJson(m_tabOrder));
    if (changed)
        emit tabOrderChanged();
}

void SettingsService::setDisabledTabs(const QSet<DashboardTab>& tabs) {
    const bool changed = assign(m_disabledTabs, repairedDisabled(tabs, m_tabOrder));
    m_defaults.set(kDisabledTabs, disabledToJson(m_disabledTabs));
    if (changed)
        emit disabledTabsChanged();
}

void SettingsService::setSimulateNotch(bool on) {
    const bool changed = assign(m_simulateNotch, on);
    m_defaults.set(kSimulateNotch, on);
    if (changed)
        emit simulateNotchChanged();
}

void SettingsService::setPreferredScreen(const QString& screen) {
    const bool changed = assign(m_preferredScreen, screen);
    m_defaults.set(kPreferredScreen, screen);
    if (changed)
        emit preferredScreenChanged();
}

void SettingsService::setHotkeyKeyCode(int keyCode) {
    const bool changed = assign(m_hotkeyKeyCode, keyCode);
    m_defaults.set(kHotkeyKeyCode, keyCode);
    if (changed)
        emit hotkeyKeyCodeChanged();
}

void SettingsService::setHotkeyModifiers(uint modifiers) {
    const bool changed = assign(m_hotkeyModifiers, modifiers);
    m_defaults.set(kHotkeyModifiers, qint64(modifiers));
    if (changed)
        emit hotkeyModifiersChanged();
}

void SettingsService::setHotkeyDisplay(const QString& text) {
    const bool changed = assign(m_hotkeyDisplay, text);
    m_defaults.set(kHotkeyDisplay, text);
    if (changed)
        emit hotkeyDisplayChanged();
}

void SettingsService::setClipboardHotkeyKeyCode(int keyCode) {
    const bool changed = assign(m_clipboardHotkeyKeyCode, keyCode);
    m_defaults.set(kClipKeyCode, keyCode);
    if (changed)
        emit clipboardHotkeyKeyCodeChanged();
}

void SettingsService::setClipboardHotkeyModifiers(uint modifiers) {
    const bool changed = assign(m_clipboardHotkeyModifiers, modifiers);
    m_defaults.set(kClipModifiers, qint64(modifiers));
    if (changed)
        emit clipboardHotkeyModifiersChanged();
}

void SettingsService::setClipboardHotkeyDisplay(const QString& text) {
    const bool changed = assign(m_clipboardHotkeyDisplay, text);
    m_defaults.set(kClipDisplay, text);
    if (changed)
        emit clipboardHotkeyDisplayChanged();
}

void SettingsService::setRecording(bool on) {
    if (assign(m_recording, on))
        emit recordingChanged();
}

QList<DashboardTab> SettingsService::enabledTabs() const {
    QList<DashboardTab> tabs;
    for (const TabSelection& s : m_tabOrder)
        if (s.isBuiltin() && !m_disabledTabs.contains(s.tab()))
            tabs << s.tab();
    return tabs;
}

void SettingsService::setTab(DashboardTab tab, bool enabled) {
    QSet<DashboardTab> disabled = m_disabledTabs;
    if (enabled) {
        disabled.remove(tab);
    } else {
        if (enabledTabs().size() < 2)
            return;
        disabled.insert(tab);
    }
    setDisabledTabs(disabled);
}

void SettingsService::moveTab(const TabSelection& selection, int delta) {
    const qsizetype index = m_tabOrder.indexOf(selection);
    if (index < 0)
        return;
    const qint64 target = qint64(index) + delta;
    if (target < 0 || target >= m_tabOrder.size())
        return;
    QList<TabSelection> order = m_tabOrder;
    order.swapItemsAt(index, qsizetype(target));
    setTabOrder(order);
}

void SettingsService::syncCustomTabs(const QList<QUuid>& ids) {
    const QSet<QUuid> wanted(ids.begin(), ids.end());
    QList<TabSelection> order;
    QSet<QUuid> kept;
    for (const TabSelection& s : m_tabOrder) {
        if (s.isBuiltin()) {
            order << s;
        } else if (wanted.contains(s.uuid())) {
            order << s;
            kept.insert(s.uuid());
        }
    }
    for (const QUuid& id : ids) {
        if (!kept.contains(id)) {
            order << TabSelection::custom(id);
            kept.insert(id); // an id listed twice gets one entry
        }
    }
    if (order != m_tabOrder)
        setTabOrder(order);
}

void SettingsService::beginRecording(HotkeyTarget target) {
    if (m_recording)
        return;
    m_recordingTarget = target;
    setRecording(true);
}

void SettingsService::endRecording() {
    setRecording(false);
}

void SettingsService::clearHotkey(HotkeyTarget target) {
    const QString none = QString::fromUtf8("—");
    if (target == HotkeyTarget::island) {
        setHotkeyKeyCode(-1);
        setHotkeyDisplay(none);
    } else {
        setClipboardHotkeyKeyCode(-1);
        setClipboardHotkeyDisplay(none);
    }
}

namespace {
bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case 0:
        return true;
    default:
        return false;
    }
}
} // namespace

void SettingsService::recordKey(int key, Qt::KeyboardModifiers modifiers) {
    if (!m_recording)
        return;
    if (key == Qt::Key_Escape) {
        endRecording();
        return;
    }
    // Modifier keys on their own are the start of a combination: the recording waits for the key.
    if (isModifierKey(key))
        return;
    const auto keyCode = KeyCodes::fromQtKey(key, modifiers);
    const uint flags = KeyCodes::flagsFromQt(modifiers) & KeyCodes::modifierMask;
    // Keys without a code are not combinations. Shift alone is not enough either: a global grab of
    // shift+letter would swallow that capital letter everywhere. The recording goes on after either.
    if (!keyCode) {
        emit recordingRefused(
            tr("This key can't be part of a shortcut. Try a letter, a digit or a function key."));
        return;
    }
    if ((flags & (controlFlag | optionFlag | commandFlag)) == 0) {
        emit recordingRefused(tr("Hold Ctrl, Alt or Super with the key: Shift alone is not enough."));
        return;
    }
    const QString text = KeyCodes::describe(flags, *keyCode, key);
    if (m_recordingTarget == HotkeyTarget::island) {
        setHotkeyKeyCode(*keyCode);
        setHotkeyModifiers(flags);
        setHotkeyDisplay(text);
    } else {
        setClipboardHotkeyKeyCode(*keyCode);
        setClipboardHotkeyModifiers(flags);
        setClipboardHotkeyDisplay(text);
    }
    endRecording();
}
