// The one owner of every feature service, and the state of the expanded dashboard: the selected tab,
// whether the command palette is open, which tabs the tab bar shows and what lights up the island.
#pragma once

#include "model/TabSelection.h"
#include "services/AppFolders.h"
#include "services/LateLoad.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

struct Platform;
class AbsentSeams;
class Defaults;
class SettingsService;
class CustomTabsService;
class CommandsService;
class AIUsageService;
class AgentsService;
class UtilsState;
class ClipboardService;
class CameraService;
class MediaService;
class UpdateService;
class PomodoroService;
class KanbanService;
class ShelfService;
class NewsService;
class NewsWriter;
class ProfilesService;
class HUDService;
class TelemetryService;
class LanguageService;
class AccessibilityAuth;
struct CustomTab;

class DashboardModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(TabSelection tab READ tab WRITE setTab NOTIFY tabChanged)
    Q_PROPERTY(bool paletteOpen READ paletteOpen WRITE setPaletteOpen NOTIFY paletteOpenChanged)
public:
    // Creates the services in a fixed order: the settings store first, since it takes over the earlier
    // product's preferences before anyone else reads them. With `stores` later, the large stores (saved
    // commands, clipboard history, news and profiles) wait for loadStores(). The services keep their files
    // in `folders`.
    // Choices a test makes that are not facilities of the desktop.
    struct Options {
        // The log keeper of the services; empty: the "quillbay-logkeeper" beside the program, when there
        // is one.
        QString logKeeper;
        // Where updates come from; empty: the maker's host the build names. Tests point it at loopback
        // so that nothing leaves the machine.
        QString updateHost;
    };

    DashboardModel(Platform& platform, Defaults& defaults, const AppPaths::Folders& folders,
                   QObject* parent = nullptr, StoreLoad stores = StoreLoad::atOnce,
                   const Options& options = {});
    ~DashboardModel() override;

    // Has the services whose stores wait read them, each on a worker thread; once the island is drawn.
    void loadStores();

    TabSelection tab() const { return m_tab; }
    void setTab(const TabSelection& tab);
    bool paletteOpen() const { return m_paletteOpen; }
    void setPaletteOpen(bool open);

    // Quitting: script runs, text recognition and scans are cancelled (a run's process group is ended)
    // and their results dropped, so that what is left of the shutdown is quick. Never blocks.
    void cancelWork();

    // Shows the settings window; does nothing until the application sets it.
    void openSettings() const;
    void setOpenSettings(std::function<void()> action);

    // The tabs the tab bar shows, in order: enabled built-in tabs and existing, enabled custom tabs.
    QList<TabSelection> visibleTabs() const;
    bool indicatorsActive() const;
    bool mediaPresent() const;
    // Some AI usage limit is above 85 %.
    bool aiHot() const;

    SettingsService& settings() const { return *m_settings; }
    CustomTabsService& customTabs() const { return *m_customTabs; }
    CommandsService& commands() const { return *m_commands; }
    AIUsageService& ai() const { return *m_ai; }
    AgentsService& agents() const { return *m_agents; }
    UtilsState& utils() const { return *m_utils; }
    ClipboardService& clipboard() const { return *m_clipboard; }
    CameraService& camera() const { return *m_camera; }
    MediaService& media() const { return *m_media; }
    UpdateService& updates() const { return *m_updates; }
    PomodoroService& pomodoro() const { return *m_pomodoro; }
    KanbanService& kanban() const { return *m_kanban; }
    ShelfService& shelf() const { return *m_shelf; }
    NewsService& news() const { return *m_news; }
    ProfilesService& profiles() const { return *m_profiles; }
    HUDService& hud() const { return *m_hud; }
    TelemetryService& telemetry() const { return *m_telemetry; }
    LanguageService& language() const { return *m_language; }
    AccessibilityAuth& accessibility() const { return *m_accessibility; }

    static QList<TabSelection> visibleTabs(const QList<TabSelection>& order,
                                           const QSet<DashboardTab>& disabled,
                                           const QList<CustomTab>& customTabs);

signals:
    // Something the model's observers show may have changed.
    void changed();
    void tabChanged();
    void paletteOpenChanged();

private:
    void reselect();

    TabSelection m_tab = TabSelection(DashboardTab::terminal);
    std::function<void()> m_openSettings;
    // Stands in for each facility the platform leaves empty; outlives every service.
    std::unique_ptr<AbsentSeams> m_absent;
    // Declared in creation order, so that they are also destroyed in the reverse of it.
    std::unique_ptr<SettingsService> m_settings;
    std::unique_ptr<CustomTabsService> m_customTabs;
    std::unique_ptr<CommandsService> m_commands;
    std::unique_ptr<AIUsageService> m_ai;
    std::unique_ptr<AgentsService> m_agents;
    std::unique_ptr<UtilsState> m_utils;
    std::unique_ptr<ClipboardService> m_clipboard;
    std::unique_ptr<CameraService> m_camera;
    std::unique_ptr<MediaService> m_media;
    std::unique_ptr<UpdateService> m_updates;
    std::unique_ptr<PomodoroService> m_pomodoro;
    std::unique_ptr<KanbanService> m_kanban;
    std::unique_ptr<ShelfService> m_shelf;
    std::unique_ptr<NewsWriter> m_newsWriter; // shared by the two news services, so it outlives both
    std::unique_ptr<NewsService> m_news;
    std::unique_ptr<ProfilesService> m_profiles;
    std::unique_ptr<HUDService> m_hud;
    std::unique_ptr<TelemetryService> m_telemetry;
    std::unique_ptr<LanguageService> m_language;
    std::unique_ptr<AccessibilityAuth> m_accessibility;
    bool m_paletteOpen = false;
};
