// Private folders: the folders value, take-over of the earlier product's folders, private writes, setting
// aside.
#include "fakes/ReadOnlyFolder.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"

#include <QtTest>

#include <QtConcurrent>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace {

int modeOf(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

[[nodiscard]] bool makeFile(const QString& path, const QByteArray& content, int mode) {
    return TestSupport::passes([&] {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
    });
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

enum class Kind {
    Regular,
    Fifo,
    Folder,
    LinkInside,
    LinkOutside,
    DanglingLink,
    TooLarge,
    Device,
    LinkToFolder,
    LinkToFifo,
    LinkChain,
    LinkReadOnly,
};

// Lays `kind` out at `path`; false (with a reason in `why`) when this machine cannot make it.
bool lay(Kind kind, const QString& path, const QString& outside, QString* why) {
    const QByteArray native = QFile::encodeName(path);
    QDir().mkpath(QFileInfo(path).path());
    switch (kind) {
    case Kind::Regular:
        return makeFile(path, "[1]", 0600);
    case Kind::Fifo:
        return ::mkfifo(native.constData(), 0600) == 0;
    case Kind::Folder:
        return QDir().mkpath(path);
    case Kind::LinkInside:
        if (!makeFile(path + ".real", "[1]", 0600))
            return false; // failed, not refused
        return QFile::link(path + ".real", path);
    case Kind::LinkOutside:
        if (!makeFile(outside + "/elsewhere.json", "[1]", 0600))
            return false; // failed, not refused
        return QFile::link(outside + "/elsewhere.json", path);
    case Kind::DanglingLink:
        return QFile::link(outside + "/nothing-here.json", path);
    case Kind::TooLarge: {
        if (!makeFile(path, "[1]", 0600))
            return false; // failed, not refused
        // Sparse: the size is there without the bytes being written.
        return ::truncate(native.constData(), AppPaths::kMaxStoreBytes + 1) == 0;
    }
    case Kind::Device:
        if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 5)) != 0) { // the same as /dev/zero
            *why = QStringLiteral("device nodes need privileges here");
            return false;
        }
        return true;
    case Kind::LinkToFolder:
        return QDir().mkpath(outside + "/a-folder") && QFile::link(outside + "/a-folder", path);
    case Kind::LinkToFifo:
        return ::mkfifo(QFile::encodeName(outside + "/a-fifo").constData(), 0600) == 0 &&
               QFile::link(outside + "/a-fifo", path);
    case Kind::LinkChain:
        // A dotfile manager's link to a link into the user's repository.
        if (!makeFile(outside + "/repo/elsewhere.json", "[1]", 0600))
            return false; // failed, not refused
        return QFile::link(outside + "/repo/elsewhere.json", outside + "/elsewhere.json") &&
               QFile::link(outside + "/elsewhere.json", path);
    case Kind::LinkReadOnly:
        if (!makeFile(outside + "/ro/elsewhere.json", "[1]", 0400))
            return false; // failed, not refused
        return QFile::link(outside + "/ro/elsewhere.json", path);
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_AppPaths : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        m_folders = AppPaths::Folders::underHome(m_home->path());
    }

    // The folders from an environment: "@" is the home. An XDG variable that is empty or relative is
    // ignored; trailing and doubled slashes do not reach the names.
    void folderNames_data() {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("dataHome"); // "-": unset
        QTest::addColumn<QString>("stateHome");
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QStringList>("expected");
        const QStringList defaults{
            "@/.local/share/Quillbay",          "@/.local/state/Quillbay/logs",     "@/.config/Quillbay",
            "@/.config/Quillbay/defaults.json", "@/.config/Vestrand/defaults.json", "@/.local/share/Vestrand",
            "@/.local/state/Vestrand/logs"};
        const QStringList set{"/x/d/Quillbay",
                              "/x/s/Quillbay/logs",
                              "/x/c/Quillbay",
                              "/x/c/Quillbay/defaults.json",
                              "/x/c/Vestrand/defaults.json",
                              "/x/d/Vestrand",
                              "/x/s/Vestrand/logs"};
        QTest::newRow("variables set") << "@"
                                       << "/x/d"
                                       << "/x/s"
                                       << "/x/c" << set;
        QTest::newRow("unset") << "@"
                               << "-"
                               << "-"
                               << "-" << defaults;
        QTest::newRow("empty") << "@"
                               << ""
                               << ""
                               << "" << defaults;
        QTest::newRow("relative ignored") << "@"
                                          << "rel/d"
                                          << "./s"
                                          << "c" << defaults;
        QTest::newRow("trailing slashes") << "@/"
                                          << "/x/d/"
                                          << "/x/s//"
                                          << "/x/c/." << set;
        QTest::newRow("doubled slashes") << "@"
                                         << "//x//d"
                                         << "/x/./s"
                                         << "/x/q/../c" << set;
        QTest::newRow("home with trailing slash") << "@//"
                                                  << "-"
                                                  << "-"
                                                  << "-" << defaults;
    }
    void folderNames() {
        QFETCH(QString, home);
        QFETCH(QString, dataHome);
        QFETCH(QString, stateHome);
        QFETCH(QString, configHome);
        QFETCH(QStringList, expected);
        const QString homePath = m_home->path();
        QProcessEnvironment env;
        env.insert("HOME", QString(home).replace("@", homePath));
        const std::pair<const char*, QString> vars[] = {
            {"XDG_DATA_HOME", dataHome}, {"XDG_STATE_HOME", stateHome}, {"XDG_CONFIG_HOME", configHome}};
        for (const auto& [name, value] : vars) {
            if (value != "-")
                env.insert(name, value);
        }
        const AppPaths::Folders folders = AppPaths::Folders::fromEnvironment(env);
        const QStringList names{folders.supportDir(),
                                folders.logsDir(),
                                folders.configDir(),
                                folders.defaultsFile("com.farrowlight.quillbay"),
                                folders.defaultsFile("com.farrowlight.vestrand"),
                                folders.earlierSupportDir(),
                                folders.earlierLogsDir()};
        QStringList want;
        for (const QString& e : expected)
            want << QString(e).replace("@", homePath);
        QCOMPARE(names, want);
        QCOMPARE(folders.configHome(), QFileInfo(want[2]).path());
    }

    // Without a usable HOME the account's own home folder is used, never a folder relative to wherever
    // the program was started.
    void homeThatIsNotAbsolute_data() {
        QTest::addColumn<QString>("home"); // "-": unset
        QTest::newRow("unset") << "-";
        QTest::newRow("empty") << "";
        QTest::newRow("relative") << "some/where";
    }
    void homeThatIsNotAbsolute() {
        QFETCH(QString, home);
        QProcessEnvironment env;
        if (home != "-")
            env.insert("HOME", home);
        const AppPaths::Folders folders = AppPaths::Folders::fromEnvironment(env);
        QVERIFY2(QDir::isAbsolutePath(folders.supportDir()), qPrintable(folders.supportDir()));
        QVERIFY2(QDir::isAbsolutePath(folders.logsDir()), qPrintable(folders.logsDir()));
        QVERIFY2(QDir::isAbsolutePath(folders.configDir()), qPrintable(folders.configDir()));
        QVERIFY(!folders.supportDir().contains("some/where"));
    }

    // Naming the folders touches nothing on disk; each value answers from what it was made of, however
    // many others the process makes and whatever the environment says afterwards.
    void valuesShareNothing() {
        QTemporaryDir a;
        QTemporaryDir b;
        const AppPaths::Folders first = AppPaths::Folders::underHome(a.path());
        QProcessEnvironment env;
        env.insert("HOME", b.path());
        env.insert("XDG_DATA_HOME", b.path() + "/data");
        const AppPaths::Folders second = AppPaths::Folders::fromEnvironment(env);
        const QByteArray previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (b.path() + "/elsewhere").toUtf8());
        const AppPaths::Folders third =
            AppPaths::Folders::fromEnvironment(QProcessEnvironment::systemEnvironment());
        qputenv("XDG_DATA_HOME", previous);

        QCOMPARE(first.supportDir(), a.path() + "/.local/share/Quillbay");
        QCOMPARE(first.configDir(), a.path() + "/.config/Quillbay");
        QCOMPARE(second.supportDir(), b.path() + "/data/Quillbay");
        QCOMPARE(second.logsDir(), b.path() + "/.local/state/Quillbay/logs");
        QCOMPARE(third.supportDir(), b.path() + "/elsewhere/Quillbay");
        QVERIFY(first != second);
        const AppPaths::Folders copy = first;
        QVERIFY(copy == first);
        QCOMPARE(entries(a.path()), QStringList());
        QCOMPARE(entries(b.path()), QStringList());
    }

    // The start-up step: the earlier product's folders are taken over, with owner-only modes.
    void startTakesOverTheEarlierFolders() {
        QTemporaryDir dir;
        const QString home = dir.path();
        const AppPaths::Folders folders = AppPaths::Folders::underHome(home);
        QVERIFY(makeFile(home + "/.local/share/Vestrand/clipboard.json", "old data", 0644));
        QVERIFY(makeFile(home + "/.local/state/Vestrand/logs/a.log", "log", 0644));

        AppPaths::prepareFolders(folders);

        const QStringList expected{home + "/.local/share/Quillbay", home + "/.local/state/Quillbay/logs",
                                   home + "/.config/Quillbay"};
        QCOMPARE((QStringList{folders.supportDir(), folders.logsDir(), folders.configDir()}), expected);
        QCOMPARE(contentOf(expected[0] + "/clipboard.json"), QByteArray("old data"));
        QCOMPARE(modeOf(expected[0]), 0700);
        QCOMPARE(modeOf(expected[0] + "/clipboard.json"), 0600);
        QCOMPARE(modeOf(expected[1] + "/a.log"), 0600);
        QCOMPARE(modeOf(home + "/.local/state/Quillbay"), 0700);
        QVERIFY(!QFileInfo::exists(home + "/.local/share/Vestrand"));
        QVERIFY(!QFileInfo::exists(home + "/.local/state/Vestrand/logs"));
        QVERIFY(!QFileInfo::exists(expected[2])); // the settings folder is made by the first save
    }

    // A second start (or a second run in one start) moves nothing over what the first took over, even
    // when the earlier product has left a new folder meanwhile, and loses nothing.
    void takeOverTwiceIsHarmless() {
        QTemporaryDir dir;
        const QString home = dir.path();
        const AppPaths::Folders folders = AppPaths::Folders::underHome(home);
        QVERIFY(makeFile(home + "/.local/share/Vestrand/shelf.json", "first", 0644));
        AppPaths::prepareFolders(folders);
        QVERIFY(makeFile(folders.supportDir() + "/commands.json", "mine", 0600));
        QVERIFY(makeFile(folders.supportDir() + "/sub/kept.json", "sub", 0644));
        QVERIFY(makeFile(home + "/.local/share/Vestrand/shelf.json", "second", 0644));
        const QStringList before = entries(folders.supportDir());

        AppPaths::prepareFolders(folders);
        AppPaths::prepareFolders(folders);

        QCOMPARE(entries(folders.supportDir()), before);
        QCOMPARE(contentOf(folders.supportDir() + "/shelf.json"), QByteArray("first"));
        QCOMPARE(contentOf(folders.supportDir() + "/commands.json"), QByteArray("mine"));
        QCOMPARE(modeOf(folders.supportDir() + "/sub/kept.json"), 0644);
        QCOMPARE(contentOf(home + "/.local/share/Vestrand/shelf.json"), QByteArray("second"));
        QCOMPARE(modeOf(home + "/.local/share/Vestrand/shelf.json"), 0644);
        QCOMPARE(modeOf(folders.supportDir()), 0700);
        QCOMPARE(modeOf(folders.logsDir()), 0700);
    }

    // A home that is a symbolic link (a home moved to another disk): the folders are named through the
    // link, taken over behind it, and written and set aside where they really are; the link stays.
    void linkedHome() {
        QTemporaryDir dir;
        const QString real = dir.path() + "/disk/me";
        const QString link = dir.path() + "/home-me";
        QVERIFY(QDir().mkpath(real));
        QVERIFY(QFile::link(real, link));
        QVERIFY(makeFile(real + "/.local/share/Vestrand/news-feeds.json", "[]", 0644));
        const AppPaths::Folders folders = AppPaths::Folders::underHome(link);
        QCOMPARE(folders.supportDir(), link + "/.local/share/Quillbay");

        AppPaths::prepareFolders(folders);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(modeOf(real + "/.local/share/Quillbay"), 0700);
        QCOMPARE(modeOf(real + "/.local/share/Quillbay/news-feeds.json"), 0600);
        QVERIFY(!QFileInfo::exists(real + "/.local/share/Vestrand"));

        // An existing folder of ours is locked down through the link as well.
        QVERIFY(QDir().mkpath(folders.supportDir() + "/sub"));
        QCOMPARE(::chmod(QFile::encodeName(folders.supportDir() + "/sub").constData(), 0755), 0);
        QVERIFY(AppPaths::writePrivate("x", folders.supportDir() + "/sub/f.json"));
        QCOMPARE(modeOf(real + "/.local/share/Quillbay/sub"), 0700);
        QCOMPARE(contentOf(real + "/.local/share/Quillbay/sub/f.json"), QByteArray("x"));

        // A store that cannot be decoded is set aside beside itself, behind the link.
        QVERIFY(makeFile(folders.supportDir() + "/clipboard.json", "{not json", 0600));
        const TestSupport::LogCapture capture;
        bool saves = false;
        QVERIFY(!AppPaths::loadStore(
            folders.supportDir() + "/clipboard.json", [](const QByteArray&) { return std::optional<int>(); },
            &saves));
        QVERIFY(saves);
        const QStringList aside = entries(real + "/.local/share/Quillbay").filter("clipboard.json.corrupt-");
        QCOMPARE(aside.size(), 1);
        QCOMPARE(contentOf(real + "/.local/share/Quillbay/" + aside.first()), QByteArray("{not json"));
        QCOMPARE(capture.lines(), QStringList());
    }

    void defaultsFileOfOddDomains_data() {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("folder");
        QTest::newRow("no dots") << "thing"
                                 << "Thing";
        QTest::newRow("capital kept") << "org.example.fooBar"
                                      << "FooBar";
        QTest::newRow("trailing dot") << "com.example."
                                      << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("slash") << "com.example/../../x"
                               << "";
        QTest::newRow("dot dot") << "com.."
                                 << "";
    }
    void defaultsFileOfOddDomains() {
        QFETCH(QString, domain);
        QFETCH(QString, folder);
        const QString expected =
            folder.isEmpty() ? QString() : m_home->path() + "/.config/" + folder + "/defaults.json";
        QCOMPARE(m_folders->defaultsFile(domain), expected);
    }

    void migration_data() {
        QTest::addColumn<bool>("oldExists");
        QTest::addColumn<bool>("newExists");
        QTest::addColumn<QString>("newName"); // a missing parent must not stop the take-over
        QTest::newRow("old only") << true << false << "Quillbay";
        QTest::newRow("old only, parent missing") << true << false << "Quillbay/logs";
        QTest::newRow("both") << true << true << "Quillbay";
        QTest::newRow("neither") << false << false << "Quillbay";
    }
    void migration() {
        QFETCH(bool, oldExists);
        QFETCH(bool, newExists);
        QFETCH(QString, newName);
        QTemporaryDir base;
        const QString oldDir = base.path() + "/Vestrand";
        const QString newDir = base.path() + "/" + newName;
        const QString outside = base.path() + "/outside.txt";
        QVERIFY(makeFile(outside, "x", 0644));
        if (oldExists) {
            QVERIFY(makeFile(oldDir + "/a.json", "A", 0644));
            QVERIFY(makeFile(oldDir + "/.hidden", "H", 0644));
            QVERIFY(makeFile(oldDir + "/sub/inner.json", "I", 0644));
            QVERIFY(QFile::link(outside, oldDir + "/link"));
        }
        if (newExists)
            QVERIFY(makeFile(newDir + "/mine.json", "M", 0644));

        QCOMPARE(AppPaths::migrated(newDir, oldDir), newDir);

        QCOMPARE(modeOf(newDir), 0700);
        QCOMPARE(modeOf(outside), 0644);
        if (oldExists && !newExists) {
            QVERIFY(!QFileInfo::exists(oldDir));
            QCOMPARE(entries(newDir), (QStringList{".hidden", "a.json", "link", "sub"}));
            QCOMPARE(contentOf(newDir + "/a.json"), QByteArray("A"));
            QCOMPARE(modeOf(newDir + "/a.json"), 0600);
            QCOMPARE(modeOf(newDir + "/.hidden"), 0600);
            QCOMPARE(modeOf(newDir + "/sub/inner.json"), 0644);
        } else if (oldExists) {
            QCOMPARE(entries(oldDir), (QStringList{".hidden", "a.json", "link", "sub"}));
            QCOMPARE(modeOf(oldDir + "/a.json"), 0644);
            QCOMPARE(entries(newDir), QStringList{"mine.json"});
            QCOMPARE(modeOf(newDir + "/mine.json"), 0600);
        } else {
            QVERIFY(entries(newDir).isEmpty());
        }
    }

    void migrationThatCannotCreateStillNamesTheFolder() {
        QTemporaryDir base;
        QVERIFY(makeFile(base.path() + "/file", "f", 0644));
        const QString newDir = base.path() + "/file/Quillbay";
        QCOMPARE(AppPaths::migrated(newDir, base.path() + "/file/Vestrand"), newDir);
        QCOMPARE(contentOf(base.path() + "/file"), QByteArray("f"));
    }

    void writeCreatesMissingFolders_data() {
        QTest::addColumn<bool>("inPrivateFolder");
        QTest::newRow("private") << true;
        QTest::newRow("elsewhere") << false;
    }
    void writeCreatesMissingFolders() {
        QFETCH(bool, inPrivateFolder);
        QTemporaryDir elsewhere;
        const QString root = inPrivateFolder ? m_folders->supportDir() : elsewhere.path();
        const QString path = root + "/deep/er/file.json";
        QString error = "stale";
        QVERIFY(AppPaths::writePrivate("{}", path, &error));
        QVERIFY(error.isEmpty());
        QCOMPARE(contentOf(path), QByteArray("{}"));
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(modeOf(root + "/deep"), 0700);
        QCOMPARE(modeOf(root + "/deep/er"), 0700);
        QCOMPARE(entries(root + "/deep/er"), QStringList{"file.json"});
    }

    // Our own folders are locked down; a folder the user owns keeps its mode.
    void existingParentMode_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("expectedMode");
        QTest::newRow("support subfolder") << "support/sub" << 0700;
        QTest::newRow("logs folder") << "logs" << 0700;
        QTest::newRow("config folder") << "config" << 0700;
        QTest::newRow("user folder") << "user/Pictures" << 0755;
        QTest::newRow("look-alike name") << "support-x" << 0755;
    }
    void existingParentMode() {
        QFETCH(QString, folder);
        QFETCH(int, expectedMode);
        QTemporaryDir user;
        const QString root = folder.section('/', 0, 0);
        const QString roots[][2] = {{"support", m_folders->supportDir()},
                                    {"support-x", m_folders->supportDir() + "-x"},
                                    {"logs", m_folders->logsDir()},
                                    {"config", m_folders->configDir()},
                                    {"user", user.path()}};
        for (const auto& [name, place] : roots) {
            if (name == root)
                folder = place + folder.mid(root.size());
        }
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        QVERIFY(AppPaths::writePrivate("x", folder + "/f"));
        QCOMPARE(modeOf(folder), expectedMode);
        QCOMPARE(modeOf(folder + "/f"), 0600);
    }

    void overwriteEndsPrivate_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("small") << 10;
        QTest::newRow("4 MB") << 4 * 1024 * 1024;
    }
    void overwriteEndsPrivate() {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.path() + "/store.json";
        QVERIFY(makeFile(path, "previous content", 0644));
        const QByteArray data(size, 'z');
        const mode_t previousUmask = ::umask(0); // a permissive umask must not widen the file
        const bool ok = AppPaths::writePrivate(data, path);
        ::umask(previousUmask);
        QVERIFY(ok);
        QCOMPARE(contentOf(path), data);
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(entries(dir.path()), QStringList{"store.json"});
    }

    void failedWriteLeavesNothing_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("parent is a file") << "blocker/store.json";
        QTest::newRow("grandparent is a file") << "blocker/a/store.json";
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("no file name") << "folder/";
    }
    void failedWriteLeavesNothing() {
        QFETCH(QString, target);
        QTemporaryDir dir;
        QVERIFY(makeFile(dir.path() + "/blocker", "keep", 0644));
        QVERIFY(QDir(dir.path()).mkpath("folder/inside"));
        const QStringList before = entries(dir.path());

        QString error;
        QVERIFY(!AppPaths::writePrivate("new", dir.path() + "/" + target, &error));
        QVERIFY2(error.contains(dir.path()), qPrintable(error));
        QCOMPARE(entries(dir.path()), before);
        QCOMPARE(entries(dir.path() + "/folder"), QStringList{"inside"});
        QCOMPARE(contentOf(dir.path() + "/blocker"), QByteArray("keep"));
        QCOMPARE(modeOf(dir.path() + "/blocker"), 0644);
    }

    void moveAsideKeepsEveryCopy() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/commands.json";
        const QDateTime when(QDate(2026, 12, 9), QTime(8, 5, 7));
        const QString stamped = path + ".corrupt-20261209-080507";
        const QStringList expected{stamped, stamped + "-2", stamped + "-3"};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(makeFile(path, QByteArray::number(i), 0600));
            QCOMPARE(AppPaths::moveAside(path, when), expected[i]);
            QVERIFY(!QFileInfo::exists(path));
        }
        for (int i = 0; i < 3; ++i)
            QCOMPARE(contentOf(expected[i]), QByteArray::number(i));

        QCOMPARE(AppPaths::moveAside(path), QString()); // nothing there: nothing created
        QCOMPARE(entries(dir.path()).size(), 3);
        QVERIFY(makeFile(path, "now", 0600));
        const QString moved = AppPaths::moveAside(path);
        QVERIFY2(QRegularExpression("\\.corrupt-\\d{8}-\\d{6}$").match(moved).hasMatch(), qPrintable(moved));
        QCOMPARE(contentOf(moved), QByteArray("now"));
    }

    // No store can hang the start or be read without bound. A link is followed wherever it leads, for
    // reading and for writing, and stays a link; what holds no regular file that may be written is
    // neither read nor replaced, and the session keeps its changes in memory; a plain file that cannot
    // be used is set aside.
    void storesThatAreNotPlainFiles_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("setAside");
        QTest::addColumn<QString>("holder"); // the file a save reaches, relative to the outside folder
        using S = AppPaths::StoreRead::Status;
        QTest::newRow("regular file") << Kind::Regular << int(S::Read) << false << "@store";
        QTest::newRow("FIFO") << Kind::Fifo << int(S::Refused) << false << "";
        QTest::newRow("character device") << Kind::Device << int(S::Refused) << false << "";
        QTest::newRow("folder") << Kind::Folder << int(S::Refused) << false << "";
        QTest::newRow("link to a file of ours") << Kind::LinkInside << int(S::Read) << false << "@store.real";
        QTest::newRow("link out of our folders")
            << Kind::LinkOutside << int(S::Read) << false << "elsewhere.json";
        QTest::newRow("link to a link") << Kind::LinkChain << int(S::Read) << false << "repo/elsewhere.json";
        QTest::newRow("dangling link") << Kind::DanglingLink << int(S::Refused) << false << "";
        QTest::newRow("link to a folder") << Kind::LinkToFolder << int(S::Refused) << false << "";
        QTest::newRow("link to a FIFO") << Kind::LinkToFifo << int(S::Refused) << false << "";
        QTest::newRow("link to a read-only file") << Kind::LinkReadOnly << int(S::Read) << false << "";
        QTest::newRow("over the size limit") << Kind::TooLarge << int(S::Unreadable) << true << "";
    }
    void storesThatAreNotPlainFiles() {
        QFETCH(Kind, kind);
        QFETCH(int, status);
        QFETCH(bool, setAside);
        QFETCH(QString, holder);
        QTemporaryDir outside;
        const QString folder = m_folders->supportDir() + "/stores-" + QString::number(int(kind));
        const QString path = folder + "/shelf.json";
        QString why;
        if (!lay(kind, path, outside.path(), &why))
            QSKIP(qPrintable(why.isEmpty() ? QStringLiteral("cannot lay the store out") : why));
        std::unique_ptr<ReadOnlyFolder> readOnly;
        if (kind == Kind::LinkReadOnly) {
            readOnly = std::make_unique<ReadOnlyFolder>(outside.path() + "/ro");
            if (!readOnly->works())
                QSKIP("no way to make a read-only folder here");
        }
        struct stat before;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &before), 0);
        const TestSupport::LogCapture capture;

        // On a worker, so that a read that blocks fails the test instead of hanging it.
        QFuture<AppPaths::StoreRead> read = QtConcurrent::run([path] { return AppPaths::readStore(path); });
        QTRY_VERIFY_WITH_TIMEOUT(read.isFinished(), 10000);
        QCOMPARE(int(read.result().status), status);
        if (status == int(AppPaths::StoreRead::Status::Read))
            QCOMPARE(read.result().data, QByteArray("[1]"));
        else
            QVERIFY(read.result().data.isEmpty());

        const auto decode = [](const QByteArray& data) -> std::optional<QByteArray> {
            return data == "[1]" ? std::optional<QByteArray>(data) : std::nullopt;
        };
        QFuture<std::optional<QByteArray>> loaded =
            QtConcurrent::run([path, decode] { return AppPaths::loadStore(path, decode); });
        QTRY_VERIFY_WITH_TIMEOUT(loaded.isFinished(), 10000);
        QCOMPARE(loaded.result().has_value(), status == int(AppPaths::StoreRead::Status::Read));
        const QStringList names = entries(folder);
        const bool movedAside = std::any_of(names.cbegin(), names.cend(),
                                            [](const QString& n) { return n.contains(".corrupt-"); });
        QCOMPARE(movedAside, setAside);
        // Whatever cannot take a save says so once, naming the file.
        const bool inMemory = holder.isEmpty() && !setAside;
        QCOMPARE(capture.lines().size(), inMemory ? 1 : 0);
        if (inMemory)
            QVERIFY2(capture.lines().first().startsWith("[Quillbay] " + path + " "),
                     qPrintable(capture.lines().first()));

        // A save goes where the store lives, or nowhere.
        QFuture<bool> saved =
            QtConcurrent::run([path] { return AppPaths::writePrivate(QByteArray("[2]"), path); });
        QTRY_VERIFY_WITH_TIMEOUT(saved.isFinished(), 10000);
        if (setAside)
            return; // the place is free again: the save makes a fresh file
        QCOMPARE(saved.result(), !holder.isEmpty());
        struct stat after;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
        if (kind != Kind::Regular) { // the link, FIFO or folder itself is never replaced
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(after.st_mode, before.st_mode);
        }
        if (!holder.isEmpty()) {
            const QString file =
                holder.startsWith('@') ? path + holder.mid(6) : outside.path() + '/' + holder;
            QCOMPARE(contentOf(file), QByteArray("[2]"));
            QCOMPARE(modeOf(file), 0600);
            QCOMPARE(entries(QFileInfo(file).path()).filter(".tmp-"), QStringList());
        } else if (kind == Kind::LinkReadOnly) {
            readOnly->release();
            QCOMPARE(contentOf(outside.path() + "/ro/elsewhere.json"), QByteArray("[1]"));
        } else if (kind == Kind::DanglingLink) {
            QVERIFY(!QFileInfo::exists(outside.path() + "/nothing-here.json")); // not created through it
        }
        if (kind == Kind::Regular || kind == Kind::LinkInside)
            QCOMPARE(capture.lines().size(), 0);
    }

    // A link to a file that cannot be decoded: that file is set aside where it lies, the link is kept
    // and, leading nowhere now, takes no save for the rest of the session.
    void undecodableLinkTargetIsSetAsideAndTheLinkKept() {
        QTemporaryDir outside;
        const QString path = m_folders->supportDir() + "/undecodable/clipboard.json";
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(makeFile(outside.path() + "/clipboard.json", "{not json", 0600));
        QVERIFY(QFile::link(outside.path() + "/clipboard.json", path));
        const TestSupport::LogCapture capture;

        const auto decoded =
            AppPaths::loadStore(path, [](const QByteArray&) { return std::optional<int>(); });
        QVERIFY(!decoded);
        QCOMPARE(QFileInfo(path).symLinkTarget(), outside.path() + "/clipboard.json");
        const QStringList aside = entries(outside.path()).filter(".corrupt-");
        QCOMPARE(aside.size(), 1);
        QCOMPARE(contentOf(outside.path() + '/' + aside.first()), QByteArray("{not json"));
        QCOMPARE(capture.lines().size(), 1);
        QVERIFY(!AppPaths::writePrivate("[]", path));
        QVERIFY(!QFileInfo::exists(outside.path() + "/clipboard.json"));
    }

    // What a save cut short by a kill left is removed when the store is next read, beside the path and
    // beside a link's file; look-alikes are not touched.
    void interruptedSavesAreRemovedAtTheNextRead() {
        QTemporaryDir outside;
        const QString folder = m_folders->supportDir() + "/interrupted";
        QVERIFY(makeFile(folder + "/clipboard.json", "[]", 0600));
        QVERIFY(makeFile(outside.path() + "/shelf.json", "[]", 0600));
        QVERIFY(QFile::link(outside.path() + "/shelf.json", folder + "/shelf.json"));
        const QStringList leftovers{folder + "/.clipboard.json.tmp-a1B2c3",
                                    folder + "/.shelf.json.tmp-zzzzzz",
                                    outside.path() + "/.shelf.json.tmp-Q9q9Q9"};
        const QStringList kept{folder + "/.clipboard.json.tmp-a1B2c3d", folder + "/clipboard.json.tmp-a1B2c3",
                               folder + "/.clipboard.json.tmp-", folder + "/.news-items.json.tmp-a1B2c3"};
        for (const QString& f : leftovers + kept)
            QVERIFY(makeFile(f, "partial", 0600));
        QVERIFY(QDir().mkpath(folder + "/.clipboard.json.tmp-folder")); // not a file of ours

        QCOMPARE(int(AppPaths::readStore(folder + "/clipboard.json").status),
                 int(AppPaths::StoreRead::Status::Read));
        QCOMPARE(int(AppPaths::readStore(folder + "/shelf.json").status),
                 int(AppPaths::StoreRead::Status::Read));
        for (const QString& f : leftovers)
            QVERIFY2(!QFileInfo::exists(f), qPrintable(f));
        for (const QString& f : kept)
            QCOMPARE(contentOf(f), QByteArray("partial"));
        QVERIFY(QFileInfo(folder + "/.clipboard.json.tmp-folder").isDir());
    }

    // A store that grows past the limit while it is read is refused, not read without end.
    void storeReadStopsAtTheLimit() {
        const QString path = m_folders->supportDir() + "/limit/clipboard.json";
        QVERIFY(makeFile(path, QByteArray(4096, 'x'), 0600));
        QCOMPARE(int(AppPaths::readStore(path, 4096).status), int(AppPaths::StoreRead::Status::Read));
        QCOMPARE(int(AppPaths::readStore(path, 4095).status), int(AppPaths::StoreRead::Status::Unreadable));
        QCOMPARE(int(AppPaths::readStore(path + ".none").status), int(AppPaths::StoreRead::Status::Missing));
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::optional<AppPaths::Folders> m_folders;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    tst_AppPaths test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_AppPaths.moc"
