// Usage statistics: counts of island openings, seconds open and tab uses, kept in the user defaults and
// reported to the maker's web service at most once every 20 hours while reporting is on.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class Clock;
class Defaults;
class HttpFetch;
class Ticker;
class TickerFactory;

class TelemetryService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
public:
    static constexpr int checkIntervalMs = 1800 * 1000;
    static constexpr double reportIntervalSeconds = 72000.0;
    static constexpr int requestTimeoutMs = 12000;

    // "https://<maker host>/api/telemetry".
    static QUrl defaultEndpoint();
    // The maker's privacy page, on the host the report goes to: "<scheme>://<host>/privacy.html".
    QUrl privacyPage() const;

    // Reports to the maker's web service, checked every 30 minutes on a ticker of `tickers`.
    TelemetryService(Defaults& defaults, Clock& clock, TickerFactory& tickers, QObject* parent = nullptr);
    // Tests hand in their own timers and a loopback endpoint.
    TelemetryService(Defaults& defaults, Clock& clock, TickerFactory& tickers, QUrl endpoint,
                     QObject* parent = nullptr);
    ~TelemetryService() override;

    bool enabled() const { return m_enabled; }
    // Publishes, then stores under "telemetryEnabled". Erasing is the caller's choice (apagarTudo).
    void setEnabled(bool on);

    // Counting goes on whether or not reporting is on; only sending looks at the switch.
    void islandOpened();
    void islandClosed();
    void tabUsed(const QString& id);

    // The periodic check: sends unforced when the last delivered report is more than 20 hours old.
    void enviarSePassouODia();
    // Sends the counts unless reporting is off, a report is already on its way, or (unforced) there
    // is nothing to report.
    void enviar(bool force);
    // The report as the settings preview shows it (creates the install id when there is none).
    QJsonObject montarPayload();
    // The report's compact body, keys in the order the receiving service documents.
    static QByteArray reportBody(const QJsonObject& payload);
    // The install id: 16 lower-case hexadecimal digits from the system's random source, made on first use.
    QString anonID();
    // Removes the install id, the counters and the last-sent time.
    void apagarTudo();

    bool sending() const { return m_inFlight; }
    // The helper program the report is sent through (quillbay-fetch); empty, or not there: this process.
    void setFetchHelper(const QString& program) { m_fetchHelper = program; }
    // "<name> <version>" of the running system, e.g. "debian 12".
    static QString systemName();

signals:
    void enabledChanged();
    // A report was answered (delivered or not); for observers that wait for the outcome.
    void reportFinished(bool delivered);

private:
    struct Sent {
        double seconds = 0;
        qint64 opens = 0;
        QJsonObject tabs;
        quint64 generation = 0;
    };
    QJsonObject storedTabs() const;
    void finish(const Sent& sent, bool delivered);
    void zerarContadores(const Sent& sent);

    Defaults& m_defaults;
    Clock& m_clock;
    QUrl m_endpoint;
    bool m_enabled = true;
    // Monotonic start of the current open period, so a change of the wall clock cannot bend it.
    std::optional<qint64> inicioDaSessao;
    std::unique_ptr<Ticker> timer;
    QString m_fetchHelper;
    HttpFetch* m_fetch = nullptr; // made on the first report
    bool m_inFlight = false;
    // Bumped by every erase, so that a report answered after the erase leaves the fresh state alone.
    quint64 m_generation = 0;
};
