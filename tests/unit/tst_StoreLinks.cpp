// Every store of the program at a path that is a link (as dotfile managers make them), a FIFO, a link
// that leads nowhere or to a read-only file: what the service loads, where its saves go, and that the
// thing at the path is never replaced.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/ReadOnlyFolder.h"
#include "fakes/TestSupport.h"
#include "model/ClipItem.h"
#include "model/Feed.h"
#include "model/ShelfItem.h"
#include "services/ClipboardService.h"
#include "services/CommandsStore.h"
#include "services/Defaults.h"
#include "services/NewsStore.h"
#include "services/ShelfService.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

namespace {

enum class Layout { Link, Fifo, Dangling, ReadOnlyTarget };

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// One store as its service uses it: what it holds, one change, and the write of that change.
class Session {
public:
    virtual ~Session() = default;
    virtual QStringList held() const = 0;
    virtual void change() = 0;
    virtual void flush() = 0;
};

class DefaultsSession final : public Session {
public:
    explicit DefaultsSession(const QString& path)
        : m_defaults(path) {}
    QStringList held() const override {
        QStringList out;
        for (const char* key : {"first", "second"}) {
            if (const auto v = m_defaults.string(key))
                out << *v;
        }
        return out;
    }
    void change() override { m_defaults.set("second", "two"); }
    void flush() override { m_defaults.flush(); }

private:
    Defaults m_defaults;
};

class ClipboardSession final : public Session {
public:
    ClipboardSession(const QString& path, Clock& clock)
        : m_service(m_board, clock, path) {}
    QStringList held() const override {
        QStringList out;
        for (const ClipItem& i : m_service.items())
            out.prepend(i.text);
        return out;
    }
    void change() override {
        m_board.copy("two", {"text/plain"});
        m_service.poll();
    }
    void flush() override { m_service.flush(); }

private:
    FakePasteboard m_board;
    ClipboardService m_service;
};

class ShelfSession final : public Session {
public:
    ShelfSession(const QString& path, Clock& clock, QString second)
        : m_service(clock, path)
        , m_second(std::move(second)) {}
    QStringList held() const override {
        QStringList out;
        for (const ShelfItem& i : m_service.items())
            out.prepend(QFileInfo(i.path).fileName());
        return out;
    }
    void change() override { m_service.add({QUrl::fromLocalFile(m_second)}); }
    void flush() override {} // saves as it goes

private:
    ShelfService m_service;
    QString m_second;
};

class CommandsSession final : public Session {
public:
    explicit CommandsSession(const QString& supportDir)
        : m_store(supportDir)
        , m_list(m_store.load()) {}
    QStringList held() const override {
        QStringList out;
        for (const SavedCommand& c : m_list)
            out << c.name;
        return out;
    }
    void change() override {
        m_list.append({QUuid::createUuid(), "two", "sleep 2", std::nullopt});
        m_store.save(m_list);
    }
    void flush() override {}

private:
    CommandsStore m_store;
    QList<SavedCommand> m_list;
};

class NewsSession final : public Session {
public:
    explicit NewsSession(const QString& feedsPath)
        : m_store(m_writer, feedsPath, QFileInfo(feedsPath).path() + "/news-items.json")
        , m_feeds(m_store.loadFeeds()) {}
    QStringList held() const override {
        QStringList out;
        for (const Feed& f : m_feeds)
            out << f.title;
        return out;
    }
    void change() override {
        m_feeds.append({QUuid::createUuid(), "two", "https://two.test", "https://two.test/feed"});
        m_store.save(m_feeds, {});
    }
    void flush() override { m_store.waitForIdle(); }

private:
    NewsWriter m_writer;
    NewsStore m_store;
    QList<Feed> m_feeds;
};

} // namespace

Q_DECLARE_METATYPE(Layout)

