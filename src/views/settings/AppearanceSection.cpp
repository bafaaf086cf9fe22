// The appearance section; see AppearanceSection.h.
#include "views/settings/AppearanceSection.h"

#include "services/SettingsService.h"
#include "views/Switch.h"
#include "views/settings/SwitchRow.h"

#include <QHBoxLayout>

AppearanceSection::AppearanceSection(SettingsService& settings, QWidget* parent)
    : SettingsSection(QStringLiteral("Appearance"),
                      QStringLiteral("Control how the island looks on screens without a physical notch."),
                      parent) {
    const QString title = tr("Simulate a notch on screens without one");
    m_switch = new Switch(title, Switch::Size::regular, this);
    m_switch->setObjectName(QStringLiteral("simulateNotch"));
    m_switch->setChecked(settings.simulateNotch());
    addContent(SwitchRow::make(
        m_switch, title, tr("Keeps the black bar visible on external monitors and Macs without a notch."),
        this));
    connect(m_switch, &Switch::toggled, &settings, &SettingsService::setSimulateNotch);
    connect(&settings, &SettingsService::simulateNotchChanged, this, [this, &settings] {
        const QSignalBlocker block(m_switch);
        m_switch->setChecked(settings.simulateNotch());
    });
}
