// When an update check is due. Dates in the defaults store are ISO 8601 texts in UTC.
#include "services/UpdateService.h"

#include "platform/Clock.h"
#include "services/Defaults.h"

#include <QDateTime>
#include <QJsonObject>

UpdateService::UpdateService(Defaults& defaults, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock) {
    m_defaults.registerDefaults(QJsonObject{{QStringLiteral("updateAutoCheck"), true}});
}

void UpdateService::checkIfDue() {
    if (!m_defaults.boolValue(QStringLiteral("updateAutoCheck")))
        return;
    const auto stored = m_defaults.string(QStringLiteral("updateLastCheck"));
    const QDateTime last = stored ? QDateTime::fromString(*stored, Qt::ISODateWithMs) : QDateTime();
    // Missing or unreadable: the distant past, so the check runs.
    if (last.isValid() && last.secsTo(m_clock.now()) <= kCheckIntervalSeconds)
        return;
    check();
}

void UpdateService::check() {
    emit checkStarted();
}
