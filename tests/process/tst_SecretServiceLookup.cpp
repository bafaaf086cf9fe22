// The keyring lookup against a real Secret Service (gnome-keyring-daemon) on a private session bus that
// the test starts: an item found, none found, a keyring that stops answering, and one that is gone.
// libsecret's header comes before Qt's, which turns "signals" into a keyword.
#include <libsecret/secret.h>

#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "platform/libsecret/LibsecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QScopeGuard>
#include <QtConcurrent>
#include <QtTest>

#include <csignal>

namespace {

const SecretSchema kSchema = {
    "org.example.Test",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr};

const QByteArray kItem = R"({"claudeAiOauth":{"accessToken":"sk-ant-oat01-KEYRING","expiresAt":1}})";

} // namespace

class tst_SecretServiceLookup : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;

    // The lookup off the main thread, as the program does it, while the main thread keeps its events
    // flowing. "<no answer>" when it has not returned within `waitMs`; it is then stopped.
    std::optional<QByteArray> lookup(const QString& service, int timeoutMs, std::atomic_bool& stop,
                                     int waitMs = 30000) {
        LibsecretStore store;
        QFuture<std::optional<QByteArray>> f =
            QtConcurrent::run([&] { return store.lookup(service, timeoutMs, stop); });
        if (!QTest::qWaitFor([&] { return f.isFinished(); }, waitMs)) {
            stop = true;
            f.waitForFinished();
            return QByteArray("<no answer>");
        }
        return f.result();
    }

    // The keyring running and holding the item; each test starts it when an earlier one has not.
    [[nodiscard]] bool ensureKeyring() {
        return TestSupport::passes([&] {
            if (m_keyring.state() == QProcess::Running)
                return;
            m_keyring.setProgram(QStringLiteral("gnome-keyring-daemon"));
            m_keyring.setArguments({"--foreground", "--components=secrets", "--unlock"});
            m_keyring.start();
            QVERIFY2(m_keyring.waitForStarted(5000), "gnome-keyring-daemon is needed");
            m_keyring.write("throwaway-password");
            m_keyring.closeWriteChannel();
            QDBusConnection bus = QDBusConnection::connectToBus(m_address, "watch");
            auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus("watch"); });
            QVERIFY(TestSupport::waitUntil(
                [&] { return bus.interface()->isServiceRegistered("org.freedesktop.secrets").value(); },
                20000));

            GError* error = nullptr;
            SecretValue* value =
                secret_value_new(kItem.constData(), kItem.size(), "application/octet-stream");
            const bool storedValue = secret_password_store_binary_sync(
                &kSchema, SECRET_COLLECTION_SESSION, "Claude Code-credentials", value, nullptr, &error,
                "service", "Claude Code-credentials", static_cast<const char*>(nullptr));
            secret_value_unref(value);
            QVERIFY2(storedValue, error ? error->message : "");
        });
    }

private slots:
    void initTestCase() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.path());
        env.insert("XDG_DATA_DIRS", m_dir.path());
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", m_dir.path());
        m_bus.setProcessEnvironment(env);
        m_bus.setProgram(QStringLiteral("dbus-daemon"));
        m_bus.setArguments({"--session", "--nofork", "--nopidfile", "--print-address=1"});
        m_bus.start();
        QVERIFY2(m_bus.waitForStarted(5000), "dbus-daemon is needed");
        QVERIFY(TestSupport::waitUntil([&] { return m_bus.canReadLine(); }, 10000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        // Every D-Bus user in this process (libsecret's too) takes this bus as the session's.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_keyring.setProcessEnvironment(env);
    }
    void cleanupTestCase() {
        for (QProcess* p : {&m_keyring, &m_bus}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
        }
    }

    void readsTheItemFromARealKeyring() {
        QVERIFY(ensureKeyring());
        const QByteArray& json = kItem;
        std::atomic_bool never{false};
        QCOMPARE(lookup("Claude Code-credentials", 8000, never), std::optional<QByteArray>(json));
        QCOMPARE(lookup("Someone else's item", 8000, never), std::optional<QByteArray>());
        std::atomic_bool stopped{true};
        QCOMPARE(lookup("Claude Code-credentials", 8000, stopped), std::optional<QByteArray>());
    }

    // A keyring that has stopped answering (the process is frozen, its name still owned) costs the
    // time-out and no more, the stop flag cuts the wait short, and a later lookup works again.
    void aFrozenKeyringCostsOnlyTheTimeOut() {
        QVERIFY(ensureKeyring());
        const pid_t pid = pid_t(m_keyring.processId());
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        auto thaw = qScopeGuard([pid] { ::kill(pid, SIGCONT); });
        std::atomic_bool never{false};
        QCOMPARE(lookup("Claude Code-credentials", 500, never), std::optional<QByteArray>());

        // A time-out far beyond the wait: only the stop flag can end this one in time.
        std::atomic_bool stop{false};
        QTimer::singleShot(200, [&] { stop = true; });
        QCOMPARE(lookup("Claude Code-credentials", 600000, stop), std::optional<QByteArray>());

        thaw.dismiss();
        ::kill(pid, SIGCONT);
        QVERIFY(lookup("Claude Code-credentials", 8000, never).has_value());
    }

    void nothingWhenTheKeyringIsGone() {
        QVERIFY(ensureKeyring());
        m_keyring.terminate();
        QVERIFY(m_keyring.waitForFinished(10000));
        std::atomic_bool never{false};
        QCOMPARE(lookup("Claude Code-credentials", 8000, never), std::optional<QByteArray>());
    }
};

QTEST_GUILESS_MAIN(tst_SecretServiceLookup)
#include "tst_SecretServiceLookup.moc"
