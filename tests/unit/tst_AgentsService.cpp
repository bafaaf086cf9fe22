// Agent sessions from Claude Code and Codex logs: the hour window, the 90 s working rule, the waiting rule
// from the log's tail, project names, the cap of eight and the publication.
#include "fakes/FakeClock.h"
#include "fakes/LogFixtures.h"
#include "services/AgentSessionScanner.h"
#include "services/AgentsService.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <optional>

namespace {

const QByteArray kUser =
    R"({"type":"user","timestamp":"2026-01-01T11:00:00Z","message":{"role":"user","content":"oi"}})";
const QByteArray kAssistant =
    R"({"type":"assistant","timestamp":"2026-01-01T11:00:01Z","message":{"role":"assistant","content":[{"type":"text","text":"pronto"}]}})";
const QByteArray kSummary = R"({"type":"summary","summary":"x","leafUuid":"u"})";
const QByteArray kSystem = R"({"type":"system","content":"compacted"})";

} // namespace

class tst_AgentsService : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    FakeClock m_clock;
    QDateTime now() const { return m_clock.now(); }
    QString claude(const QString& folder, const QString& file) const {
        return m_home.path() + "/.claude/projects/" + folder + "/" + file;
    }
    QString codex(const QString& rel) const { return m_home.path() + "/.codex/sessions/" + rel; }

