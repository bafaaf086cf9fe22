// The Claude card: the credential, the usage endpoint on a loopback HTTPS server with a certificate
// authority made for the test (answers, failures, a redirect that must not get the token, a time-out),
// and the local estimate with its per-file cache.
#include "fakes/FakeSecretStore.h"
#include "fakes/LogFixtures.h"
#include "fakes/TestChecks.h"
#include "services/ClaudeLocalEstimate.h"
#include "services/ClaudeUsageReader.h"
#include "services/WorkPool.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

namespace {

const QDateTime kNow(QDate(2026, 1, 2), QTime(12, 0), Qt::UTC);
const QByteArray kReply =
    R"({"five_hour":{"utilization":12.5,"resets_at":"2026-01-02T19:59:59.600956+00:00"},"seven_day":{"utilization":80.0,"resets_at":"2026-01-08T06:59:59+00:00"},"seven_day_opus":null,"seven_day_oauth_apps":null,"extra_usage":{"is_enabled":false,"utilization":null}})";

QByteArray credentials(qint64 expiresAt, const char* topPlan = nullptr, const char* innerPlan = "max") {
    QByteArray inner =
        R"({"accessToken":"sk-ant-oat01-TEST","refreshToken":"sk-ant-ort01-TEST","expiresAt":)" +
        QByteArray::number(expiresAt) + R"(,"scopes":["user:inference"])";
    if (innerPlan)
        inner += QByteArray(R"(,"subscriptionType":")") + innerPlan + "\"";
    inner += "}";
    QByteArray top = R"({"claudeAiOauth":)" + inner;
    if (topPlan)
        top += QByteArray(R"(,"subscriptionType":")") + topPlan + "\"";
    return top + "}";
}

// One loopback HTTPS (or plain) server that answers every request the same way and records what it got.
class Endpoint : public QObject {
public:
    enum class Mode { reply, silent };

    Endpoint(const QSslConfiguration* tls, QByteArray response, Mode mode = Mode::reply)
        : m_response(std::move(response))
        , m_mode(mode) {
        if (tls) {
            auto* server = new QSslServer(this);
            server->setSslConfiguration(*tls);
            m_server = server;
        } else {
            m_server = new QTcpServer(this);
        }
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                ++connections;
                auto* buffer = new QByteArray;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    const qsizetype end = buffer->indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    requests << buffer->left(end);
                    buffer->clear();
                    if (m_mode == Mode::reply)
                        socket->write(m_response);
                });
                connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                    delete buffer;
                    socket->deleteLater();
                });
            }
        });
        QVERIFY(m_server->listen(QHostAddress::LocalHost));
    }

    quint16 port() const { return m_server->serverPort(); }

    QList<QByteArray> requests;
    int connections = 0;

private:
    QTcpServer* m_server = nullptr;
    QByteArray m_response;
    Mode m_mode;
};

QByteArray http(int status, const QByteArray& body, const QByteArray& extra = QByteArray()) {
    return "HTTP/1.1 " + QByteArray::number(status) +
           " X\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n" + extra + "Connection: close\r\n\r\n" + body;
}

QByteArray usageLine(const QDateTime& at, int input, int output, int creation, int cacheRead = 0) {
    return R"({"type":"assistant","timestamp":")" + at.toString(Qt::ISODateWithMs).toUtf8() +
           R"(","message":{"id":"msg_01","role":"assistant","content":[],"usage":{"input_tokens":)" +
           QByteArray::number(input) + R"(,"cache_creation_input_tokens":)" + QByteArray::number(creation) +
           R"(,"cache_read_input_tokens":)" + QByteArray::number(cacheRead) + R"(,"output_tokens":)" +
           QByteArray::number(output) + "}},\"cwd\":\"/home/zuz/projetos/my-app\"}\n";
}

// An assistant line as Claude Code writes it; a streamed reply is several of these with the same ids and
// usage, one per content block.
QByteArray streamed(const QByteArray& timestamp, const QByteArray& messageId, const QByteArray& requestId,
                    const QByteArray& block, const QByteArray& usage,
                    const QByteArray& extra = QByteArray()) {
    QByteArray ids;
    if (!messageId.isEmpty())
        ids = R"("id":")" + messageId + R"(",)";
    QByteArray request;
    if (!requestId.isEmpty())
        request = R"("requestId":")" + requestId + R"(",)";
    return R"({"parentUuid":"p","isSidechain":false,"userType":"external","cwd":"/home/zuz/projetos/my-app","sessionId":"5d1f","version":"2.0.50","gitBranch":"main",)" +
           extra + R"("message":{"model":"claude-opus-4-5-20251101",)" + ids +
           R"("type":"message","role":"assistant","content":[)" + block + R"(],"stop_reason":null,"usage":)" +
           usage + "}," + request + R"("type":"assistant","uuid":"u","timestamp":")" + timestamp + "\"}\n";
}

// 10 + 3000 + 490 = 3500 counted tokens; the cache reads and the nested breakdown are not counted.
const QByteArray kReplyUsage =
    R"({"input_tokens":10,"cache_creation_input_tokens":3000,"cache_read_input_tokens":20000,"cache_creation":{"ephemeral_5m_input_tokens":3000,"ephemeral_1h_input_tokens":0},"output_tokens":490,"service_tier":"standard"})";
const QByteArray kThinking = R"({"type":"thinking","thinking":"vou ler","signature":"Eq"})";
const QByteArray kText = R"({"type":"text","text":"Pronto."})";
const QByteArray kTool = R"({"type":"tool_use","id":"toolu_01","name":"Bash","input":{"command":"ls"}})";

} // namespace

class tst_ClaudeUsage : public QObject {
    Q_OBJECT

    QTemporaryDir m_pki;
    QTemporaryDir m_home;
    QSslConfiguration m_serverTls;

