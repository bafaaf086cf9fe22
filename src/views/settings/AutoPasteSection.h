// "Clipboard auto-paste": whether picked clipboard items can be typed into the previous window, and
// the way to ask for it.
#pragma once

#include "views/settings/SettingsSection.h"

class AccessibilityAuth;
class QLabel;
class QPushButton;

class AutoPasteSection : public SettingsSection {
    Q_OBJECT
public:
    explicit AutoPasteSection(AccessibilityAuth& accessibility, QWidget* parent = nullptr);

    QString statusText() const;
    QPushButton* grantButton() const { return m_grant; }

private:
    void refresh();

    AccessibilityAuth& m_accessibility;
    QLabel* m_symbol;
    QLabel* m_text;
    QPushButton* m_grant;
};
