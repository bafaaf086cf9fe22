// The user's custom dashboard tabs (script output or a web page), kept in the user defaults, and the
// background runs of script tabs with their last outputs.
#pragma once

#include "model/CustomTab.h"
#include "services/WorkPool.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class Defaults;
class ServiceLauncher;

class CustomTabsService : public QObject {
    Q_OBJECT
public:
    // Runs a command line off the main thread; nothing on launch failure, time-out or bad text.
    using Runner = std::function<std::optional<QString>(const QString& commandLine, double timeoutSeconds)>;

    // The defaults key of the stored list.
    static constexpr auto kDefaultsKey = "customTabs";
    static constexpr double kRunTimeoutSeconds = 20.0;

    // Runs script commands through Shell::run with `launcher`, which outlives the service; a cancelled
    // run ends its process group.
    CustomTabsService(Defaults& defaults, ServiceLauncher& launcher, QObject* parent = nullptr);
    // Tests hand in another runner and a shorter time-out.
    CustomTabsService(Defaults& defaults, Runner runner, double timeoutSeconds, QObject* parent = nullptr);
    ~CustomTabsService() override;

    const QList<CustomTab>& tabs() const { return m_tabs; }
    // The last finished output of each script tab; never stored.
    const QHash<QUuid, QString>& outputs() const { return m_outputs; }
    // The script tabs whose command runs now.
    const QSet<QUuid>& runningIDs() const { return m_runningIDs; }

    // The tabs whose `enabled` is set, in list order.
    QList<CustomTab> enabledTabs() const;
    std::optional<CustomTab> tab(const QUuid& id) const;

    // Replaces the first tab with the same id in place, else appends it; then stores the list.
    void save(const CustomTab& tab);
    // Removes every tab with that id and forgets its output; then stores the list.
    void remove(const CustomTab& tab);
    // Only `enabled` is taken from `tab`; an unknown id changes and stores nothing.
    void setEnabled(const CustomTab& tab, bool enabled);

    // Starts one background run of a script tab's command, unless it is a web tab or runs already.
    void run(const CustomTab& tab);
    // Quitting: every run's process group is ended and no result arrives any more. Never blocks.
    void cancelRuns();
    // Blocks until every run has ended, its result posted (tests only).
    bool waitForRuns(int msecs = -1) { return m_pool.waitForDone(msecs); }

    // The command line a script tab's command runs as: a subshell with its errors joined to its output.
    // The command ends its own line, so that a trailing comment cannot swallow the closing parenthesis.
    static QString commandLine(const QString& command);

signals:
    void tabsChanged();
    void outputsChanged();
    void runningIDsChanged();

private:
    void load();
    void persist();
    void finishRun(const QUuid& id, const std::optional<QString>& result);

    Defaults& m_defaults;
    Runner m_runner;
    double m_timeoutSeconds;
    QList<CustomTab> m_tabs;
    QHash<QUuid, QString> m_outputs;
    QSet<QUuid> m_runningIDs;
    WorkPool m_pool; // last: its end cancels and waits for the runs before the rest goes
};
