// Claude Code's folders on Linux: which ones are looked in (the current one under the configuration
// folder, the older one in home, or those the variable names), and the estimate, the agent sessions and
// the credential read from every one that exists, a log reached twice through a link counted once.
#include "fakes/FakeSecretStore.h"
#include "fakes/LogFixtures.h"
#include "fakes/TestChecks.h"
#include "services/AgentSessionScanner.h"
#include "services/ClaudeFolders.h"
#include "services/ClaudeLocalEstimate.h"
#include "services/ClaudeUsageReader.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QDateTime kNow(QDate(2026, 1, 2), QTime(12, 0), Qt::UTC);

// One reply of 1000 counted tokens, in the shape Claude Code writes, with its own ids.
QByteArray reply(const QByteArray& id, qint64 minutesAgo = 10) {
    return R"({"parentUuid":"p","isSidechain":false,"userType":"external","cwd":"/home/zuz/projetos/app","sessionId":"s","version":"2.0.50","message":{"model":"claude-sonnet-4-5-20250929","id":"msg_)" +
           id +
           R"(","type":"message","role":"assistant","content":[{"type":"text","text":"ok"}],"usage":{"input_tokens":10,"cache_creation_input_tokens":500,"cache_read_input_tokens":9000,"output_tokens":490}},"requestId":"req_)" +
           id + R"(","type":"assistant","uuid":"u","timestamp":")" +
           kNow.addSecs(-60 * minutesAgo).toString(Qt::ISODateWithMs).toUtf8() + "\"}\n";
}

QString expand(QString text, const QString& home) {
    return text.replace(QLatin1String("$H"), home);
}

} // namespace

