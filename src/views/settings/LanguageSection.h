// "Language": the interface language, and the restart that applies a new one.
#pragma once

#include "views/settings/SettingsSection.h"

class LanguageService;
class QComboBox;
class QPushButton;

class LanguageSection : public SettingsSection {
    Q_OBJECT
public:
    explicit LanguageSection(LanguageService& language, QWidget* parent = nullptr);

    QComboBox* picker() const { return m_picker; }
    QPushButton* restartButton() const { return m_restart; }

private:
    void refresh();

    LanguageService& m_language;
    QComboBox* m_picker;
    QPushButton* m_restart;
};
