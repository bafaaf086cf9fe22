// The whole content of the settings window: the eight sections in a scroll area, and a fixed footer
// with "Quit Quillbay" and "Close". Every change is stored by its service at once; the view's own state
// (the preview, the custom tab form) starts afresh with each view.
#pragma once

#include "views/settings/MonitorSection.h"
#include "views/settings/PrivacySection.h"

#include <QWidget>

#include <functional>

class AccessibilityAuth;
class AppearanceSection;
class AutoPasteSection;
class CustomTabsService;
class FeaturesSection;
class LanguageService;
class LanguageSection;
class QPushButton;
class QScrollArea;
class SettingsSection;
class SettingsService;
class ShortcutsSection;
class TelemetryService;
class UpdateService;
class UpdatesSection;

class SettingsView : public QWidget {
    Q_OBJECT
public:
    struct Services {
        SettingsService& settings;
        CustomTabsService& customTabs;
        AccessibilityAuth& accessibility;
        UpdateService& updates;
        TelemetryService& telemetry;
        LanguageService& language;
    };
    struct Actions {
        std::function<void()> onClose;
        std::function<void()> onQuit;
        ScreenSource screens;            // the connected screens for the monitor picker
        PrivacySection::OpenUrl openUrl; // the privacy page in the browser
    };

    SettingsView(Services services, Actions actions, QWidget* parent = nullptr);

    // The connected screens changed.
    void screensChanged();

    QList<SettingsSection*> sections() const { return m_sections; }
    ShortcutsSection* shortcuts() const { return m_shortcuts; }
    AutoPasteSection* autoPaste() const { return m_autoPaste; }
    FeaturesSection* features() const { return m_features; }
    LanguageSection* languageSection() const { return m_language; }
    AppearanceSection* appearance() const { return m_appearance; }
    MonitorSection* monitor() const { return m_monitor; }
    PrivacySection* privacy() const { return m_privacy; }
    UpdatesSection* updatesSection() const { return m_updates; }
    QPushButton* quitButton() const { return m_quit; }
    QPushButton* closeButton() const { return m_close; }
    QScrollArea* scrollArea() const { return m_scroll; }

private:
    void bindUpdates(UpdateService& updates);
    // Scrolls the offer and its "Update now" into view, once the layouts have placed it.
    void revealOffer();

    Services m_services;
    Actions m_actions;
    QList<SettingsSection*> m_sections;
    ShortcutsSection* m_shortcuts;
    AutoPasteSection* m_autoPaste;
    FeaturesSection* m_features;
    LanguageSection* m_language;
    AppearanceSection* m_appearance;
    MonitorSection* m_monitor;
    PrivacySection* m_privacy;
    UpdatesSection* m_updates;
    QScrollArea* m_scroll;
    QPushButton* m_quit;
    QPushButton* m_close;
    // A check started here is under way: an offer it brings is scrolled into view.
    bool m_revealOffer = false;
};
