// The desktop entry that `make install` writes, launched the way desktops launch entries (GLib's `gio
// launch`): it starts the install folder's program, or, when an update was cut short and left only
// "X.old", that copy. Folder names with spaces, quotes, dollars and percent signs survive the quoting.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class tst_DesktopEntry : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString ranFile() const { return m_dir.filePath("ran.txt"); }
    // A program that notes the path it was started as.
    bool makeProgram(const QString& folder) const {
        const QString p = folder + "/bin/quillbay";
        QDir().mkpath(folder + "/bin");
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("#!/bin/sh\nprintf '%s\\n' \"$0\" > '" + ranFile().toUtf8() + "'\n");
        f.close();
        return f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    static QByteArray readFile(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("gio").isEmpty())
            QSKIP("gio (libglib2.0-bin) is not installed");
    }

    void launches_data() {
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<bool>("onlyOld");
        QTest::newRow("plain") << "Quillbay" << false;
        QTest::newRow("plain, only .old") << "Quillbay" << true;
        QTest::newRow("awkward name") << "My Apps $HOME \"q\" 100% `x`\\Quillbay" << false;
        QTest::newRow("awkward name, only .old") << "My Apps $HOME \"q\" 100% `x`\\Quillbay" << true;
    }
    void launches() {
        QFETCH(QString, folderName);
        QFETCH(bool, onlyOld);
        const QString folder = m_dir.filePath(folderName);
        QDir(folder).removeRecursively();
        QDir(folder + ".old").removeRecursively();
        QFile::remove(ranFile());
        QVERIFY(makeProgram(onlyOld ? folder + ".old" : folder));
        const QString entry = m_dir.filePath("quillbay.desktop");
        QCOMPARE(QProcess::execute(QUILLBAY_SOURCE_DIR "/scripts/desktop-entry", {folder, entry}), 0);
        QProcess gio;
        gio.start("gio", {"launch", entry});
        QVERIFY(gio.waitForFinished(30000));
        QCOMPARE(gio.exitCode(), 0);
        const QByteArray expected = ((onlyOld ? folder + ".old" : folder) + "/bin/quillbay\n").toUtf8();
        QVERIFY2(QTest::qWaitFor([&] { return readFile(ranFile()) == expected; }, 20000),
                 readFile(ranFile()).constData());
    }

    // The entry names its icon, and the icon of the install folder is put in the user's hicolor theme,
    // where desktops look a named icon up.
    void namesAnIconFoundInTheTheme() {
        const QString folder = m_dir.filePath("WithIcon");
        QVERIFY(makeProgram(folder));
        const QString apps = folder + "/share/icons/hicolor/scalable/apps";
        QVERIFY(QDir().mkpath(apps));
        QVERIFY(QFile::copy(QUILLBAY_SOURCE_DIR "/src/resources/app/quillbay.svg", apps + "/quillbay.svg"));
        const QString theme = m_dir.filePath("icons/hicolor");
        const QString entry = m_dir.filePath("with-icon.desktop");
        QCOMPARE(QProcess::execute(QUILLBAY_SOURCE_DIR "/scripts/desktop-entry", {folder, entry, theme}), 0);
        QVERIFY(readFile(entry).split('\n').contains("Icon=quillbay"));
        const QByteArray icon = readFile(theme + "/scalable/apps/quillbay.svg");
        QVERIFY(icon.startsWith("<svg"));
        QCOMPARE(icon, readFile(apps + "/quillbay.svg"));

        // A folder without its icon is refused before any entry is written.
        const QString bare = m_dir.filePath("NoIcon");
        QVERIFY(makeProgram(bare));
        const QString none = m_dir.filePath("none.desktop");
        QVERIFY(QProcess::execute(QUILLBAY_SOURCE_DIR "/scripts/desktop-entry", {bare, none, theme}) != 0);
        QVERIFY(!QFile::exists(none));
    }
};

QTEST_GUILESS_MAIN(tst_DesktopEntry)
#include "tst_DesktopEntry.moc"
