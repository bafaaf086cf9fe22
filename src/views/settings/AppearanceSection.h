// "Appearance": whether the idle island is drawn on screens without a notch.
#pragma once

#include "views/settings/SettingsSection.h"

class SettingsService;
class Switch;

class AppearanceSection : public SettingsSection {
    Q_OBJECT
public:
    explicit AppearanceSection(SettingsService& settings, QWidget* parent = nullptr);

    Switch* notchSwitch() const { return m_switch; }

private:
    Switch* m_switch;
};
