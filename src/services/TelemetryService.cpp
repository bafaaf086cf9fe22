// The usage counters and their report.
#include "services/TelemetryService.h"

#include "platform/Clock.h"
#include "platform/LogCategories.h"
#include "platform/Ticker.h"
#include "services/Defaults.h"
#include "services/HttpFetch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QSysInfo>

#include <array>
#include <cmath>

namespace {
const QString kEnabled = QStringLiteral("telemetryEnabled");
const QString kOpens = QStringLiteral("telemetryOpens");
const QString kSeconds = QStringLiteral("telemetrySeconds");
const QString kTabs = QStringLiteral("telemetryTabs");
const QString kLastSent = QStringLiteral("telemetryLastSent");
const QString kAnonID = QStringLiteral("telemetryAnonID");
// The service answers a report with a few bytes; nothing of it is read.
constexpr qsizetype kMaxAnswerBytes = 64 * 1024;

bool isInteger(const QJsonValue& v) {
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    return std::isfinite(d) && d == std::floor(d) && std::abs(d) < 9.0e15;
}

// One JSON value in compact form (QJsonDocument only writes arrays and objects).
QByteArray compact(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}
} // namespace

QUrl TelemetryService::defaultEndpoint() {
    // The same maker's host as the update check: one build setting for both.
    return QUrl(QStringLiteral("https://" QUILLBAY_UPDATE_HOST "/api/telemetry"));
}

QUrl TelemetryService::privacyPage() const {
    QUrl page = m_endpoint.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    page.setPath(QStringLiteral("/privacy.html"));
    return page;
}

TelemetryService::TelemetryService(Defaults& defaults, Clock& clock, TickerFactory& tickers, QObject* parent)
    : TelemetryService(defaults, clock, tickers, defaultEndpoint(), parent) {}