class tst_StoreLinks : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakeClock m_clock;

    QString support() const { return m_dir->filePath("support"); }
    QString repo() const { return m_dir->filePath("dotfiles"); }

    // The file name of `store` and its content holding the one entry "one".
    std::pair<QString, QByteArray> seedOf(const QString& store) {
        if (store == "defaults")
            return {"defaults.json", R"({"first":"one"})"};
        if (store == "clipboard")
            return {"clipboard.json",
                    ClipItemCodec::encode({{QUuid::createUuid(), "one", m_clock.now(), false}})};
        if (store == "shelf")
            return {"shelf.json",
                    ShelfItems::encode({{QUuid::createUuid(), m_dir->filePath("one"), m_clock.now()}})};
        if (store == "news")
            return {"news-feeds.json", Feeds::encode({{QUuid::createUuid(), "one", "https://one.test",
                                                       "https://one.test/feed"}})};
        const SavedCommand one{QUuid::createUuid(), "one", "sleep 1", std::nullopt};
        return {"commands.json", SavedCommandCodec::encodeList({one})};
    }
    std::unique_ptr<Session> open(const QString& store, const QString& path) {
        if (store == "defaults")
            return std::make_unique<DefaultsSession>(path);
        if (store == "clipboard")
            return std::make_unique<ClipboardSession>(path, m_clock);
        if (store == "shelf")
            return std::make_unique<ShelfSession>(path, m_clock, m_dir->filePath("two"));
        if (store == "news")
            return std::make_unique<NewsSession>(path);
        return std::make_unique<CommandsSession>(support());
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(support()));
        QVERIFY(writeFile(m_dir->filePath("one"), "a shelf file"));
        QVERIFY(writeFile(m_dir->filePath("two"), "another"));
    }

    void storeAtAPathThatIsNoPlainFile_data() {
        QTest::addColumn<QString>("store");
        QTest::addColumn<Layout>("layout");
        for (const char* store : {"defaults", "clipboard", "shelf", "commands", "news"}) {
            QTest::addRow("%s, link into a dotfiles folder", store) << QString(store) << Layout::Link;
            QTest::addRow("%s, FIFO", store) << QString(store) << Layout::Fifo;
            QTest::addRow("%s, dangling link", store) << QString(store) << Layout::Dangling;
            QTest::addRow("%s, link to a read-only file", store) << QString(store) << Layout::ReadOnlyTarget;
        }
    }
    void storeAtAPathThatIsNoPlainFile() {
        QFETCH(QString, store);
        QFETCH(Layout, layout);
        const auto [name, seed] = seedOf(store);
        const QString path = support() + '/' + name;
        const QString target = repo() + "/Quillbay/" + name;
        switch (layout) {
        case Layout::Link:
        case Layout::ReadOnlyTarget:
            QVERIFY(writeFile(target, seed));
            QVERIFY(QFile::link(target, path));
            break;
        case Layout::Fifo:
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            break;
        case Layout::Dangling:
            QVERIFY(QFile::link(target, path));
            break;
        }
        std::unique_ptr<ReadOnlyFolder> readOnly;
        if (layout == Layout::ReadOnlyTarget) {
            readOnly = std::make_unique<ReadOnlyFolder>(QFileInfo(target).path());
            if (!readOnly->works())
                QSKIP("no way to make a read-only folder here");
        }
        struct stat before;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &before), 0);
        const TestSupport::LogCapture capture;

        std::unique_ptr<Session> session = open(store, path);
        const bool readable = layout == Layout::Link || layout == Layout::ReadOnlyTarget;
        QCOMPARE(session->held(), readable ? QStringList{"one"} : QStringList{});
        session->change();
        session->flush();
        // The change lives on in memory whether or not the file could take it.
        QCOMPARE(session->held(), readable ? QStringList({"one", "two"}) : QStringList{"two"});
        session.reset();

        struct stat after;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        const QStringList left = QDir(support()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QVERIFY(left.contains(name));
        QCOMPARE(left.filter(".tmp-") + left.filter(".corrupt-"), QStringList());
        if (readOnly)
            readOnly->release();
        switch (layout) {
        case Layout::Link: {
            QVERIFY(capture.lines().isEmpty());
            // The next run reads the change back through the same link.
            QVERIFY(contentOf(target).contains("two"));
            QCOMPARE(open(store, path)->held(), QStringList({"one", "two"}));
            QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
            break;
        }
        case Layout::ReadOnlyTarget:
            QCOMPARE(contentOf(target), seed);
            break;
        case Layout::Dangling:
            QVERIFY(!QFileInfo::exists(target));
            break;
        case Layout::Fifo:
            break;
        }
        if (layout != Layout::Link) {
            QCOMPARE(capture.lines().size(), 1);
            QVERIFY2(capture.lines().first().startsWith("[Quillbay] " + path + " "),
                     qPrintable(capture.lines().first()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_StoreLinks)
#include "tst_StoreLinks.moc"
