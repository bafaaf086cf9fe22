// Creation of the services, the re-sent change notices and the derived values the views ask for.
#include "services/DashboardModel.h"

#include "platform/AbsentSeams.h"
#include "platform/FreeMemory.h"
#include "platform/Platform.h"
#include "platform/Ticker.h"
#include "services/AIUsageService.h"
#include "services/AccessibilityAuth.h"
#include "services/AgentsService.h"
#include "services/CameraService.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/HUDService.h"
#include "services/KanbanService.h"
#include "services/LanguageService.h"
#include "services/MediaService.h"
#include "services/NewsService.h"
#include "services/PomodoroService.h"
#include "services/ProfilesService.h"
#include "services/SettingsService.h"
#include "services/ShelfService.h"
#include "services/TelemetryService.h"
#include "services/UpdateService.h"
#include "services/UtilsState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>

DashboardModel::DashboardModel(Platform& platform, Defaults& defaults, const AppPaths::Folders& folders,
                               QObject* parent, StoreLoad stores, const Options& options)
    : QObject(parent)
    , m_absent(std::make_unique<AbsentSeams>()) {
    Q_ASSERT(platform.clock && platform.launcher && platform.processTable && platform.trustProbe &&
             platform.tickers);
    // Every facility the platform left empty is absent, never null, for the services below.
    const Platform seams = m_absent->fill(platform);
    // Each service is also a child of the model, so the object tree shows them in creation order; the
    // unique pointers still own them and delete them first.
    m_settings = std::make_unique<SettingsService>(defaults, this);
    m_customTabs = std::make_unique<CustomTabsService>(defaults, *seams.launcher, this);
    CommandsService::Seams commandSeams{*seams.launcher, *seams.processTable, *seams.tickers,
                                        seams.lanAddress};
    commandSeams.logKeeper = options.logKeeper;
    if (commandSeams.logKeeper.isEmpty()) {
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/quillbay-logkeeper");
        if (QFileInfo(beside).isExecutable())
            commandSeams.logKeeper = beside;
    }
    m_commands = std::make_unique<CommandsService>(std::move(commandSeams), folders.supportDir(),
                                                   folders.logsDir(), this, stores);
    const QString configHome = folders.configHome();
    const ClaudeFolders claude(QDir::homePath(), configHome, qEnvironmentVariable("CLAUDE_CONFIG_DIR"));
    m_ai = std::make_unique<AIUsageService>(
        *seams.clock, AIUsageReaders::standard(QDir::homePath(), claude, configHome, seams.secrets), this);
    m_agents = std::make_unique<AgentsService>(*seams.clock, QDir::homePath(), claude, this);
    m_utils = std::make_unique<UtilsState>(
        UtilsState::Seams{seams.clock, seams.pasteboard, seams.lanAddress, seams.areaCapture,
                          seams.colorSampler, seams.textRecognizer, seams.fileRevealer, seams.heifCodec},
        this);
    m_clipboard = std::make_unique<ClipboardService>(
        *seams.pasteboard, *seams.clock,
        QDir(folders.supportDir()).filePath(QStringLiteral("clipboard.json")), this, stores);
    m_camera = std::make_unique<CameraService>(*seams.camera, defaults, this);
    m_media = std::make_unique<MediaService>(seams.mediaPlayers, *seams.clock, *seams.tickers, this);
    UpdateService::Config updates = UpdateService::buildConfig();
    if (!options.updateHost.isEmpty())
        updates.host = options.updateHost;
    updates.launcher = seams.launcher;
    // The check's https requests run in a helper beside the program, so its TLS libraries never stay here.
    const QString fetchHelper = QCoreApplication::applicationDirPath() + QStringLiteral("/quillbay-fetch");
    updates.fetchHelper = fetchHelper;
    updates.processTable = seams.processTable;
    m_updates = std::make_unique<UpdateService>(defaults, *seams.clock, std::move(updates), this);
    m_pomodoro = std::make_unique<PomodoroService>(*seams.clock, *seams.tickers, *seams.alertSound, this);
    m_kanban = std::make_unique<KanbanService>(defaults, *seams.clock, this);
    m_shelf = std::make_unique<ShelfService>(
        *seams.clock, QDir(folders.supportDir()).filePath("shelf.json"),
        ShelfService::Seams{*seams.fileRevealer, *seams.fileSender, *seams.pasteboard}, this);
    m_newsWriter = std::make_unique<NewsWriter>();
    m_news = std::make_unique<NewsService>(*seams.clock, *m_newsWriter, folders.supportDir(),
                                           QStringLiteral("news"), this, stores);
    m_profiles =
        std::make_unique<ProfilesService>(*seams.clock, *m_newsWriter, folders.supportDir(), this, stores);
    m_hud = std::make_unique<HUDService>(*seams.volume, *seams.brightness, *seams.brightnessKeys,
                                         *seams.tickers, this);
    m_telemetry = std::make_unique<TelemetryService>(defaults, *seams.clock, *seams.tickers, this);
    m_telemetry->setFetchHelper(fetchHelper);
    m_language = std::make_unique<LanguageService>(defaults, this);
    m_accessibility = std::make_unique<AccessibilityAuth>(*seams.trustProbe, defaults, this);

    // Views that observe only the model redraw when any of these services changes.
    connect(m_media.get(), &MediaService::changed, this, &DashboardModel::changed);
    connect(m_pomodoro.get(), &PomodoroService::changed, this, &DashboardModel::changed);
    connect(m_hud.get(), &HUDService::changed, this, &DashboardModel::changed);
    connect(m_news.get(), &NewsService::changed, this, &DashboardModel::changed);
    connect(m_profiles.get(), &ProfilesService::changed, this, &DashboardModel::changed);

    auto syncCustomTabs = [this] {
        QList<QUuid> ids;
        for (const CustomTab& t : m_customTabs->tabs())
            ids << t.id;
        m_settings->syncCustomTabs(ids);
    };
    connect(m_customTabs.get(), &CustomTabsService::tabsChanged, this, syncCustomTabs);
    // Qt signals carry no current value on connection, so both run once here.
    syncCustomTabs();

    connect(m_settings.get(), &SettingsService::tabOrderChanged, this, &DashboardModel::reselect);
    connect(m_settings.get(), &SettingsService::disabledTabsChanged, this, &DashboardModel::reselect);
    connect(m_customTabs.get(), &CustomTabsService::tabsChanged, this, &DashboardModel::reselect);
    reselect();
}

