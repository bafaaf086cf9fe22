// Other tools' logs that are not files: a FIFO, a device or a folder, directly or behind a link, is
// skipped without any open waiting for a writer, and the AI refresh and the agents list still complete.
#include "fakes/FakeClock.h"
#include "fakes/LogFixtures.h"
#include "platform/RegularFile.h"
#include "services/AIUsageService.h"
#include "services/AgentsService.h"
#include "services/ClaudeFolders.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kAssistant =
    R"({"type":"assistant","timestamp":"2026-01-01T11:00:01Z","message":{"role":"assistant","content":[{"type":"text","text":"pronto"}]}})";
const QByteArray kCodexLine = R"({"type":"session_meta","payload":{"cwd":"/home/u/projetos/loja"}})";

} // namespace

class tst_LogFifos : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QStringList m_fifos;

    QString home(const QString& rel) const { return m_home->path() + "/" + rel; }
    QString fifo(const QString& name) { return fifoAt(home("pipes/" + name)); }
    QString fifoAt(const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            return {};
        m_fifos << path;
        return path;
    }
    static bool link(const QString& target, const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        return QFile::link(target, path);
    }

private slots:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        m_fifos.clear();
    }
    void cleanup() {
        // A reader that did block on one of them is let go, so a failing test ends instead of hanging.
        for (const QString& path : m_fifos) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
        }
    }

    void openOnlyRegularFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("opens");
        QTest::newRow("regular file") << "file" << true;
        QTest::newRow("link to a regular file") << "link-file" << true;
        QTest::newRow("link to a link to a regular file") << "link-link-file" << true;
        QTest::newRow("FIFO") << "fifo" << false;
        QTest::newRow("link to a FIFO") << "link-fifo" << false;
        QTest::newRow("link to a character device") << "link-device" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("link to a folder") << "link-folder" << false;
        QTest::newRow("dangling link") << "dangling" << false;
        QTest::newRow("missing") << "missing" << false;
    }
    void openOnlyRegularFiles() {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        const QString path = home("log.jsonl");
        const QString file = home("real.jsonl");
        QVERIFY(LogFixtures::write(file, "line\n", QDateTime::currentDateTimeUtc()));
        if (kind == "file")
            QVERIFY(LogFixtures::write(path, "line\n", QDateTime::currentDateTimeUtc()));
        else if (kind == "link-file")
            QVERIFY(link(file, path));
        else if (kind == "link-link-file")
            QVERIFY(link(file, home("middle")) && link(home("middle"), path));
        else if (kind == "fifo")
            QVERIFY(!fifoAt(path).isEmpty());
        else if (kind == "link-fifo")
            QVERIFY(link(fifo("p"), path));
        else if (kind == "link-device")
            QVERIFY(link("/dev/null", path));
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "link-folder")
            QVERIFY(QDir().mkpath(home("dir")) && link(home("dir"), path));
        else if (kind == "dangling")
            QVERIFY(link(home("nowhere"), path));

        QCOMPARE(RegularFile::isRegular(path), opens);
        QFile f;
        QCOMPARE(RegularFile::open(f, path), opens);
        QCOMPARE(f.isOpen(), opens);
        if (opens)
            QCOMPARE(f.readAll(), QByteArray("line\n"));
    }

    // Logs behind links to FIFOs in both tools' folders, beside real ones: the scan ends and lists the
    // real sessions only.
    void agentsListSkipsLinksToFifos() {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        FakeClock clock(now);
        const QString claudeLog = home(".claude/projects/-home-u-projetos-loja/real.jsonl");
        const QString codexLog = home(".codex/sessions/2026/12/10/real.jsonl");
        QVERIFY(LogFixtures::write(claudeLog, kAssistant + "\n", now.addSecs(-120)));
        QVERIFY(LogFixtures::write(codexLog, kCodexLine + "\n", now.addSecs(-120)));
        QVERIFY(link(fifo("claude"), home(".claude/projects/-home-u-projetos-loja/pipe.jsonl")));
        QVERIFY(link(fifo("codex"), home(".codex/sessions/2026/12/10/pipe.jsonl")));

        AgentsService agents(clock, m_home->path(), ClaudeFolders(m_home->path()));
        QSignalSpy finished(&agents, &AgentsService::scanFinished);
        agents.refresh();
        QVERIFY(finished.wait(10000));
        QStringList paths;
        for (const AgentSession& s : agents.sessions())
            paths << s.id;
        paths.sort();
        QCOMPARE(paths, (QStringList{claudeLog, codexLog}));
    }

    // The usage readers walk the same folders, and Claude's credentials may be such a link too.
    void usageRefreshCompletesPastLinksToFifos() {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        FakeClock clock(now);
        QVERIFY(
            LogFixtures::write(home(".claude/projects/-p/real.jsonl"), kAssistant + "\n", now.addSecs(-60)));
        QVERIFY(link(fifo("claude"), home(".claude/projects/-p/pipe.jsonl")));
        QVERIFY(link(fifo("codex"), home(".codex/sessions/2026/12/10/pipe.jsonl")));
        QVERIFY(link(fifo("credentials"), home(".claude/.credentials.json")));
        QVERIFY(link(fifo("antigravity"), home(".config/Antigravity/User/globalStorage/state.vscdb")));

        const ClaudeFolders claude(m_home->path());
        AIUsageService usage(clock,
                             AIUsageReaders::standard(m_home->path(), claude, home(".config"), nullptr));
        usage.refresh(true);
        QVERIFY(usage.isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(!usage.isLoading(), 10000);
    }
};

QTEST_GUILESS_MAIN(tst_LogFifos)
#include "tst_LogFifos.moc"
