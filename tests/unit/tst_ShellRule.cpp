// Which shell command lines run under, with which arguments, and the environment a child is given.
#include "services/Shell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdlib>

namespace {

qsizetype entriesNamed(const QByteArrayList& env, const QByteArray& name) {
    return std::count_if(env.cbegin(), env.cend(),
                         [&](const QByteArray& e) { return e.startsWith(name + '='); });
}

} // namespace

class tst_ShellRule : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // A name in the fixture folder, made as `kind` says: "exec" an executable file, "plain" a file without
    // the execute bit, "folder" a folder, "link" a link to an executable file, "none" nothing at all.
    QString make(const QString& name, const QString& kind) {
        const QString path = m_dir.filePath(name);
        if (kind == "exec" || kind == "plain") {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly))
                return {};
            f.write("#!/bin/sh\n");
            f.setPermissions(kind == "exec" ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                            : QFile::ReadOwner | QFile::WriteOwner);
        } else if (kind == "folder") {
            QDir().mkpath(path);
        } else if (kind == "link") {
            const QString target = make(name + ".target", "exec");
            QFile::link(target, path);
        }
        return path;
    }

private slots:
    void pickShell_data() {
        QTest::addColumn<QString>("zsh");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("expected"); // zsh, login, variable or /bin/sh
        QTest::newRow("zsh where present") << "exec"
                                           << "exec"
                                           << "exec"
                                           << "zsh";
        QTest::newRow("zsh behind a link") << "link"
                                           << "exec"
                                           << "exec"
                                           << "zsh";
        QTest::newRow("no zsh: the login shell") << "none"
                                                 << "exec"
                                                 << "exec"
                                                 << "login";
        QTest::newRow("zsh not executable") << "plain"
                                            << "exec"
                                            << "none"
                                            << "login";
        QTest::newRow("zsh is a folder") << "folder"
                                         << "exec"
                                         << "none"
                                         << "login";
        QTest::newRow("login shell gone: $SHELL") << "none"
                                                  << "none"
                                                  << "exec"
                                                  << "variable";
        QTest::newRow("login shell not executable: $SHELL") << "none"
                                                            << "plain"
                                                            << "exec"
                                                            << "variable";
        QTest::newRow("nothing usable") << "none"
                                        << "none"
                                        << "none"
                                        << "/bin/sh";
        QTest::newRow("only folders and plain files") << "folder"
                                                      << "plain"
                                                      << "folder"
                                                      << "/bin/sh";
        QTest::newRow("relative $SHELL is not trusted") << "none"
                                                        << "none"
                                                        << "relative"
                                                        << "/bin/sh";
        QTest::newRow("empty entries") << "empty"
                                       << "empty"
                                       << "empty"
                                       << "/bin/sh";
        QTest::newRow("an account without a login shell") << "none"
                                                          << "nologin"
                                                          << "exec"
                                                          << "variable";
        QTest::newRow("$SHELL set to false") << "none"
                                             << "none"
                                             << "false"
                                             << "/bin/sh";
    }
    void pickShell() {
        QFETCH(QString, zsh);
        QFETCH(QString, login);
        QFETCH(QString, variable);
        QFETCH(QString, expected);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_').replace('$', 'S');
        auto candidate = [&](const QString& role, const QString& kind) -> QString {
            if (kind == "empty")
                return {};
            if (kind == "relative")
                return QStringLiteral("sh");
            if (kind == "nologin" || kind == "false") {
                // Executable, under the name an account without a shell has.
                const QString folder = m_dir.filePath(tag + "-" + role);
                QDir().mkpath(folder);
                const QString path = folder + "/" + kind;
                QFile f(path);
                if (!f.open(QIODevice::WriteOnly))
                    return {};
                f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
                return path;
            }
            const QString path = make(tag + "-" + role, kind);
            return path;
        };
        const QString z = candidate("zsh", zsh), l = candidate("login", login),
                      v = candidate("var", variable);
        const QString picked = Shell::pickShell(z, l, v);
        const QString want = expected == "zsh"        ? z
                             : expected == "login"    ? l
                             : expected == "variable" ? v
                                                      : expected;
        QCOMPARE(picked, want);
    }

    void shellArguments_data() {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<bool>("login");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("zsh service") << "/bin/zsh" << true << QStringList{"-lc", "cmd"};
        QTest::newRow("zsh query") << "/bin/zsh" << false << QStringList{"-c", "cmd"};
        QTest::newRow("bash service") << "/usr/bin/bash" << true << QStringList{"-lc", "cmd"};
        QTest::newRow("sh service") << "/bin/sh" << true << QStringList{"-lc", "cmd"};
        QTest::newRow("fish service") << "/usr/local/bin/fish" << true << QStringList{"-lc", "cmd"};
        // csh takes "-l" only alone.
        QTest::newRow("tcsh service") << "/bin/tcsh" << true << QStringList{"-c", "cmd"};
        QTest::newRow("unknown shell") << "/opt/x/nush" << true << QStringList{"-c", "cmd"};
        QTest::newRow("a name that only ends like one") << "/opt/notzsh" << true << QStringList{"-c", "cmd"};
    }
    void shellArguments() {
        QFETCH(QString, shell);
        QFETCH(bool, login);
        QFETCH(QStringList, expected);
        QCOMPARE(Shell::shellArguments(shell, "cmd", login), expected);
    }

    void childEnvironment_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("latin-1 byte") << QByteArray("caf\xe9");
        QTest::newRow("bytes no encoding has") << QByteArray("\xff\xfe\x80 x");
        QTest::newRow("utf-8") << QByteArray("ação");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("an equals sign inside") << QByteArray("a=b=c");
    }
    void childEnvironment() {
        QFETCH(QByteArray, value);
        QVERIFY(::setenv("QUILLBAY_TEST_BYTES", value.constData(), 1) == 0);
        QVERIFY(::setenv("QUILLBAY_TEST_REPLACED", "old", 1) == 0);
        ::unsetenv("QUILLBAY_TEST_ADDED");
        const QByteArrayList env = Shell::childEnvironment(
            {{"QUILLBAY_TEST_REPLACED", "new\xff"}, {"QUILLBAY_TEST_ADDED", "added"}});
        QCOMPARE(env.count("QUILLBAY_TEST_BYTES=" + value), 1);
        // Replaced once, not added beside the inherited entry; a missing one is added.
        QCOMPARE(entriesNamed(env, "QUILLBAY_TEST_REPLACED"), 1);
        QVERIFY(env.contains("QUILLBAY_TEST_REPLACED=new\xff"));
        QVERIFY(env.contains("QUILLBAY_TEST_ADDED=added"));
        // A name that only begins like a replaced one stays.
        QVERIFY(::setenv("QUILLBAY_TEST_REPLACED_TOO", "kept", 1) == 0);
        QVERIFY(Shell::childEnvironment({{"QUILLBAY_TEST_REPLACED", "x"}})
                    .contains("QUILLBAY_TEST_REPLACED_TOO=kept"));
        ::unsetenv("QUILLBAY_TEST_REPLACED_TOO");
    }

    void commandLinesGetTheSearchPath() {
        QVERIFY(::setenv("PATH", "/inherited/bin", 1) == 0);
        const QByteArrayList env = Shell::childEnvironment();
        QCOMPARE(entriesNamed(env, "PATH"), 1);
        QVERIFY(env.contains("PATH=" + Shell::path().toUtf8()));
    }
};

QTEST_GUILESS_MAIN(tst_ShellRule)
#include "tst_ShellRule.moc"
