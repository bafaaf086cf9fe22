// "Monitor": the display the island lives on, "Automatic" or one of the connected screens; a stored
// choice whose screen is gone stays listed as disconnected.
#pragma once

#include "views/settings/SettingsSection.h"

#include <QList>

#include <functional>

class QComboBox;
class SettingsService;

// One connected screen as the picker lists it: the identifier the island's screen choice uses, and
// the name shown.
struct ScreenChoice {
    QString id;
    QString name;
};
using ScreenSource = std::function<QList<ScreenChoice>()>;

class MonitorSection : public SettingsSection {
    Q_OBJECT
public:
    MonitorSection(SettingsService& settings, ScreenSource screens, QWidget* parent = nullptr);

    // The connected screens changed: the list is read again.
    void screensChanged();
    QComboBox* picker() const { return m_picker; }

private:
    void rebuild();

    SettingsService& m_settings;
    ScreenSource m_screens;
    QComboBox* m_picker;
};
