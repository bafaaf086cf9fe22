// The search path and the short-command runner: output, failures, time-outs that end the whole group.
#include "fakes/EnvironmentBytes.h"
#include "fakes/TestSupport.h"
#include "platform/CancelSignal.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "services/Shell.h"

#include <QScopeGuard>
#include <QtTest>

#include <unistd.h>

#include <cmath>
#include <thread>
#include <vector>

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QStringList kFixed{"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin",     "/bin",
                         "/usr/sbin",         "/sbin",          "@/.local/bin", "@/.bun/bin",
                         "@/.cargo/bin",      "@/.pyenv/shims"};

QString fixedFor(const QString& home) {
    return kFixed.join(':').replace("@", home);
}

// Processes of group `pgid` that still run. A zombie that is not ours is dead and waits for init.
// The pid a job wrote to `path`; 0 when there is none.
int pidIn(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
}

QList<int> groupMembers(int pgid) {
    QList<int> alive;
    const QStringList pids = QDir("/proc").entryList(QDir::Dirs);
    for (const QString& name : pids) {
        bool isPid = false;
        const int pid = name.toInt(&isPid);
        if (!isPid)
            continue;
        QFile f("/proc/" + name + "/stat");
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        // Fields after the command name, which is in parentheses and may hold spaces.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 3 || fields[2].toInt() != pgid)
            continue;
        if (fields[0] == "Z" && fields[1].toInt() != int(::getpid()))
            continue;
        alive << pid;
    }
    return alive;
}

} // namespace

