// The custom tabs list, its stored form under "customTabs" and the script runs.
#include "services/CustomTabsService.h"

#include "services/Defaults.h"
#include "services/Published.h"
#include "services/Shell.h"

#include <QCoreApplication>
#include <QPointer>

CustomTabsService::CustomTabsService(Defaults& defaults, ServiceLauncher& launcher, QObject* parent)
    : CustomTabsService(
          defaults,
          [this, &launcher](const QString& line, double timeout) {
              // Called on the pool's workers, which end before the service does.
              return Shell::run(launcher, line, timeout, &m_pool.cancelSignal());
          },
          kRunTimeoutSeconds, parent) {}

CustomTabsService::CustomTabsService(Defaults& defaults, Runner runner, double timeoutSeconds,
                                     QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_runner(std::move(runner))
    , m_timeoutSeconds(timeoutSeconds) {
    load();
}

CustomTabsService::~CustomTabsService() = default;

void CustomTabsService::load() {
    // The bytes of the stored list are kept as the text of one JSON string; any other value (or a list
    // that does not decode) leaves the list empty and the stored value as it is until the next write.
    const QJsonValue stored = m_defaults.object(QLatin1String(kDefaultsKey));
    if (!stored.isString())
        return;
    if (std::optional<QList<CustomTab>> tabs = CustomTabCodec::decode(stored.toString().toUtf8()))
        m_tabs = std::move(*tabs);
}

void CustomTabsService::persist() {
    m_defaults.set(QLatin1String(kDefaultsKey), QString::fromUtf8(CustomTabCodec::encode(m_tabs)));
}

QList<CustomTab> CustomTabsService::enabledTabs() const {
    QList<CustomTab> result;
    for (const CustomTab& t : m_tabs) {
        if (t.enabled)
            result.append(t);
    }
    return result;
}

std::optional<CustomTab> CustomTabsService::tab(const QUuid& id) const {
    for (const CustomTab& t : m_tabs) {
        if (t.id == id)
            return t;
    }
    return std::nullopt;
}

void CustomTabsService::save(const CustomTab& tab) {
    QList<CustomTab> tabs = m_tabs;
    auto it = std::find_if(tabs.begin(), tabs.end(), [&](const CustomTab& t) { return t.id == tab.id; });
    if (it != tabs.end())
        *it = tab;
    else
        tabs.append(tab);
    assignPublished(this, m_tabs, std::move(tabs), &CustomTabsService::tabsChanged);
    persist();
}

void CustomTabsService::remove(const CustomTab& tab) {
    QList<CustomTab> tabs = m_tabs;
    tabs.removeIf([&](const CustomTab& t) { return t.id == tab.id; });
    assignPublished(this, m_tabs, std::move(tabs), &CustomTabsService::tabsChanged);
    if (m_outputs.remove(tab.id))
        emit outputsChanged();
    persist();
}

void CustomTabsService::setEnabled(const CustomTab& tab, bool enabled) {
    QList<CustomTab> tabs = m_tabs;
    auto it = std::find_if(tabs.begin(), tabs.end(), [&](const CustomTab& t) { return t.id == tab.id; });
    if (it == tabs.end())
        return;
    it->enabled = enabled;
    assignPublished(this, m_tabs, std::move(tabs), &CustomTabsService::tabsChanged);
    persist();
}

QString CustomTabsService::commandLine(const QString& command) {
    return QLatin1String("( ") + command + QLatin1String("\n) 2>&1");
}

void CustomTabsService::run(const CustomTab& tab) {
    if (tab.kind == CustomTab::Kind::web || m_runningIDs.contains(tab.id))
        return;
    m_runningIDs.insert(tab.id);
    emit runningIDsChanged();

    const QUuid id = tab.id;
    const QString line = commandLine(tab.command);
    const Runner runner = m_runner;
    const double timeout = m_timeoutSeconds;
    QPointer<CustomTabsService> self(this);
    const CancelSignal* cancelled = &m_pool.cancelSignal();
    m_pool.start([id, line, runner, timeout, self, cancelled] {
        std::optional<QString> result = runner(line, timeout);
        if (cancelled->isRaised())
            return;
        // Back on the main thread; a service that is gone drops the result.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [id, self, result = std::move(result)] {
                if (self)
                    self->finishRun(id, result);
            },
            Qt::QueuedConnection);
    });
}

void CustomTabsService::cancelRuns() {
    m_pool.cancel();
}

void CustomTabsService::finishRun(const QUuid& id, const std::optional<QString>& result) {
    m_runningIDs.remove(id);
    emit runningIDsChanged();
    m_outputs.insert(id, result ? result->trimmed() : tr("The command failed or timed out."));
    emit outputsChanged();
}