TelemetryService::TelemetryService(Defaults& defaults, Clock& clock, TickerFactory& tickers, QUrl endpoint,
                                   QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_endpoint(std::move(endpoint)) {
    m_defaults.registerDefaults(QJsonObject{{kEnabled, true}});
    m_enabled = m_defaults.boolValue(kEnabled);
    QPointer<TelemetryService> self(this);
    timer = tickers.make(checkIntervalMs, [self] {
        if (self)
            self->enviarSePassouODia();
    });
    timer->start();
}

TelemetryService::~TelemetryService() = default;

void TelemetryService::setEnabled(bool on) {
    if (m_enabled != on) {
        m_enabled = on;
        emit enabledChanged();
    }
    m_defaults.set(kEnabled, on);
}

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

QJsonObject TelemetryService::storedTabs() const {
    const QJsonObject counts = m_defaults.dictionary(kTabs).value_or(QJsonObject());
    // A map holding anything but whole numbers is not ours to read or extend: it counts as empty.
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
        if (!isInteger(it.value()))
            return QJsonObject();
    return counts;
}

void TelemetryService::tabUsed(const QString& id) {
    QJsonObject counts = storedTabs();
    counts.insert(id, qint64(counts.value(id).toDouble()) + 1);
    m_defaults.set(kTabs, counts);
}

void TelemetryService::enviarSePassouODia() {
    const auto stored = m_defaults.string(kLastSent);
    const QDateTime last = stored ? QDateTime::fromString(*stored, Qt::ISODateWithMs) : QDateTime();
    const QDateTime now = m_clock.now();
    // A stamp from the future (the clock was set back) would hold reports off until that date.
    if (last.isValid() && last <= now && double(last.msecsTo(now)) / 1000.0 <= reportIntervalSeconds)
        return;
    enviar(false);
}

void TelemetryService::enviar(bool force) {
    if (!m_enabled || m_inFlight)
        return;
    Sent sent;
    sent.seconds = m_defaults.doubleValue(kSeconds);
    sent.opens = m_defaults.integer(kOpens);
    sent.tabs = storedTabs();
    sent.generation = m_generation;
    if (!force && sent.seconds < 1.0 && sent.opens == 0 && sent.tabs.isEmpty())
        return;

    if (!m_fetch) {
        m_fetch = new HttpFetch(m_fetchHelper, this);
        if (!m_fetchHelper.isEmpty() && !m_fetch->outOfProcess())
            qCDebug(lcUpdates, "no fetch helper at %s: the usage report is sent from this process",
                    qUtf8Printable(m_fetchHelper));
    }
    HttpFetch::Options options;
    options.contentType = QByteArrayLiteral("application/json");
    options.idleTimeoutMs = requestTimeoutMs;
    options.maxBytes = kMaxAnswerBytes;
    m_inFlight = true;
    QPointer<TelemetryService> self(this);
    m_fetch->post(m_endpoint, reportBody(montarPayload()), options, [self, sent](const HttpResult& reply) {
        // Only 200 is a delivery, whatever else the service answers.
        if (self)
            self->finish(sent, reply.status == 200);
    });
}

void TelemetryService::finish(const Sent& sent, bool delivered) {
    m_inFlight = false;
    if (delivered && sent.generation == m_generation)
        zerarContadores(sent);
    emit reportFinished(delivered);
}

void TelemetryService::zerarContadores(const Sent& sent) {
    m_defaults.set(kLastSent, m_clock.now().toUTC().toString(Qt::ISODateWithMs));
    // What was counted while the report travelled is kept for the next one.
    const double seconds = m_defaults.doubleValue(kSeconds) - sent.seconds;
    m_defaults.set(kSeconds, seconds >= 1.0 ? seconds : 0.0);
    m_defaults.set(kOpens, std::max<qint64>(0, m_defaults.integer(kOpens) - sent.opens));
    QJsonObject left;
    const QJsonObject now = storedTabs();
    for (auto it = now.constBegin(); it != now.constEnd(); ++it) {
        const qint64 n = qint64(it.value().toDouble()) - qint64(sent.tabs.value(it.key()).toDouble());
        if (n > 0)
            left.insert(it.key(), n);
    }
    if (left.isEmpty())
        m_defaults.remove(kTabs);
    else
        m_defaults.set(kTabs, left);
}

QString TelemetryService::systemName() {
    const QString name = QSysInfo::productType();
    const QString version = QSysInfo::productVersion();
    if (version.isEmpty() || version == QLatin1String("unknown"))
        return name;
    return name + u' ' + version;
}

QJsonObject TelemetryService::montarPayload() {
    const QString version = QCoreApplication::applicationVersion();
    QJsonObject payload;
    payload.insert(QStringLiteral("anon"), anonID());
    payload.insert(QStringLiteral("version"), version.isEmpty() ? QStringLiteral("?") : version);
    payload.insert(QStringLiteral("macos"), systemName());
    payload.insert(QStringLiteral("notch"), false); // no screen here has a notch
    const double seconds = m_defaults.doubleValue(kSeconds);
    payload.insert(QStringLiteral("minutes"),
                   qint64(std::isfinite(seconds) ? std::trunc(seconds / 60.0) : 0));
    payload.insert(QStringLiteral("opens"), m_defaults.integer(kOpens));
    payload.insert(QStringLiteral("tabs"), storedTabs());
    return payload;
}

QByteArray TelemetryService::reportBody(const QJsonObject& payload) {
    static const std::array<const char*, 7> order{"anon",    "version", "macos", "notch",
                                                  "minutes", "opens",   "tabs"};
    QByteArray body("{");
    for (const char* key : order) {
        const QString k = QString::fromLatin1(key);
        if (!payload.contains(k))
            continue;
        if (body.size() > 1)
            body += ',';
        body += compact(k) + ':' + compact(payload.value(k));
    }
    return body + '}';
}

QString TelemetryService::anonID() {
    if (const auto stored = m_defaults.string(kAnonID); stored && stored->size() == 16)
        return *stored;
    std::array<quint32, 2> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    QString id;
    for (quint32 w : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            id += QString::asprintf("%02x", (w >> shift) & 0xffu);
    m_defaults.set(kAnonID, id);
    return id;
}

void TelemetryService::apagarTudo() {
    ++m_generation;
    for (const QString& key : {kAnonID, kSeconds, kOpens, kTabs, kLastSent})
        m_defaults.remove(key);
}
