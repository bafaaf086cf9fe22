// "Privacy": the switch for the anonymous usage report, what it holds, the exact report on request,
// and the privacy policy page.
#pragma once

#include "views/settings/SettingsSection.h"

#include <QUrl>

#include <functional>

class QPlainTextEdit;
class QPushButton;
class Switch;
class TelemetryService;

class PrivacySection : public SettingsSection {
    Q_OBJECT
public:
    using OpenUrl = std::function<void(const QUrl&)>;

    PrivacySection(TelemetryService& telemetry, OpenUrl openUrl, QWidget* parent = nullptr);

    bool mostrarPrevia() const { return m_mostrarPrevia; }
    // The report as the preview shows it: pretty-printed, keys sorted; "{}" when it cannot be written.
    static QString previewText(TelemetryService& telemetry);

    Switch* reportSwitch() const { return m_switch; }
    QPushButton* previewButton() const { return m_previewButton; }
    QPushButton* policyButton() const { return m_policy; }
    QPlainTextEdit* preview() const { return m_preview; }

private:
    void refresh();

    TelemetryService& m_telemetry;
    bool m_mostrarPrevia = false;
    Switch* m_switch;
    QPushButton* m_previewButton;
    QPushButton* m_policy;
    QPlainTextEdit* m_preview;
};