DashboardModel::~DashboardModel() = default;

void DashboardModel::cancelWork() {
    m_customTabs->cancelRuns();
    m_utils->cancelWork();
    m_agents->cancelScan();
    m_ai->cancelRefresh();
}

void DashboardModel::loadStores() {
    // Once all of them are in, what their reading left behind (the files' bytes, the decoders' documents,
    // on the readers' threads) goes back to the system.
    auto remaining = std::make_shared<int>(0);
    auto oneMore = [this, remaining](auto* service, auto loaded) {
        if (service->isStoreLoaded())
            return;
        ++*remaining;
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(service, loaded, this, [remaining, connection] {
            disconnect(*connection);
            if (--*remaining == 0)
                releaseFreeMemory();
        });
    };
    oneMore(m_commands.get(), &CommandsService::storeLoaded);
    oneMore(m_clipboard.get(), &ClipboardService::storeLoaded);
    oneMore(m_news.get(), &NewsService::storeLoaded);
    oneMore(m_profiles.get(), &NewsService::storeLoaded);
    m_commands->loadStore();
    m_clipboard->loadStore();
    m_news->loadStore();
    m_profiles->loadStore();
}

void DashboardModel::setTab(const TabSelection& tab) {
    if (tab == m_tab)
        return;
    m_tab = tab;
    emit tabChanged();
    emit changed();
}

void DashboardModel::setPaletteOpen(bool open) {
    if (open == m_paletteOpen)
        return;
    m_paletteOpen = open;
    emit paletteOpenChanged();
    emit changed();
}

void DashboardModel::openSettings() const {
    if (m_openSettings)
        m_openSettings();
}

void DashboardModel::setOpenSettings(std::function<void()> action) {
    m_openSettings = std::move(action);
}

QList<TabSelection> DashboardModel::visibleTabs(const QList<TabSelection>& order,
                                                const QSet<DashboardTab>& disabled,
                                                const QList<CustomTab>& customTabs) {
    QList<TabSelection> result;
    for (const TabSelection& entry : order) {
        if (entry.isBuiltin()) {
            if (!disabled.contains(entry.tab()))
                result << entry;
            continue;
        }
        const auto it = std::find_if(customTabs.cbegin(), customTabs.cend(),
                                     [&](const CustomTab& t) { return t.id == entry.uuid(); });
        if (it != customTabs.cend() && it->enabled)
            result << entry;
    }
    return result;
}

QList<TabSelection> DashboardModel::visibleTabs() const {
    return visibleTabs(m_settings->tabOrder(), m_settings->disabledTabs(), m_customTabs->tabs());
}

void DashboardModel::reselect() {
    // Qt announces a change after storing it, so the current values are the new ones.
    const QList<TabSelection> visible = visibleTabs();
    if (!visible.contains(m_tab) && !visible.isEmpty())
        setTab(visible.constFirst());
    emit changed();
}

bool DashboardModel::mediaPresent() const {
    return m_media->track().has_value();
}

bool DashboardModel::aiHot() const {
    const QList<AIProviderUsage>& providers = m_ai->providers();
    return std::any_of(providers.cbegin(), providers.cend(),
                       [](const AIProviderUsage& p) { return p.isHot(); });
}

bool DashboardModel::indicatorsActive() const {
    return !m_commands->runningIDs().isEmpty() || !m_commands->crashedIDs().isEmpty() || aiHot() ||
           m_agents->anyWaiting() || mediaPresent() || m_pomodoro->isRunning() ||
           m_hud->current().has_value() || m_news->hasUnread() || m_profiles->hasUnread();
}