private slots:
    void init() {
        QDir(m_home.path() + "/.claude").removeRecursively();
        QDir(m_home.path() + "/.codex").removeRecursively();
    }

    void claudeStates_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("ageSeconds");
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("minutes");
        QTest::newRow("30 s is working whatever the tail") << kUser + "\n" << qint64(30) << "working" << 0;
        QTest::newRow("89 s still working") << kAssistant + "\n" << qint64(89) << "working" << 1;
        QTest::newRow("90 s with assistant waits") << kAssistant + "\n"
                                                   << qint64(90) << "waiting on you" << 1;
        QTest::newRow("5 min assistant") << kUser + "\n" + kAssistant + "\n"
                                         << qint64(300) << "waiting on you" << 5;
        QTest::newRow("5 min user") << kAssistant + "\n" + kUser + "\n" << qint64(300) << "paused" << 5;
        QTest::newRow("other types after assistant")
            << kUser + "\n" + kAssistant + "\n" + kSummary + "\n" + kSystem + "\n"
            << qint64(300) << "waiting on you" << 5;
        QTest::newRow("no typed line") << kSummary + "\n{broken\n" << qint64(300) << "paused" << 5;
        QTest::newRow("empty log") << QByteArray() << qint64(300) << "paused" << 5;
        QTest::newRow("3599 s") << kAssistant + "\n" << qint64(3599) << "waiting on you" << 59;
        QTest::newRow("future by 30 s") << kUser + "\n" << qint64(-30) << "working" << 0;
        QTest::newRow("future by 5 min") << kUser + "\n" << qint64(-300) << "working" << -5;
        // Tails of more than 16 KiB: only the last 16384 bytes count.
        QTest::newRow("assistant line just inside the tail")
            << kAssistant + "\n" + (kSummary + "\n").repeated(16000 / (kSummary.size() + 1)) << qint64(300)
            << "waiting on you" << 5;
        QTest::newRow("last typed line longer than the tail")
            << kUser + "\n" + kAssistant.left(kAssistant.size() - 2) + ",\"pad\":\"" +
                   QByteArray(17000, 'p') + "\"}}\n"
            << qint64(300) << "paused" << 5;
        // A tail that starts inside a two-byte character still decodes.
        const QByteArray chars =
            QByteArray("{\"type\":\"user\",\"t\":\"") + QByteArray("\xC3\xA7").repeated(9000);
        QByteArray cut = chars + "\"}\n" + kAssistant + "\n";
        // One more byte after the characters when needed, so that the tail starts on a character's second
        // byte.
        if ((quint8(cut[cut.size() - 16384]) & 0xC0) != 0x80)
            cut = chars + " \"}\n" + kAssistant + "\n";
        QVERIFY((quint8(cut[cut.size() - 16384]) & 0xC0) == 0x80);
        QTest::newRow("tail cut inside a character") << cut << qint64(300) << "waiting on you" << 5;
        // A byte that is not UTF-8 hides its own line only.
        QTest::newRow("bad byte in a later line")
            << kUser + "\n" + kAssistant + "\n" + "{\"type\":\"system\",\"content\":\"ol\xe1\"}\n"
            << qint64(300) << "waiting on you" << 5;
        QTest::newRow("bad byte in the last typed line")
            << kAssistant + "\n" + "{\"type\":\"user\",\"message\":{\"content\":\"n\xe3o\"}}\n"
            << qint64(300) << "waiting on you" << 5;
    }

    void claudeStates() {
        QFETCH(QByteArray, content);
        QFETCH(qint64, ageSeconds);
        QFETCH(QString, state);
        QFETCH(int, minutes);
        const QString path = claude("-home-zuz-projetos-my-app", "s.jsonl");
        QVERIFY(LogFixtures::write(path, content, now().addSecs(-ageSeconds)));
        const QList<AgentSession> sessions = AgentSessionScanner::claudeSessions(m_home.path(), now());
        QCOMPARE(sessions.size(), 1);
        QCOMPARE(sessions[0].id, path);
        QCOMPARE(sessions[0].tool, QString("Claude"));
        QCOMPARE(sessions[0].project, QString("my-app"));
        QCOMPARE(sessions[0].state, state);
        QCOMPARE(sessions[0].minutesAgo, minutes);
    }

    void hourWindow() {
        QVERIFY(LogFixtures::write(claude("-a", "old.jsonl"), kAssistant + "\n", now().addSecs(-3600)));
        QVERIFY(LogFixtures::write(codex("2026/01/01/old.jsonl"), "{}\n", now().addSecs(-3600)));
        QVERIFY(LogFixtures::write(claude("-a", "new.jsonl"), kAssistant + "\n", now().addSecs(-3599)));
        const QList<AgentSession> sessions =
            AgentSessionScanner::scan(ClaudeFolders(m_home.path()), m_home.path(), now());
        QCOMPARE(sessions.size(), 1);
        QVERIFY(sessions[0].id.endsWith("new.jsonl"));
    }

    void claudeProjects_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("project");
        QTest::newRow("after projetos") << "-Users-zuz-Documents-projetos-my-app"
                                        << "my-app";
        QTest::newRow("first projetos") << "-a-projetos-b-projetos-c"
                                        << "b-projetos-c";
        QTest::newRow("last piece") << "-Users-zuz-work-api"
                                    << "api";
        QTest::newRow("trailing dashes") << "-home-zuz-api--"
                                         << "api";
        QTest::newRow("only a dash") << "-"
                                     << "-";
        QTest::newRow("case matters") << "-home-Projetos-x"
                                      << "x";
    }

    void claudeProjects() {
        QFETCH(QString, folder);
        QFETCH(QString, project);
        QCOMPARE(AgentSessionScanner::claudeProject(folder), project);
    }

    // Only logs directly inside a project folder count; a plain file among the folders is passed over.
    void claudeLayout() {
        QVERIFY(LogFixtures::write(m_home.path() + "/.claude/projects/stray.jsonl", kUser + "\n", now()));
        QVERIFY(LogFixtures::write(claude("-p", "deep/inner.jsonl"), kUser + "\n", now()));
        QVERIFY(LogFixtures::write(claude("-p", "notes.txt"), kUser + "\n", now()));
        QVERIFY(LogFixtures::write(claude("-p", "ok.jsonl"), kUser + "\n", now()));
        const QList<AgentSession> sessions = AgentSessionScanner::claudeSessions(m_home.path(), now());
        QCOMPARE(sessions.size(), 1);
        QVERIFY(sessions[0].id.endsWith("/-p/ok.jsonl"));
    }

    void codexSessions_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("ageSeconds");
        QTest::addColumn<QString>("project");
        QTest::addColumn<QString>("state");
        const QByteArray meta =
            R"({"timestamp":"2026-01-01T11:53:16.120Z","type":"session_meta","payload":{"id":"019a","cwd":"/home/zuz/code/shop","originator":"codex_cli_rs"}})";
        QTest::newRow("cwd") << meta + "\n"
                             << qint64(10) << "shop"
                             << "working";
        QTest::newRow("never waiting") << meta + "\n" + kAssistant + "\n"
                                       << qint64(600) << "shop"
                                       << "paused";
        QTest::newRow("trailing slash") << QByteArray(R"({"cwd":"/srv/app/"})") << qint64(10) << "app"
                                        << "working";
        QTest::newRow("no cwd") << QByteArray(R"({"type":"session_meta"})") << qint64(10) << "sessão"
                                << "working";
        QTest::newRow("cwd past 8192 bytes")
            << QByteArray(R"({"pad":")") + QByteArray(8200, 'x') + "\"}\n" + meta << qint64(10) << "sessão"
            << "working";
        QTest::newRow("cwd with spaces")
            << QByteArray(R"({"cwd":"/home/zuz/my shop"})") << qint64(10) << "my shop"
            << "working";
        QTest::newRow("bad byte in a later line")
            << meta + "\n" + "{\"type\":\"response_item\",\"text\":\"ol\xe1\"}\n"
            << qint64(10) << "shop"
            << "working";
        QTest::newRow("bad byte before the cwd line") << QByteArray("{\"x\":\"\xff\"}\n") + meta + "\n"
                                                      << qint64(10) << "shop"
                                                      << "working";
        QTest::newRow("empty file") << QByteArray() << qint64(10) << "sessão"
                                    << "working";
    }

    void codexSessions() {
        QFETCH(QByteArray, content);
        QFETCH(qint64, ageSeconds);
        QFETCH(QString, project);
        QFETCH(QString, state);
        QVERIFY(LogFixtures::write(codex("2026/01/01/rollout-x.jsonl"), content, now().addSecs(-ageSeconds)));
        const QList<AgentSession> sessions = AgentSessionScanner::codexSessions(m_home.path(), now());
        QCOMPARE(sessions.size(), 1);
        QCOMPARE(sessions[0].tool, QString("Codex"));
        QCOMPARE(sessions[0].project, project);
        QCOMPARE(sessions[0].state, state);
    }

    // Twelve sessions: the eight most recent, Claude before Codex at equal minutes.
    void capAndOrder() {
        for (int i = 0; i < 6; ++i) {
            QVERIFY(LogFixtures::write(claude("-c" + QString::number(i), "s.jsonl"), kUser + "\n",
                                       now().addSecs(-(60 * (i + 2) + 5))));
            QVERIFY(LogFixtures::write(codex(QString("d%1/s.jsonl").arg(i)), "{}\n",
                                       now().addSecs(-(60 * (i + 2)))));
        }
        const QList<AgentSession> sessions =
            AgentSessionScanner::scan(ClaudeFolders(m_home.path()), m_home.path(), now());
        QCOMPARE(sessions.size(), 8);
        QStringList order;
        for (const AgentSession& s : sessions)
            order << s.tool + QString::number(s.minutesAgo);
        QCOMPARE(order, (QStringList{"Claude2", "Codex2", "Claude3", "Codex3", "Claude4", "Codex4", "Claude5",
                                     "Codex5"}));
    }

    void serviceNeitherRootPresent() {
        AgentsService service(m_clock, m_home.path(), ClaudeFolders(m_home.path()));
        service.setSessions({AgentSession{"/x", "Claude", "x", "waiting on you", 1}});
        QVERIFY(service.anyWaiting());
        QSignalSpy finished(&service, &AgentsService::scanFinished);
        service.refresh();
        QVERIFY(finished.wait(5000));
        QVERIFY(service.sessions().isEmpty());
        QVERIFY(!service.anyWaiting());
    }

    // Calls during a scan are folded into one more scan, which sees the latest logs.
    void overlappingRefreshesEndWithTheLatestView() {
        AgentsService service(m_clock, m_home.path(), ClaudeFolders(m_home.path()));
        QSignalSpy finished(&service, &AgentsService::scanFinished);
        service.refresh();
        QVERIFY(service.isScanning());
        QVERIFY(LogFixtures::write(claude("-w", "s.jsonl"), kAssistant + "\n", now().addSecs(-120)));
        service.refresh();
        service.refresh();
        QTRY_VERIFY(!service.isScanning() && finished.count() >= 1);
        QTRY_COMPARE(finished.count(), 2);
        // No third scan: none runs or waits to be applied.
        QVERIFY(service.waitForScan(30000));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 2);
        QCOMPARE(service.sessions().size(), 1);
        QVERIFY(service.anyWaiting());
    }

    // A scan that ends after its service is gone changes nothing, not even a service made afterwards in
    // the same memory (where a result aimed at the old address would land).
    void destroyedServiceDropsItsScan() {
        QVERIFY(LogFixtures::write(claude("-late", "s.jsonl"), kAssistant + "\n", now().addSecs(-120)));
        std::optional<AgentsService> service;
        service.emplace(m_clock, m_home.path(), ClaudeFolders(m_home.path()));
        service->refresh();
        service.reset();
        service.emplace(m_clock, m_home.path(), ClaudeFolders(m_home.path()));
        QSignalSpy finished(&*service, &AgentsService::scanFinished);
        QSignalSpy changed(&*service, &AgentsService::sessionsChanged);
        // The scan has ended and posted its result; delivering every posted event applies it if anything
        // does.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(changed.count(), 0);
        QVERIFY(service->sessions().isEmpty());
        QVERIFY(!service->isScanning());
        // The newcomer's own scan still works and finds the log.
        service->refresh();
        QVERIFY(finished.wait(10000));
        QCOMPARE(service->sessions().size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_AgentsService)
#include "tst_AgentsService.moc"
