// The usage counters.
#include "services/TelemetryService.h"

#include "platform/Clock.h"
#include "services/Defaults.h"

#include <QJsonObject>

#include <cmath>

namespace {
const QString kOpens = QStringLiteral("telemetryOpens");
const QString kSeconds = QStringLiteral("telemetrySeconds");
const QString kTabs = QStringLiteral("telemetryTabs");

bool isInteger(const QJsonValue& v) {
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    return std::isfinite(d) && d == std::floor(d) && std::abs(d) < 9.0e15;
}
} // namespace

TelemetryService::TelemetryService(Defaults& defaults, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock) {}

void TelemetryService::islandOpened() {
    inicioDaSessao = m_clock.monotonicMs();
    m_defaults.set(kOpens, m_defaults.integer(kOpens) + 1);
}

void TelemetryService::islandClosed() {
    if (!inicioDaSessao)
        return;
    const double seconds = double(m_clock.monotonicMs() - *inicioDaSessao) / 1000.0;
    inicioDaSessao.reset();
    if (seconds > 1.0)
        m_defaults.set(kSeconds, m_defaults.doubleValue(kSeconds) + seconds);
}

void TelemetryService::tabUsed(const QString& id) {
    QJsonObject counts = m_defaults.dictionary(kTabs).value_or(QJsonObject());
    // A map holding anything but whole numbers is not ours to extend: start again from empty.
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
        if (!isInteger(it.value())) {
            counts = QJsonObject();
            break;
        }
    }
    counts.insert(id, qint64(counts.value(id).toDouble()) + 1);
    m_defaults.set(kTabs, counts);
}