    bool openssl(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_pki.path());
        p.start("openssl", args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    std::optional<AIProviderUsage> readOfficial(const QUrl& base, int waitMs = 5000,
                                                const SecretStore* secrets = nullptr) {
        ClaudeUsageReader reader(m_home.path(), base, secrets);
        reader.setTimeouts(waitMs, waitMs);
        static std::atomic_bool never{false};
        QFuture<std::optional<AIProviderUsage>> f =
            QtConcurrent::run([reader] { return reader.read(kNow, never); });
        // The servers live on this thread: keep its events flowing while the reader waits.
        if (!QTest::qWaitFor([&] { return f.isFinished(); }, waitMs + 10000))
            return std::nullopt;
        return f.result();
    }

    [[nodiscard]] bool writeCredentials(const QByteArray& json) {
        return TestSupport::passes(
            [&] { QVERIFY(LogFixtures::write(m_home.path() + "/.claude/.credentials.json", json, kNow)); });
    }

    QUrl base(const Endpoint& e) const { return QUrl(QString("https://127.0.0.1:%1").arg(e.port())); }

private slots:
    void initTestCase() {
        // A certificate authority made now, trusted by this process only, and a server certificate for
        // 127.0.0.1.
        QFile ext(m_pki.filePath("san.ext"));
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
        ext.close();
        QVERIFY(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
                         "ca.pem", "-days", "2", "-subj", "/CN=Quillbay test CA"}));
        QVERIFY(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out",
                         "server.csr", "-subj", "/CN=127.0.0.1"}));
        QVERIFY(openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                         "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "san.ext"}));
        const auto ca = QSslCertificate::fromPath(m_pki.filePath("ca.pem"));
        const auto cert = QSslCertificate::fromPath(m_pki.filePath("server.pem"));
        QFile keyFile(m_pki.filePath("server.key"));
        QVERIFY(ca.size() == 1 && cert.size() == 1 && keyFile.open(QIODevice::ReadOnly));
        m_serverTls = QSslConfiguration::defaultConfiguration();
        m_serverTls.setLocalCertificate(cert[0]);
        m_serverTls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
        QSslConfiguration client = QSslConfiguration::defaultConfiguration();
        client.addCaCertificate(ca[0]);
        QSslConfiguration::setDefaultConfiguration(client);
    }

    void init() { QDir(m_home.path() + "/.claude").removeRecursively(); }

    void credential_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("plan");
        const qint64 nowMs = kNow.toMSecsSinceEpoch();
        QTest::newRow("valid, plan inside") << credentials(nowMs + 3600000) << true << "Max";
        QTest::newRow("top-level plan wins") << credentials(nowMs + 3600000, "pro", "max") << true << "Pro";
        QTest::newRow("no plan") << credentials(nowMs + 3600000, nullptr, nullptr) << true << "";
        QTest::newRow("expired a minute ago") << credentials(nowMs - 60000) << false << "";
        QTest::newRow("expires right now") << credentials(nowMs) << false << "";
        QTest::newRow("expiry as text")
            << QByteArray(R"({"claudeAiOauth":{"accessToken":"t","expiresAt":"4102444800000"}})") << false
            << "";
        QTest::newRow("no token") << QByteArray(R"({"claudeAiOauth":{"expiresAt":4102444800000}})") << false
                                  << "";
        QTest::newRow("not an object") << QByteArray("[1]") << false << "";
        QTest::newRow("truncated") << credentials(nowMs + 3600000).left(40) << false << "";
    }

    void credential() {
        QFETCH(QByteArray, json);
        QFETCH(bool, usable);
        QFETCH(QString, plan);
        const auto c = ClaudeUsageReader::credentialFromJson(json, kNow);
        QCOMPARE(c.has_value(), usable);
        if (c) {
            QCOMPARE(c->accessToken, QString("sk-ant-oat01-TEST"));
            QCOMPARE(c->plan, plan);
        }
    }

    void replyWindows_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QList<double>>("fractions");
        QTest::addColumn<QStringList>("details"); // "*" = a relative phrase
        QTest::newRow("fixture") << kReply << QStringList{"5 horas", "Semana"} << QList<double>{0.125, 0.8}
                                 << QStringList{"*", "*"};
        QTest::newRow("all four, bad and missing resets")
            << QByteArray(
                   R"({"seven_day_oauth_apps":{"utilization":1},"seven_day_opus":{"utilization":2,"resets_at":"tomorrow"},"seven_day":{"utilization":3,"resets_at":5},"five_hour":{"utilization":4,"resets_at":"2026-01-02T13:00:00Z"}})")
            << QStringList{"5 horas", "Semana", "Semana (Opus)", "Semana (apps)"}
            << QList<double>{0.04, 0.03, 0.02, 0.01} << QStringList{"*", "", "renova tomorrow", ""};
        QTest::newRow("null utilization left out")
            << QByteArray(R"({"five_hour":{"utilization":null},"seven_day":{"utilization":50}})")
            << QStringList{"Semana"} << QList<double>{0.5} << QStringList{""};
        QTest::newRow("nothing usable") << QByteArray(R"({"five_hour":[],"other":{"utilization":5}})")
                                        << QStringList{} << QList<double>{} << QStringList{};
    }

    void replyWindows() {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, labels);
        QFETCH(QList<double>, fractions);
        QFETCH(QStringList, details);
        const auto card =
            ClaudeUsageReader::cardFromReply(QJsonDocument::fromJson(reply).object(), "Max", kNow);
        QCOMPARE(card.has_value(), !labels.isEmpty());
        if (!card)
            return;
        QCOMPARE(card->name, QString("Claude"));
        QCOMPARE(card->note, std::nullopt);
        QCOMPARE(card->metrics.size(), labels.size());
        for (int i = 0; i < labels.size(); ++i) {
            QCOMPARE(card->metrics[i].label, labels[i]);
            QCOMPARE(card->metrics[i].fraction, std::optional<double>(fractions[i]));
            if (details[i] == "*")
                QVERIFY(card->metrics[i].detail.startsWith("renova ") && card->metrics[i].detail.size() > 7);
            else
                QCOMPARE(card->metrics[i].detail, details[i]);
        }
    }

    void endpoint_data() {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("card");
        QTest::newRow("200") << http(200, kReply) << true;
        QTest::newRow("401") << http(401, R"({"error":"expired"})") << false;
        QTest::newRow("429") << http(429, kReply) << false;
        QTest::newRow("500") << http(500, kReply) << false;
        QTest::newRow("200 with a body that is not an object") << http(200, "[1,2]") << false;
        QTest::newRow("200 with no windows") << http(200, "{}") << false;
    }

    void endpoint() {
        QFETCH(QByteArray, response);
        QFETCH(bool, card);
        QVERIFY(writeCredentials(credentials(kNow.toMSecsSinceEpoch() + 3600000)));
        Endpoint server(&m_serverTls, response);
        const auto result = readOfficial(base(server));
        QCOMPARE(result.has_value(), card);
        QCOMPARE(server.requests.size(), 1);
        const QByteArray request = server.requests[0];
        QVERIFY(request.startsWith("GET /api/oauth/usage HTTP/1.1\r\n"));
        QVERIFY(request.contains("\r\nAuthorization: Bearer sk-ant-oat01-TEST\r\n"));
        QVERIFY(request.contains("\r\nanthropic-beta: oauth-2025-04-20\r\n"));
        if (card) {
            QCOMPARE(result->plan, QString("Max"));
            QCOMPARE(result->metrics.size(), 2);
        }
    }

    // The token never follows a redirect to another host: the answer counts as failed.
    void redirectIsNotFollowed() {
        QVERIFY(writeCredentials(credentials(kNow.toMSecsSinceEpoch() + 3600000)));
        Endpoint elsewhere(&m_serverTls, http(200, kReply));
        Endpoint server(&m_serverTls,
                        http(302, "",
                             "Location: https://localhost:" + QByteArray::number(elsewhere.port()) +
                                 "/api/oauth/usage\r\n"));
        QVERIFY(!readOfficial(base(server)));
        QCOMPARE(server.requests.size(), 1);
        QTest::qWait(100); // proves no connection to the redirect's host reaches its server thread
        QCOMPARE(elsewhere.connections, 0);
        QVERIFY(elsewhere.requests.isEmpty());
    }

    void noAnswerInTimeGivesNothing() {
        QVERIFY(writeCredentials(credentials(kNow.toMSecsSinceEpoch() + 3600000)));
        Endpoint server(&m_serverTls, QByteArray(), Endpoint::Mode::silent);
        QVERIFY(!readOfficial(base(server), 400));
        QCOMPARE(server.requests.size(), 1);
    }

    void noRequestWithoutAUsableToken_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("expired") << credentials(kNow.toMSecsSinceEpoch() - 60000);
        QTest::newRow("malformed") << QByteArray("{not json");
        QTest::newRow("no file") << QByteArray();
    }

    void noRequestWithoutAUsableToken() {
        QFETCH(QByteArray, json);
        if (!json.isEmpty())
            QVERIFY(writeCredentials(json));
        Endpoint server(&m_serverTls, http(200, kReply));
        QVERIFY(!readOfficial(base(server)));
        QCOMPARE(server.connections, 0);
    }

    // The token is never sent over plain HTTP, even to a test host.
    // The keyring is the fallback for a credentials file that is absent, and only for that.
    void keyringWhenTheFileIsAbsent_data() {
        QTest::addColumn<QByteArray>("file");    // empty: no file
        QTest::addColumn<QByteArray>("keyring"); // empty: no item
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QByteArray>("token"); // the bearer sent; empty: no request
        const qint64 valid = kNow.toMSecsSinceEpoch() + 3600000;
        QByteArray fromKeyring = credentials(valid);
        fromKeyring.replace("sk-ant-oat01-TEST", "sk-ant-oat01-KEYRING");
        QTest::newRow("no file, token in the keyring")
            << QByteArray() << fromKeyring << true << QByteArray("sk-ant-oat01-KEYRING");
        QTest::newRow("the file wins")
            << credentials(valid) << fromKeyring << false << QByteArray("sk-ant-oat01-TEST");
        QTest::newRow("a malformed file is no reason to look elsewhere")
            << QByteArray("{not json") << fromKeyring << false << QByteArray();
        QTest::newRow("no file, nothing in the keyring")
            << QByteArray() << QByteArray() << true << QByteArray();
        QTest::newRow("no file, expired token in the keyring")
            << QByteArray() << credentials(kNow.toMSecsSinceEpoch() - 60000) << true << QByteArray();
        QTest::newRow("no file, keyring item that is not a credential")
            << QByteArray() << QByteArray("hunter2") << true << QByteArray();
        QTest::newRow("no file, oversized keyring item")
            << QByteArray() << QByteArray(2 * 1024 * 1024, ' ') + fromKeyring << true << QByteArray();
    }
    void keyringWhenTheFileIsAbsent() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, keyring);
        QFETCH(bool, asked);
        QFETCH(QByteArray, token);
        if (!file.isEmpty())
            QVERIFY(writeCredentials(file));
        // Claude Code's folder is there, without the file: the case the keyring is for.
        QVERIFY(QDir().mkpath(m_home.path() + "/.claude/projects"));
        FakeSecretStore secrets;
        if (!keyring.isEmpty())
            secrets.items.insert(QStringLiteral("Claude Code-credentials"), keyring);
        Endpoint server(&m_serverTls, http(200, kReply));
        const auto result = readOfficial(base(server), 5000, &secrets);
        QCOMPARE(secrets.questions(), asked ? QStringList{"Claude Code-credentials"} : QStringList{});
        if (asked)
            QCOMPARE(secrets.lastTimeoutMs, ClaudeUsageReader::kSecretTimeoutMs);
        QCOMPARE(result.has_value(), !token.isEmpty());
        if (token.isEmpty()) {
            QCOMPARE(server.connections, 0);
            return;
        }
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].contains("\r\nAuthorization: Bearer " + token + "\r\n"));
    }

    // Without any of Claude Code's folders there is nothing to look for: the keyring is not asked, on any
    // refresh, even when it holds an item.
    void noClaudeFolderNoKeyring() {
        FakeSecretStore secrets;
        secrets.items.insert(QStringLiteral("Claude Code-credentials"),
                             credentials(kNow.toMSecsSinceEpoch() + 3600000));
        Endpoint server(&m_serverTls, http(200, kReply));
        for (int refresh = 0; refresh < 3; ++refresh)
            QVERIFY(!readOfficial(base(server), 5000, &secrets));
        QVERIFY(secrets.questions().isEmpty());
        QCOMPARE(server.connections, 0);
        // Once the folder appears, the keyring is the fallback again.
        QVERIFY(QDir().mkpath(m_home.path() + "/.claude"));
        QVERIFY(readOfficial(base(server), 5000, &secrets));
        QCOMPARE(secrets.questions(), QStringList{"Claude Code-credentials"});
    }

    // A keyring that had nothing is not asked again on every refresh, only once something in Claude Code's
    // folder changed (as when it signs in); a token it gives is never remembered.
    void keyringMissIsRememberedUntilTheFolderChanges() {
        QVERIFY(QDir().mkpath(m_home.path() + "/.claude/projects"));
        FakeSecretStore secrets;
        ClaudeUsageReader reader(m_home.path(), QUrl("https://127.0.0.1:1"), &secrets);
        std::atomic_bool never{false};
        QVERIFY(!reader.credential(kNow, never));
        QVERIFY(!reader.credential(kNow, never));
        QCOMPARE(secrets.questions().size(), 1);
        secrets.items.insert(QStringLiteral("Claude Code-credentials"),
                             credentials(kNow.toMSecsSinceEpoch() + 3600000));
        QVERIFY(QDir().mkpath(m_home.path() + "/.claude/todos"));
        QVERIFY(reader.credential(kNow, never));
        QVERIFY(reader.credential(kNow, never));
        QCOMPARE(secrets.questions().size(), 3);
        // A copy of the reader (as a refresh's worker holds) shares what was learnt.
        secrets.items.clear();
        QVERIFY(!reader.credential(kNow, never));
        const ClaudeUsageReader copy = reader;
        QVERIFY(!copy.credential(kNow, never));
        QCOMPARE(secrets.questions().size(), 4);
    }

    // A folder where the file should be: it exists, so the keyring is not asked either.
    void anUnreadableFileIsNotAbsent() {
        QVERIFY(QDir().mkpath(m_home.path() + "/.claude/.credentials.json"));
        FakeSecretStore secrets;
        secrets.items.insert(QStringLiteral("Claude Code-credentials"),
                             credentials(kNow.toMSecsSinceEpoch() + 3600000));
        Endpoint server(&m_serverTls, http(200, kReply));
        QVERIFY(!readOfficial(base(server), 5000, &secrets));
        QVERIFY(secrets.questions().isEmpty());
        QCOMPARE(server.connections, 0);
    }

    void plainHttpIsRefused() {
        QVERIFY(writeCredentials(credentials(kNow.toMSecsSinceEpoch() + 3600000)));
        Endpoint plain(nullptr, http(200, kReply));
        QVERIFY(!readOfficial(QUrl(QString("http://127.0.0.1:%1").arg(plain.port()))));
        QTest::qWait(50); // proves no connection reaches the plain server's thread
        QCOMPARE(plain.connections, 0);
    }

    void untrustedCertificateFails() {
        QVERIFY(writeCredentials(credentials(kNow.toMSecsSinceEpoch() + 3600000)));
        Endpoint server(&m_serverTls, http(200, kReply));
        // "localhost" is in the certificate, "127.0.0.2" is not.
        QVERIFY(!readOfficial(QUrl(QString("https://127.0.0.2:%1").arg(server.port()))));
        QVERIFY(server.requests.isEmpty());
    }

    void estimate() {
        const QString log = m_home.path() + "/.claude/projects/-home-zuz-projetos-my-app/3f1c.jsonl";
        QByteArray content;
        content += "{\"type\":\"user\",\"timestamp\":\"2026-01-02T11:00:00Z\",\"message\":{\"role\":\"user\","
                   "\"content\":"
                   "\"the \\\"usage\\\" word\"}}"
                   "\n";
        content += usageLine(kNow.addSecs(-600), 4, 321, 1234, 5678);  // both sums
        content += usageLine(kNow.addSecs(-6 * 3600), 1000, 0, 0);     // week only
        content += usageLine(kNow.addSecs(-8 * 86400), 9999999, 0, 0); // too old
        content += R"({"type":"summary","summary":"s","leafUuid":"u"})"
                   "\n";
        content += R"({"type":"assistant","timestamp":"2026-01-02T11:59:00.5Z","message":{"usage":{}}})"
                   "\n";
        content += R"({"type":"assistant","timestamp":"yesterday","message":{"usage":{"input_tokens":7}}})"
                   "\n";
        content +=
            R"({"type":"assistant","timestamp":"2026-01-02T11:59:00Z","message":{"usage":{"input_tokens":1.5,"output_tokens":"9"}}})"
            "\n";
        content += "{\"broken\": \"usage\"\n";
        QVERIFY(LogFixtures::write(log, content, kNow.addSecs(-60)));
        ClaudeLocalEstimate estimate(m_home.path());
        const auto card = estimate.read(kNow);
        QVERIFY(card);
        QCOMPARE(card->note,
                 std::optional<QString>(
                     "Estimativa local — abra o Claude Code pra renovar o token e ver % oficial"));
        QCOMPARE(card->metrics.size(), 2);
        QCOMPARE(card->metrics[0], (AIUsageMetric{"5 horas", std::nullopt, "≈ 2k tokens"}));
        QCOMPARE(card->metrics[1], (AIUsageMetric{"Semana", std::nullopt, "≈ 3k tokens"}));
    }

    void estimateEdges() {
        ClaudeLocalEstimate estimate(m_home.path());
        QVERIFY(!estimate.read(kNow)); // no projects folder: Claude absent
        const QString log = m_home.path() + "/.claude/projects/-p/a.jsonl";
        QVERIFY(LogFixtures::write(log, usageLine(kNow.addSecs(-8 * 86400), 5, 5, 5), kNow.addSecs(-60)));
        auto card = estimate.read(kNow);
        QVERIFY(card && card->metrics.isEmpty());
        QCOMPARE(card->note, std::optional<QString>("Sem atividade local na última semana"));
        // Recent lines in a file last changed more than a week ago are not read at all.
        QVERIFY(LogFixtures::write(log, usageLine(kNow.addSecs(-60), 5, 5, 5), kNow.addSecs(-8 * 86400)));
        QCOMPARE(estimate.read(kNow)->note, std::optional<QString>("Sem atividade local na última semana"));
        // Six hours old: the five-hour line still shows, with 0.
        QVERIFY(LogFixtures::write(log, usageLine(kNow.addSecs(-6 * 3600), 5, 5, 5), kNow.addSecs(-60)));
        card = estimate.read(kNow);
        QCOMPARE(card->metrics.value(0).detail, QString("≈ 0 tokens"));
        QCOMPARE(card->metrics.value(1).detail, QString("≈ 15 tokens"));
    }

    // Real log shapes: each reply once, whatever else the log holds.
    void estimateLogShapes_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fiveHours");
        QTest::addColumn<QString>("week");
        const QByteArray t = "2026-01-02T11:50:00.123Z";
        const QByteArray old = "2026-01-01T11:50:00.123Z"; // a day ago: the week only
        const QByteArray reply = streamed(t, "msg_01A", "req_01A", kThinking, kReplyUsage) +
                                 streamed(t, "msg_01A", "req_01A", kText, kReplyUsage) +
                                 streamed(t, "msg_01A", "req_01A", kTool, kReplyUsage);
        QTest::newRow("a streamed reply counts once") << reply << "≈ 4k tokens"
                                                      << "≈ 4k tokens";
        QTest::newRow("two replies") << reply + streamed(old, "msg_01B", "req_01B", kText, kReplyUsage)
                                     << "≈ 4k tokens"
                                     << "≈ 7k tokens";
        QTest::newRow("same message, other request")
            << reply + streamed(t, "msg_01A", "req_02", kText, kReplyUsage) << "≈ 7k tokens"
            << "≈ 7k tokens";
        QTest::newRow("lines without a request id count each")
            << streamed(t, "msg_01A", "", kText, kReplyUsage).repeated(2) << "≈ 7k tokens"
            << "≈ 7k tokens";
        QTest::newRow("lines without a message id count each")
            << streamed(t, "", "req_01A", kText, kReplyUsage).repeated(3) << "≈ 10k tokens"
            << "≈ 10k tokens";
        QTest::newRow("a repeat outside the week does not hide the reply")
            << streamed("2025-12-20T10:00:00Z", "msg_01A", "req_01A", kText, kReplyUsage) + reply
            << "≈ 4k tokens"
            << "≈ 4k tokens";
        QTest::newRow("a reply that comes back after another counts once")
            << reply + streamed(t, "msg_01B", "req_01B", kText, kReplyUsage) +
                   streamed(t, "msg_01A", "req_01A", kText, kReplyUsage) +
                   streamed(t, "", "", kText, kReplyUsage) +
                   streamed(t, "msg_01B", "req_01B", kTool, kReplyUsage)
            << "≈ 10k tokens"
            << "≈ 10k tokens";
        QTest::newRow("sidechain replies count too")
            << reply + streamed(t, "msg_side", "req_side", kText, kReplyUsage,
                                R"("isSidechain":true,"agentId":"a1",)")
            << "≈ 7k tokens"
            << "≈ 7k tokens";
        QTest::newRow("progress lines hold no usage of their own")
            << reply +
                   R"({"type":"progress","data":{"type":"agent_progress","message":{"type":"assistant","message":{"id":"msg_x","usage":{"input_tokens":999999}}}},"timestamp":"2026-01-02T11:51:00Z","parentToolUseID":"toolu_01"})"
                   "\n"
            << "≈ 4k tokens"
            << "≈ 4k tokens";
        QTest::newRow("null and string counters count 0")
            << streamed(t, "m", "r", kText,
                        R"({"input_tokens":null,"output_tokens":"12","cache_creation_input_tokens":2500})")
            << "≈ 2k tokens"
            << "≈ 2k tokens";
        QTest::newRow("timestamps with zones and fractions")
            << streamed("2026-01-02T11:50:00Z", "m1", "r1", kText, kReplyUsage) +
                   streamed("2026-01-02T11:50:00.123456+00:00", "m2", "r2", kText, kReplyUsage) +
                   streamed("2026-01-02T08:50:00-03:00", "m3", "r3", kText, kReplyUsage) +
                   streamed("2026-01-02T11:50:00", "m4", "r4", kText, kReplyUsage) // no zone: not a moment
            << "≈ 10k tokens"
            << "≈ 10k tokens";
        QTest::newRow("truncated and non-JSON lines")
            << QByteArray("not json but \"usage\"\n") + reply +
                   streamed(t, "m9", "r9", kText, kReplyUsage).left(200) + "\n" +
                   streamed(t, "m8", "r8", kText, kReplyUsage).left(150)
            << "≈ 4k tokens"
            << "≈ 4k tokens";
        QTest::newRow("a bad byte hides its line only")
            << reply + streamed(t, "m7", "r7", "{\"type\":\"text\",\"text\":\"ol\xe1\"}", kReplyUsage) +
                   streamed(old, "m6", "r6", kText, kReplyUsage)
            << "≈ 4k tokens"
            << "≈ 7k tokens";
    }

    void estimateLogShapes() {
        QFETCH(QByteArray, content);
        QFETCH(QString, fiveHours);
        QFETCH(QString, week);
        QVERIFY(LogFixtures::write(m_home.path() + "/.claude/projects/-home-zuz-projetos-my-app/5d1f.jsonl",
                                   content, kNow.addSecs(-60)));
        ClaudeLocalEstimate estimate(m_home.path());
        const auto card = estimate.read(kNow);
        QVERIFY(card);
        QCOMPARE(card->metrics.value(0).detail, fiveHours);
        QCOMPARE(card->metrics.value(1).detail, week);
        // The cache gives the same sums.
        QCOMPARE(estimate.read(kNow), card);
    }

    // The quick reading of a line gives what a full JSON parse gives: on real shapes, on the cases it
    // leaves to the parse, and on thousands of damaged variants of them.
    void quickReadingAgreesWithFullParse() {
        const QByteArray t = "2026-01-02T11:50:00.123Z";
        QList<QByteArray> lines{
            streamed(t, "msg_01A", "req_01A", kThinking, kReplyUsage),
            streamed(t, "msg_01A", "", kTool, kReplyUsage),
            streamed("2026-01-02T08:50:00-03:00", "m", "r", kText,
                     R"({"input_tokens":null,"output_tokens":"12"})"),
            streamed(t, "m", "r", kText,
                     R"({"input_tokens":1.5,"output_tokens":2.0,"cache_creation_input_tokens":3e2})"),
            streamed(t, "m", "r", kText, R"({"input_tokens":123456789012345678901,"output_tokens":-4})"),
            streamed(t, "m\u0041", "r", kText, kReplyUsage),
            streamed("2026-01-02T11:50:00\u002e5Z", "m", "r", kText, kReplyUsage),
            streamed(t, "m", "r", kText, kReplyUsage, R"("timestamp":"2020-01-01T00:00:00Z",)"),
            streamed(t, "m", "r", kText, kReplyUsage, R"("timestamp":"2026-01-02T11:00:00Z",)"),
            streamed(t, "m", "r", kText, R"({"input_tokens":5,"input_tokens":7})"),
            streamed(t, "m", "r", kText, R"({"input_tokens":5,"x":{"input_tokens":9}})"),
            streamed(t, "m", "r",
                     "{\"type\":\"text\",\"text\":\"ol\xc3\xa1 \xe2\x82\xac \xf0\x9f\x98\x80 \\n\\t\\\"\"}",
                     kReplyUsage),
            streamed(t, "m", "r", "{\"type\":\"text\",\"text\":\"\x01\"}", kReplyUsage),
            streamed(t, "m", "r", kText, kReplyUsage)
                .replace("\"message\":{", "\"message\":[{")
                .replace("},\"requestId", "}],\"requestId"),
            "\xef\xbb\xbf" + streamed(t, "m", "r", kText, kReplyUsage),
            R"({"type":"progress","data":{"message":{"message":{"usage":{"input_tokens":9}}}},"timestamp":"2026-01-02T11:51:00Z"})",
            QByteArray(R"({"timestamp":"2026-01-02T11:51:00Z","message":{"usage":{"input_tokens":1},"x":)") +
                QByteArray(300, '[') + QByteArray(300, ']') + "}}",
            R"({"timestamp":"2026-01-02T11:51:00Z","message":{"usage":{}},"n":[1.,.5,01,-0,1E+2,true,false,null]})",
        };
        for (QByteArray& line : lines)
            line = line.trimmed();
        const QByteArray interesting("\"\\{}[],: e.-0n\xff\xc3\x01\x00\x7f", 20);
        QRandomGenerator random(36);
        int compared = 0;
        const qsizetype bases = lines.size();
        for (qsizetype b = 0; b < bases; ++b) {
            for (int i = 0; i < 400; ++i) {
                QByteArray damaged = lines[b];
                const qsizetype at = random.bounded(int(damaged.size()));
                switch (random.bounded(3)) {
                case 0:
                    damaged[at] = interesting[random.bounded(int(interesting.size()))];
                    break;
                case 1:
                    damaged.remove(at, 1);
                    break;
                default:
                    damaged.truncate(at);
                }
                lines.append(damaged);
            }
        }
        for (const QByteArray& line : lines) {
            const auto quick = ClaudeLocalEstimate::usageOfLine(line);
            const auto full = ClaudeLocalEstimate::usageOfLineByDocument(line);
            if (quick != full)
                QFAIL(qPrintable("they differ on: " +
                                 QString::fromLatin1(line.toPercentEncoding(" {}[]\":,"))));
            ++compared;
        }
        QCOMPARE(compared, bases * 401);
        // Most real lines take the quick way (the cases above that it leaves to the parse are not real).
        QVERIFY(ClaudeLocalEstimate::usageOfLine(lines[0]));
    }

    // A streamed reply whose lines arrive across refreshes still counts once.
    void streamedReplyAcrossRefreshes() {
        const QString log = m_home.path() + "/.claude/projects/-p/s.jsonl";
        const QByteArray t = "2026-01-02T11:50:00.123Z";
        QVERIFY(LogFixtures::write(log, streamed(t, "msg_A", "req_A", kThinking, kReplyUsage),
                                   kNow.addSecs(-60)));
        ClaudeLocalEstimate estimate(m_home.path());
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 4k tokens"));
        const QByteArray rest = streamed(t, "msg_A", "req_A", kText, kReplyUsage);
        // The next line half written, then whole.
        QVERIFY(LogFixtures::append(log, rest.left(rest.size() - 1), kNow.addSecs(-50)));
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 4k tokens"));
        QVERIFY(LogFixtures::append(log, "\n", kNow.addSecs(-40)));
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 4k tokens"));
    }

    // A 40 MB line without a line feed: read once, skipped, and the lines after it still count.
    void longLineWithoutFeedIsReadOnce() {
        const QString log = m_home.path() + "/.claude/projects/-p/img.jsonl";
        const QByteArray t = "2026-01-02T11:50:00.123Z";
        const QByteArray first = streamed(t, "m1", "r1", kText, kReplyUsage);
        QByteArray image =
            "{\"type\":\"user\",\"message\":{\"content\":[{\"type\":\"image\",\"source\":{\"data\":\"";
        image += QByteArray(40 * 1024 * 1024, 'A');
        QVERIFY(LogFixtures::write(log, first + image, kNow.addSecs(-60)));
        ClaudeLocalEstimate estimate(m_home.path());
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 4k tokens"));
        QCOMPARE(estimate.lastBytesRead(), first.size() + image.size());
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 4k tokens"));
        QCOMPARE(estimate.lastBytesRead(), 0);
        const QByteArray after = "\"}}]}}\n" + streamed(t, "m2", "r2", kText, kReplyUsage);
        QVERIFY(LogFixtures::append(log, after, kNow.addSecs(-30)));
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 7k tokens"));
        QCOMPARE(estimate.lastBytesRead(), after.size());
    }

    // The cache gives what a fresh read gives after appends, rewrites, a growing last line and removals,
    // also when its walk shares its stats with helper threads.
    void estimateCache_data() {
        QTest::addColumn<bool>("helped");
        QTest::newRow("alone") << false;
        QTest::newRow("with helpers") << true;
    }
    void estimateCache() {
        QFETCH(bool, helped);
        const QString a = m_home.path() + "/.claude/projects/-p/a.jsonl";
        const QString b = m_home.path() + "/.claude/projects/-q/sub/b.jsonl";
        WorkPool pool(4);
        ClaudeLocalEstimate cached(m_home.path());
        if (helped) {
            cached.setHelpers(&pool);
            // Enough logs beside them for the stats to be shared out (counting no tokens).
            for (int i = 0; i < 300; ++i)
                QVERIFY(LogFixtures::write(m_home.path() + QString("/.claude/projects/-r/f%1.jsonl").arg(i),
                                           usageLine(kNow.addSecs(-200), 0, 0, 0), kNow.addSecs(-60)));
        }
        auto same = [&] {
            ClaudeLocalEstimate fresh(m_home.path());
            return cached.read(kNow) == fresh.read(kNow);
        };
        QVERIFY(
            LogFixtures::write(a, usageLine(kNow.addSecs(-100), 1, 2, 3).repeated(50), kNow.addSecs(-50)));
        QVERIFY(LogFixtures::write(b, usageLine(kNow.addSecs(-100), 10, 0, 0), kNow.addSecs(-50)));
        QVERIFY(same());
        const qint64 full = cached.lastBytesRead();
        QVERIFY(full > 0);
        // Unchanged: nothing is read.
        QVERIFY(same());
        QCOMPARE(cached.lastBytesRead(), 0);
        // Appended: only the new bytes.
        const QByteArray more = usageLine(kNow.addSecs(-30), 100, 0, 0);
        QVERIFY(LogFixtures::append(a, more, kNow.addSecs(-20)));
        QVERIFY(same());
        QCOMPARE(cached.lastBytesRead(), more.size());
        // A last line still being written counts once it is whole.
        const QByteArray next = usageLine(kNow.addSecs(-10), 1000, 0, 0);
        QVERIFY(LogFixtures::append(a, next.left(next.size() - 1), kNow.addSecs(-10)));
        QVERIFY(same());
        QCOMPARE(cached.lastBytesRead(), next.size() - 1);
        // Nothing is read while nothing changed; once it grows it is read again from its start, since its
        // text is not kept.
        QVERIFY(same());
        QCOMPARE(cached.lastBytesRead(), 0);
        QVERIFY(LogFixtures::append(a, "\n", kNow.addSecs(-5)));
        QVERIFY(same());
        QCOMPARE(cached.lastBytesRead(), next.size());
        QCOMPARE(cached.read(kNow)->metrics.value(1).detail, QString("≈ 1k tokens"));
        // Rewritten shorter, then rewritten at the same length with other content.
        QVERIFY(LogFixtures::write(a, usageLine(kNow.addSecs(-100), 7, 0, 0), kNow.addSecs(-4)));
        QVERIFY(same());
        QVERIFY(LogFixtures::write(a, usageLine(kNow.addSecs(-100), 8, 0, 0), kNow.addSecs(-3)));
        QVERIFY(same());
        // Removed.
        QVERIFY(QFile::remove(b));
        QVERIFY(same());
        QCOMPARE(cached.read(kNow)->metrics.value(1).detail, QString("≈ 8 tokens"));
    }

    // A last line still being written is never kept: each read that finds the log grown reads it again
    // from its start, and it counts once, as it stands, however many reads it takes to be finished.
    void unfinishedLineIsReadAgainFromItsStart_data() {
        QTest::addColumn<QByteArrayList>("steps"); // appended one after another, a read after each
        QTest::addColumn<QStringList>("weeks");    // the week's sum after each read
        const QByteArray t = "2026-01-02T11:50:00.123Z";
        const QByteArray reply = streamed(t, "m1", "r1", kText, kReplyUsage);
        const QByteArray other = streamed(t, "m2", "r2", kText, kReplyUsage);
        const QByteArray user = QByteArray("{\"type\":\"user\",\"timestamp\":\"2026-01-02T11:49:00Z\","
                                           "\"message\":{\"content\":\"") +
                                QByteArray(3000, 'u') + QByteArray("\"}}\n");
        QTest::newRow("a long user line in three pieces, then a reply")
            << QByteArrayList{reply + user.left(1000), user.mid(1000, 1000), user.mid(2000), other}
            << QStringList{"≈ 4k tokens", "≈ 4k tokens", "≈ 4k tokens", "≈ 7k tokens"};
        QTest::newRow("a reply cut in half")
            << QByteArrayList{user + reply.left(300), reply.mid(300)}
            << QStringList{"Sem atividade local na última semana", "≈ 4k tokens"};
        QTest::newRow("a whole reply still without its line feed counts once")
            << QByteArrayList{user + reply.chopped(1), QByteArray("\n"), other}
            << QStringList{"≈ 4k tokens", "≈ 4k tokens", "≈ 7k tokens"};
        QTest::newRow("a repeat of the reply as the unfinished line")
            << QByteArrayList{reply + reply.chopped(1), QByteArray("\n") + other.left(10), other.mid(10)}
            << QStringList{"≈ 4k tokens", "≈ 4k tokens", "≈ 7k tokens"};
    }
    void unfinishedLineIsReadAgainFromItsStart() {
        QFETCH(QByteArrayList, steps);
        QFETCH(QStringList, weeks);
        const QString log = m_home.path() + "/.claude/projects/-p/growing.jsonl";
        ClaudeLocalEstimate estimate(m_home.path());
        QByteArray content;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            // Where the line in progress began before this step: the read starts there.
            const qsizetype from = content.lastIndexOf('\n') + 1;
            content += steps[i];
            QVERIFY(LogFixtures::write(log, content, kNow.addSecs(-100 + int(i))));
            const auto card = estimate.read(kNow);
            QVERIFY(card);
            QCOMPARE(card->metrics.isEmpty() ? *card->note : card->metrics.value(1).detail, weeks[i]);
            if (i > 0)
                QCOMPARE(estimate.lastBytesRead(), content.size() - from);
            ClaudeLocalEstimate fresh(m_home.path());
            QCOMPARE(fresh.read(kNow), card);
        }
        // Unchanged: nothing is read, and the count stands.
        QCOMPARE(estimate.read(kNow), ClaudeLocalEstimate(m_home.path()).read(kNow));
        QCOMPARE(estimate.lastBytesRead(), 0);
    }

    // What the cache holds of logs is their usage lines without text, and only those of the week; a clock
    // set back makes it read everything again rather than miss lines it let go of.
    void cacheKeepsTheWeekOnly() {
        const QString log = m_home.path() + "/.claude/projects/-p/w.jsonl";
        QByteArray content = usageLine(kNow.addSecs(-8 * 86400), 100, 0, 0) +
                             usageLine(kNow.addSecs(-3 * 86400), 10, 0, 0) +
                             usageLine(kNow.addSecs(-60), 1, 0, 0);
        QVERIFY(LogFixtures::write(log, content, kNow.addSecs(-30)));
        ClaudeLocalEstimate estimate(m_home.path());
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 11 tokens"));
        QCOMPARE(estimate.cachedLogs(), 1);
        QCOMPARE(estimate.cachedUsages(), 2);
        // Five days on, the three-day-old line has left the week, and the cache.
        const QDateTime later = kNow.addSecs(5 * 86400);
        QCOMPARE(estimate.read(later)->metrics.value(1).detail, QString("≈ 1 tokens"));
        QCOMPARE(estimate.cachedUsages(), 1);
        QCOMPARE(estimate.lastBytesRead(), 0);
        // Back to the first moment: the line let go of counts again.
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 11 tokens"));
        QCOMPARE(estimate.lastBytesRead(), content.size());
    }

    // A line past the limit (a log without line feeds) is passed over whole, also as it keeps growing, and
    // is read only once; the lines after it count again.
    void estimateOverlongLine() {
        const QString log = m_home.path() + "/.claude/projects/-p/long.jsonl";
        const QByteArray first = usageLine(kNow.addSecs(-100), 7, 0, 0);
        QByteArray huge =
            "{\"type\":\"assistant\",\"timestamp\":\"2026-01-02T11:59:00Z\",\"message\":{\"usage\":"
            "{\"input_tokens\":5},\"text\":\"";
        huge += QByteArray(ClaudeLocalEstimate::kMaxLine + 1024, 'x');
        QVERIFY(LogFixtures::write(log, first + huge, kNow.addSecs(-60)));
        ClaudeLocalEstimate estimate(m_home.path());
        auto card = estimate.read(kNow);
        QCOMPARE(card->metrics.value(1).detail, QString("≈ 7 tokens"));
        QCOMPARE(estimate.lastBytesRead(), first.size() + huge.size());

        const QByteArray more(1024 * 1024, 'y');
        QVERIFY(LogFixtures::append(log, more, kNow.addSecs(-50)));
        card = estimate.read(kNow);
        QCOMPARE(card->metrics.value(1).detail, QString("≈ 7 tokens"));
        QCOMPARE(estimate.lastBytesRead(), more.size());

        const QByteArray after = "\"}}\n" + usageLine(kNow.addSecs(-40), 30, 0, 0);
        QVERIFY(LogFixtures::append(log, after, kNow.addSecs(-40)));
        card = estimate.read(kNow);
        QCOMPARE(card->metrics.value(1).detail, QString("≈ 37 tokens"));
        QCOMPARE(estimate.lastBytesRead(), after.size());
        ClaudeLocalEstimate fresh(m_home.path());
        QCOMPARE(fresh.read(kNow), card);
    }
};

QTEST_GUILESS_MAIN(tst_ClaudeUsage)
#include "tst_ClaudeUsage.moc"