class tst_ClaudeFolders : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString home() const { return m_home.path(); }

    void clean() {
        for (const QString& name :
             QDir(home()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            const QString path = home() + "/" + name;
            if (QFileInfo(path).isSymLink() || QFileInfo(path).isFile())
                QFile::remove(path);
            else
                QDir(path).removeRecursively();
        }
    }

    // Writes each "path" (one reply) and makes each "link=target" link, both relative to home.
    [[nodiscard]] bool lay(const QStringList& files, const QStringList& links) {
        return TestSupport::passes([&] {
            int n = 0;
            for (const QString& file : files)
                QVERIFY(LogFixtures::write(home() + "/" + file, reply(QByteArray::number(++n)),
                                           kNow.addSecs(-120)));
            for (const QString& pair : links) {
                const QStringList parts = pair.split('=');
                QVERIFY(QDir().mkpath(QFileInfo(home() + "/" + parts[0]).path()));
                QVERIFY(QFile::link(home() + "/" + parts[1], home() + "/" + parts[0]));
            }
        });
    }

private slots:
    void init() { clean(); }

    void candidates_data() {
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QStringList>("expected");
        const QStringList defaults{"$H/.config/claude", "$H/.claude"};
        QTest::newRow("defaults") << ""
                                  << "" << defaults;
        QTest::newRow("XDG_CONFIG_HOME") << "/xdg"
                                         << "" << QStringList{"/xdg/claude", "$H/.claude"};
        QTest::newRow("relative XDG_CONFIG_HOME is ignored") << "xdg"
                                                             << "" << defaults;
        QTest::newRow("one folder replaces both") << "/xdg"
                                                  << "/c1" << QStringList{"/c1"};
        QTest::newRow("several, spaces and empty parts")
            << ""
            << " /c1 ,,/c2/ , /c3" << QStringList{"/c1", "/c2", "/c3"};
        QTest::newRow("relative parts are dropped") << ""
                                                    << "rel,/c2" << QStringList{"/c2"};
        QTest::newRow("naming no folder keeps the defaults") << ""
                                                             << " , rel" << defaults;
    }

    void candidates() {
        QFETCH(QString, configHome);
        QFETCH(QString, variable);
        QFETCH(QStringList, expected);
        for (QString& e : expected)
            e = expand(e, "/home/zuz");
        QCOMPARE(ClaudeFolders("/home/zuz", configHome, variable).candidates(), expected);
    }

    // Every layout a user may have: the estimate's week sum (1000 tokens a reply), or absent; and the
    // number of agent sessions.
    void everyFolder_data() {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QString>("week"); // empty: Claude absent
        QTest::addColumn<int>("sessions");
        QTest::newRow("current folder only")
            << "" << QStringList{".config/claude/projects/-home-zuz-projetos-app/a.jsonl"} << QStringList()
            << "≈ 1k tokens" << 1;
        QTest::newRow("older folder only")
            << "" << QStringList{".claude/projects/-home-zuz-projetos-app/a.jsonl"} << QStringList()
            << "≈ 1k tokens" << 1;
        QTest::newRow("both folders add up")
            << ""
            << QStringList{".config/claude/projects/-p/a.jsonl", ".claude/projects/-p/b.jsonl",
                           ".claude/projects/-q/deeper/c.jsonl"}
            << QStringList() << "≈ 3k tokens" << 2; // sessions are one level deep only
        QTest::newRow("older folder a link to the current one")
            << "" << QStringList{".config/claude/projects/-p/a.jsonl"}
            << QStringList{".claude=.config/claude"} << "≈ 1k tokens" << 1;
        QTest::newRow("projects folder shared through a link")
            << "" << QStringList{".config/claude/projects/-p/a.jsonl"}
            << QStringList{".claude/projects=.config/claude/projects"} << "≈ 1k tokens" << 1;
        QTest::newRow("a log linked into another project")
            << "" << QStringList{".claude/projects/-p/a.jsonl"}
            << QStringList{".config/claude/projects/-q/a.jsonl=.claude/projects/-p/a.jsonl"} << "≈ 1k tokens"
            << 1;
        QTest::newRow("folders without projects")
            << "" << QStringList{".config/claude/x.json", ".claude/y.json"} << QStringList() << "" << 0;
        QTest::newRow("nothing at all") << "" << QStringList() << QStringList() << "" << 0;
        QTest::newRow("variable with two folders")
            << "$H/c1,$H/c2" << QStringList{"c1/projects/-p/a.jsonl", "c2/projects/-p/b.jsonl"}
            << QStringList() << "≈ 2k tokens" << 2;
        QTest::newRow("variable replaces the defaults")
            << "$H/c1" << QStringList{".claude/projects/-p/a.jsonl", ".config/claude/projects/-p/b.jsonl"}
            << QStringList() << "" << 0;
        QTest::newRow("variable naming one folder twice")
            << "$H/c1,$H/c1/,$H/c2" << QStringList{"c1/projects/-p/a.jsonl"} << QStringList{"c2=c1"}
            << "≈ 1k tokens" << 1;
    }

    void everyFolder() {
        QFETCH(QString, variable);
        QFETCH(QStringList, files);
        QFETCH(QStringList, links);
        QFETCH(QString, week);
        QFETCH(int, sessions);
        QVERIFY(lay(files, links));
        const ClaudeFolders folders(home(), home() + "/.config", expand(variable, home()));
        ClaudeLocalEstimate estimate(folders);
        const std::optional<AIProviderUsage> card = estimate.read(kNow);
        QCOMPARE(bool(card), !week.isEmpty());
        if (card)
            QCOMPARE(card->metrics.value(1).detail, week);
        QCOMPARE(AgentSessionScanner::claudeSessions(folders, kNow).size(), sessions);
    }

    // A resumed session repeats earlier replies in its new log: they count once over all logs.
    void replyRepeatedInAnotherLogCountsOnce() {
        QVERIFY(LogFixtures::write(home() + "/.config/claude/projects/-p/first.jsonl",
                                   reply("A") + reply("B"), kNow.addSecs(-300)));
        QVERIFY(LogFixtures::write(home() + "/.claude/projects/-p/resumed.jsonl",
                                   reply("A") + reply("B") + reply("C"), kNow.addSecs(-60)));
        ClaudeLocalEstimate estimate{ClaudeFolders(home())};
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 3k tokens"));
        // And again from the cache.
        QCOMPARE(estimate.read(kNow)->metrics.value(1).detail, QString("≈ 3k tokens"));
    }

    // The credential is read beside the logs in every folder; the longest-lived usable token wins, and
    // the keyring is asked only when no folder has the file.
    void credentialInEveryFolder_data() {
        QTest::addColumn<QStringList>("files"); // "relative path=expiresAt", or "folder/" alone
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("token"); // empty: none
        QTest::addColumn<bool>("keyringAsked");
        const QString later = QString::number(kNow.addDays(2).toMSecsSinceEpoch());
        const QString soon = QString::number(kNow.addSecs(600).toMSecsSinceEpoch());
        const QString past = QString::number(kNow.addSecs(-60).toMSecsSinceEpoch());
        QTest::newRow("current folder") << QStringList{".config/claude=" + later} << ""
                                        << "current" << false;
        QTest::newRow("older folder") << QStringList{".claude=" + later} << ""
                                      << "older" << false;
        QTest::newRow("expired current, valid older")
            << QStringList{".config/claude=" + past, ".claude=" + soon} << ""
            << "older" << false;
        QTest::newRow("both valid: the longer one")
            << QStringList{".config/claude=" + soon, ".claude=" + later} << ""
            << "older" << false;
        QTest::newRow("only expired files keep the keyring out") << QStringList{".claude=" + past} << ""
                                                                 << "" << false;
        QTest::newRow("variable's folder") << QStringList{"c1=" + later, ".claude=" + later} << "$H/c1"
                                           << "c1" << false;
        QTest::newRow("no file in Claude Code's folder") << QStringList{".claude/"} << ""
                                                         << "" << true;
        QTest::newRow("no file in the variable's folder") << QStringList{"c1/"} << "$H/c1"
                                                          << "" << true;
        // No Claude Code on this machine: nothing to look for in the keyring either.
        QTest::newRow("no folder at all") << QStringList() << ""
                                          << "" << false;
    }

    void credentialInEveryFolder() {
        QFETCH(QStringList, files);
        QFETCH(QString, variable);
        QFETCH(QString, token);
        QFETCH(bool, keyringAsked);
        for (const QString& f : files) {
            if (f.endsWith('/')) {
                QVERIFY(QDir().mkpath(home() + "/" + f));
                continue;
            }
            const QStringList parts = f.split('=');
            const QString name = parts[0] == ".config/claude" ? "current"
                                 : parts[0] == ".claude"      ? "older"
                                                              : parts[0];
            QVERIFY(LogFixtures::write(home() + "/" + parts[0] + "/.credentials.json",
                                       R"({"claudeAiOauth":{"accessToken":")" + name.toUtf8() +
                                           R"(","expiresAt":)" + parts[1].toUtf8() + "}}",
                                       kNow));
        }
        FakeSecretStore keyring;
        const ClaudeFolders folders(home(), QString(), expand(variable, home()));
        const ClaudeUsageReader reader(folders, ClaudeUsageReader::defaultBase(), &keyring);
        std::atomic_bool stop{false};
        const auto credential = reader.credential(kNow, stop);
        QCOMPARE(credential ? credential->accessToken : QString(), token);
        QCOMPARE(!keyring.questions().isEmpty(), keyringAsked);
    }
};

QTEST_GUILESS_MAIN(tst_ClaudeFolders)
#include "tst_ClaudeFolders.moc"