class tst_Shell : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }

    // Runs first: the path is fixed on first use.
    void pathIsFixedForTheProcess() {
        const QString nvm = m_home->path() + "/.nvm/versions/node";
        QVERIFY(QDir().mkpath(nvm + "/v20.11.1"));
        const QString first = Shell::path();
        QCOMPARE(first, nvm + "/v20.11.1/bin:" + fixedFor(m_home->path()));
        QVERIFY(QDir().mkpath(nvm + "/v22.0.0"));
        QCOMPARE(Shell::path(), first);
    }

    void pathFor_data() {
        QTest::addColumn<QStringList>("entries"); // nullptr entry: no nvm folder at all
        QTest::addColumn<QString>("newest");
        QTest::newRow("no nvm folder") << QStringList{"-"} << "";
        QTest::newRow("empty nvm folder") << QStringList{} << "";
        QTest::newRow("numeric order") << QStringList{"v18.20.4", "v20.11.1", "v9.0.0"} << "v20.11.1";
        QTest::newRow("patch digits") << QStringList{"v20.9.0", "v20.10.0", "v20.1.99"} << "v20.10.0";
        QTest::newRow("any entry counts") << QStringList{"v8.0.0", "zz-not-a-version"} << "zz-not-a-version";
    }
    void pathFor() {
        QFETCH(QStringList, entries);
        QFETCH(QString, newest);
        QTemporaryDir home;
        const QString nvm = home.path() + "/.nvm/versions/node";
        if (entries != QStringList{"-"})
            QVERIFY(QDir().mkpath(nvm));
        for (const QString& e : entries) {
            if (e != "-")
                QVERIFY(QDir().mkpath(nvm + "/" + e));
        }
        const QString expected =
            (newest.isEmpty() ? QString() : nvm + "/" + newest + "/bin:") + fixedFor(home.path());
        QCOMPARE(Shell::pathFor(home.path()), expected);
        QCOMPARE(Shell::pathFor(home.path() + "/"), expected);
    }

    void naturalCompare_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("v9 < v10") << "v9"
                                  << "v10" << -1;
        QTest::newRow("9.0.0 < 18.20.4") << "v9.0.0"
                                         << "v18.20.4" << -1;
        QTest::newRow("18.20.4 < 20.11.1") << "v18.20.4"
                                           << "v20.11.1" << -1;
        QTest::newRow("equal") << "v20.11.1"
                               << "v20.11.1" << 0;
        QTest::newRow("empty") << ""
                               << "" << 0;
        QTest::newRow("empty first") << ""
                                     << "a" << -1;
        QTest::newRow("prefix shorter") << "v1"
                                        << "v1.0" << -1;
        QTest::newRow("number then text") << "a2"
                                          << "a10b" << -1;
        QTest::newRow("text vs digit") << "a"
                                       << "1" << 1;
        QTest::newRow("beyond 64 bits") << "x123456789012345678901234567890"
                                        << "x99999999999999999999" << 1;
        QTest::newRow("same number, leading zero") << "v01"
                                                   << "v1" << 1;
        QTest::newRow("zero run") << "v0"
                                  << "v00" << -1;
        QTest::newRow("no case folding") << "B"
                                         << "a" << -1;
        QTest::newRow("no locale") << "é"
                                   << "f" << 1;
    }
    void naturalCompare() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, sign);
        const auto sgn = [](int v) { return (v > 0) - (v < 0); };
        QCOMPARE(sgn(Shell::naturalCompare(a, b)), sign);
        QCOMPARE(sgn(Shell::naturalCompare(b, a)), -sign);
    }

    void output_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<std::optional<QString>>("expected");
        using R = std::optional<QString>;
        QTest::newRow("exit status ignored") << "printf x; exit 3" << R("x");
        QTest::newRow("newline kept") << "echo x; false" << R("x\n");
        QTest::newRow("stderr only") << "echo err >&2" << R("");
        QTest::newRow("200 KB on stderr") << "head -c 200000 /dev/zero >&2; echo ok" << R("ok\n");
        QTest::newRow("1 MB on stdout")
            << "head -c 1000000 /dev/zero | tr '\\0' a" << R(QString(1000000, 'a'));
        QTest::newRow("utf-8") << "printf '\\303\\247\\303\\243o \\360\\237\\230\\200'" << R("ção 😀");
        QTest::newRow("invalid byte") << "printf 'ok\\377'" << R();
        QTest::newRow("cut-off sequence") << "printf 'ok\\303'" << R();
        QTest::newRow("stdin is empty") << "cat" << R("");
        QTest::newRow("stdin is /dev/null") << "readlink /proc/self/fd/0" << R("/dev/null\n");
        QTest::newRow("stderr is /dev/null") << "readlink /proc/self/fd/2" << R("/dev/null\n");
        QTest::newRow("PATH") << "printf %s \"$PATH\"" << R(Shell::path());
        QTest::newRow("environment inherited") << "printf %s \"$TST_SHELL_MARK\"" << R("mark value");
        // A background job that keeps the pipe open must not hold up the result.
        QTest::newRow("background job") << "sleep 3 & echo done" << R("done\n");
        QTest::newRow("nul in command") << QString("echo a") + QChar(0) + "b" << R();
    }
    void output() {
        QFETCH(QString, command);
        QFETCH(std::optional<QString>, expected);
        qputenv("TST_SHELL_MARK", "mark value");
        const std::optional<QString> result = Shell::run(m_launcher, command, 2.0);
        QCOMPARE(result.has_value(), expected.has_value());
        if (expected)
            QCOMPARE(result->size(), expected->size());
        QCOMPARE(result, expected);
    }

    void childLeadsItsOwnGroup() {
        const auto result = Shell::run(m_launcher, "cut -d' ' -f5 /proc/self/stat; echo $$", 2.0);
        QVERIFY(result);
        const QStringList ids = result->split('\n', Qt::SkipEmptyParts);
        QCOMPARE(ids.size(), 2);
        QCOMPARE(ids[0], ids[1]);
        QVERIFY(ids[0].toInt() != int(::getpgrp()));
    }

    void timeoutEndsTheWholeGroup_data() {
        QTest::addColumn<QString>("job");
        QTest::newRow("children") << "sleep 30 & sleep 30";
        QTest::newRow("children ignoring SIGTERM") << "trap \"\" TERM; sleep 30 & sleep 30";
    }
    void timeoutEndsTheWholeGroup() {
        QFETCH(QString, job);
        QTemporaryDir dir;
        const QString pidFile = dir.path() + "/pid";
        const QString command = "echo $$ > " + Shell::quote(pidFile) + "; sh -c " + Shell::quote(job);
        const double timeout = 0.5;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Shell::run(m_launcher, command, timeout), std::nullopt);
        const qint64 elapsed = timer.elapsed();
        // It gives up no earlier than asked (slowness cannot fail this; how far past is in bench_Shell).
        QVERIFY2(elapsed >= 500, qPrintable(QString::number(elapsed)));
        // It returns without waiting out the kill's grace period: the group's leader is reaped only after
        // the SIGKILL that ends the grace, so it is still there now (a zombie, or alive ignoring SIGTERM).
        const bool leaderStillThere = QFileInfo::exists("/proc/" + QString::number(pidIn(pidFile)));

        const int pgid = pidIn(pidFile);
        QVERIFY(pgid > 1);
        QVERIFY(leaderStillThere);
        // ...and then the whole group goes.
        QTRY_VERIFY_WITH_TIMEOUT(groupMembers(pgid).isEmpty(), 5000);
        QVERIFY(!QFileInfo::exists("/proc/" + QString::number(pgid))); // the leader is reaped
    }

    void cancelEndsTheWholeGroup_data() {
        QTest::addColumn<QString>("job");
        QTest::newRow("one command") << "sleep 30";
        QTest::newRow("children") << "sleep 30 & sleep 30";
        QTest::newRow("children ignoring SIGTERM") << "trap \"\" TERM; sleep 30 & sleep 30";
    }
    void cancelEndsTheWholeGroup() {
        QFETCH(QString, job);
        QTemporaryDir dir;
        const QString pidFile = dir.path() + "/pid";
        const QString command = "echo $$ > " + Shell::quote(pidFile) + "; sh -c " + Shell::quote(job);
        CancelSignal cancel;
        std::optional<QString> result = QString("not returned");
        std::thread runner([&] { result = Shell::run(m_launcher, command, 60.0, &cancel); });
        const auto joined = qScopeGuard([&] {
            cancel.raise();
            if (runner.joinable())
                runner.join();
        });
        QVERIFY(TestSupport::pollUntil([&] { return QFileInfo(pidFile).size() > 0; }, 10000));
        QFile f(pidFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const int pgid = f.readAll().trimmed().toInt();
        QVERIFY(pgid > 1);
        QTRY_VERIFY_WITH_TIMEOUT(!groupMembers(pgid).isEmpty(), 10000);

        cancel.raise();
        runner.join();
        QCOMPARE(result, std::nullopt);
        // Ended before the call returned: the leader is collected, and the SIGKILL has reached the rest.
        QVERIFY(!QFileInfo::exists("/proc/" + QString::number(pgid)));
        QTRY_VERIFY_WITH_TIMEOUT(groupMembers(pgid).isEmpty(), 2000);
    }

    void cancelledBeforeStartRunsNothing() {
        QTemporaryDir dir;
        const QString marker = dir.path() + "/ran";
        CancelSignal cancel;
        cancel.raise();
        QCOMPARE(Shell::run(m_launcher, "touch " + Shell::quote(marker), 5.0, &cancel), std::nullopt);
        QVERIFY(!QFileInfo::exists(marker));
    }

    // The child sees this process's environment byte for byte, PATH aside: the kernel's copy of what it
    // was started with is read back.
    void environmentKeepsItsBytes_data() { EnvironmentBytes::addValueRows(); }
    void environmentKeepsItsBytes() {
        QFETCH(QByteArray, value);
        QVERIFY(::setenv("QUILLBAY_TEST_BYTES", value.constData(), 1) == 0);
        const auto unset = qScopeGuard([] { ::unsetenv("QUILLBAY_TEST_BYTES"); });
        const std::optional<QString> hex = Shell::run(m_launcher, EnvironmentBytes::kDumpCommand, 5.0);
        QVERIFY(hex);
        const QList<QByteArray> entries = EnvironmentBytes::entries(hex->toLatin1());
        QVERIFY2(entries.contains("QUILLBAY_TEST_BYTES=" + value), hex->toLatin1().constData());
        QVERIFY(entries.contains("PATH=" + Shell::path().toUtf8()));
    }

    void nothingWithoutTime_data() {
        QTest::addColumn<double>("timeout");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -1.0;
        QTest::newRow("nan") << std::nan("");
    }
    void nothingWithoutTime() {
        QFETCH(double, timeout);
        QCOMPARE(Shell::run(m_launcher, "printf x", timeout), std::nullopt);
    }

    void launchFailure_data() {
        QTest::addColumn<QString>("shell");
        QTest::newRow("missing") << "/nonexistent/zsh";
        QTest::newRow("not executable") << "not-executable";
        QTest::newRow("empty") << "";
    }
    void launchFailure() {
        QFETCH(QString, shell);
        QTemporaryDir dir;
        if (shell == "not-executable") {
            shell = dir.path() + "/sh";
            QFile f(shell);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\necho x\n");
        }
        QCOMPARE(Shell::run(m_launcher, shell, "echo x", 2.0), std::nullopt);
    }

    void quoteRoundTrip_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("spaces") << "  two  spaces ";
        QTest::newRow("single quotes") << "it's '' '";
        QTest::newRow("double quotes") << "say \"hi\"";
        QTest::newRow("expansions") << "$HOME `id` $(id) ${x:-y} !! ~";
        QTest::newRow("newlines") << "line 1\nline 2\n";
        QTest::newRow("glob and escapes") << "*?[a] \\n \\ ; & | < >";
        QTest::newRow("option-like") << "-n";
        QTest::newRow("unicode") << "ção 😀";
    }
    void quoteRoundTrip() {
        QFETCH(QString, text);
        for (const QString shell : {"/bin/sh", "/bin/zsh"})
            QCOMPARE(Shell::run(m_launcher, shell, "printf %s " + Shell::quote(text), 2.0),
                     std::optional<QString>(text));
    }

    void parallelRunsAreIndependent() {
        constexpr int kRuns = 8;
        std::vector<std::optional<QString>> results(kRuns);
        std::vector<std::thread> threads;
        for (int i = 0; i < kRuns; ++i) {
            threads.emplace_back([this, &results, i] {
                // One of them times out while the others finish.
                const QString command =
                    i == 3 ? "sleep 5" : QString("head -c 100000 /dev/zero >&2; sleep 0.1; printf %1").arg(i);
                results[i] = Shell::run(m_launcher, command, i == 3 ? 0.3 : 5.0);
            });
        }
        for (auto& t : threads)
            t.join();
        for (int i = 0; i < kRuns; ++i)
            QCOMPARE(results[i], i == 3 ? std::nullopt : std::optional<QString>(QString::number(i)));
    }

private:
    PosixServiceLauncher m_launcher;
    std::unique_ptr<QTemporaryDir> m_home;
};

QTEST_GUILESS_MAIN(tst_Shell)
#include "tst_Shell.moc"
