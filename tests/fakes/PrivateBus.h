// A session bus of a test's own, started with dbus-run-session and stopped with the object, and the
// fake media players that live on it.
#pragma once

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <memory>

class PrivateBus {
public:
    PrivateBus() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty())
            return;
        // The session's child prints the bus address and lives until its input closes; then
        // dbus-run-session stops the bus.
        m_session.start(QStringLiteral("dbus-run-session"),
                        {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                         QStringLiteral("echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null")});
        if (!m_session.waitForStarted(5000))
            return;
        QDeadlineTimer deadline(10000);
        while (!m_session.canReadLine() && !deadline.hasExpired())
            m_session.waitForReadyRead(100);
        m_address = QString::fromUtf8(m_session.readLine().trimmed());
        m_name = QStringLiteral("private-bus-%1").arg(quintptr(this));
        if (!m_address.isEmpty())
            m_connection =
                std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, m_name));
    }
    ~PrivateBus() {
        m_connection.reset();
        if (!m_name.isEmpty())
            QDBusConnection::disconnectFromBus(m_name);
        if (m_session.state() != QProcess::NotRunning) {
            m_session.closeWriteChannel();
            if (!m_session.waitForFinished(5000))
                m_session.kill();
            m_session.waitForFinished(2000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    static bool available() {
        return !QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty();
    }
    bool isConnected() const { return m_connection && m_connection->isConnected(); }
    QDBusConnection connection() const { return *m_connection; }
    QString address() const { return m_address; }
    // An environment whose session bus is this one, for the programs a test starts.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        return env;
    }

private:
    QProcess m_session;
    QString m_address;
    QString m_name;
    std::unique_ptr<QDBusConnection> m_connection;
};

// One fake player process on a private bus; it reports the calls it receives.
class FakePlayerProcess {
public:
    FakePlayerProcess(const PrivateBus& bus, const QStringList& args) {
        m_process.setProcessEnvironment(bus.environment());
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral(QUILLBAY_MPRIS_PLAYER), args);
    }
    ~FakePlayerProcess() { stop(); }
    FakePlayerProcess(const FakePlayerProcess&) = delete;
    FakePlayerProcess& operator=(const FakePlayerProcess&) = delete;

    // True once the player is on the bus.
    bool waitReady() { return waitFor("ready"); }
    void say(const QByteArray& line) {
        m_process.write(line + "\n");
        m_process.waitForBytesWritten(2000);
    }
    // Waits (generously) for a line the player prints, e.g. "call PlayPause".
    bool waitFor(const QByteArray& line, int timeoutMs = 10000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            m_seen += m_process.readAllStandardOutput();
            if (m_seen.split('\n').contains(line))
                return true;
            QTest::qWait(20); // polls the player's output
        }
        return false;
    }
    int count(const QByteArray& line) {
        m_seen += m_process.readAllStandardOutput();
        return int(m_seen.split('\n').count(line));
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

private:
    QProcess m_process;
    QByteArray m_seen;
};
