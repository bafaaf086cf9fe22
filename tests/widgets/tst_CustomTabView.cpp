// Script and web tab views offscreen: runs only while shown, interval and command changes, the timer
// clamp, and page creation through a stand-in factory (no browser engine).
#include "services/CustomTabsService.h"
#include "services/Defaults.h"
#include "views/CustomTabView.h"
#include "views/IconButton.h"
#include "views/ScriptTabView.h"
#include "views/WebTabView.h"

#include <QLabel>
#include <QtTest>

#include <atomic>

namespace {

CustomTab scriptTab(qint64 refresh) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = "logs";
    t.command = "echo hi";
    t.refreshSeconds = refresh;
    return t;
}

CustomTab webTab(const QString& url) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = "docs";
    t.kind = CustomTab::Kind::web;
    t.url = url;
    return t;
}

// A stand-in page: a plain widget that records the address it was made for.
struct PageLog {
    QList<QUrl> made;
    int alive = 0;
    WebPageFactory factory() {
        return [this](const QUrl& url, QWidget* parent) {
            made << url;
            auto* page = new QWidget(parent);
            ++alive;
            QObject::connect(page, &QObject::destroyed, [this] { --alive; });
            return page;
        };
    }
};

} // namespace

class tst_CustomTabView : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_defaults = std::make_unique<Defaults>(m_dir->filePath("defaults.json"));
        m_runs = 0;
        m_service = std::make_unique<CustomTabsService>(
            *m_defaults,
            [this](const QString&, double) -> std::optional<QString> { return QString::number(++m_runs); },
            20.0);
    }
    void cleanup() {
        m_service.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    void firstShowRunsThenEachTickHidingStops() {
        ScriptTabView view(*m_service, scriptTab(5));
        QCOMPARE(m_runs.load(), 0); // nothing before it is on screen
        QCOMPARE(view.outputText(), QString("Running…"));
        view.show();
        QTRY_COMPARE(view.outputText(), QString("1"));
        QVERIFY(view.refreshTimer().isActive());
        QCOMPARE(view.refreshTimer().interval(), 5000);
        QVERIFY(QMetaObject::invokeMethod(&view.refreshTimer(), "timeout")); // one tick, without waiting 5 s
        QTRY_COMPARE(view.outputText(), QString("2"));
        view.hide();
        QVERIFY(!view.refreshTimer().isActive());
        // Shown again with an output: no run before the first interval.
        view.show();
        QVERIFY(view.refreshTimer().isActive());
        QTest::qWait(50); // proves showing again starts no run
        QCOMPARE(m_runs.load(), 2);
    }

    void zeroIntervalRunsOnceAndOnTheButton() {
        ScriptTabView view(*m_service, scriptTab(0));
        view.show();
        QTRY_COMPARE(m_runs.load(), 1);
        QVERIFY(!view.refreshTimer().isActive());
        view.hide();
        view.show();
        QTest::qWait(50); // proves showing again starts no run
        QCOMPARE(m_runs.load(), 1);
        QTest::mouseClick(view.runAgainButton(), Qt::LeftButton);
        QTRY_COMPARE(view.outputText(), QString("2"));
    }

    void editedCommandRestartsWithoutAnImmediateRun() {
        CustomTab tab = scriptTab(3);
        ScriptTabView view(*m_service, tab);
        view.show();
        QTRY_COMPARE(view.outputText(), QString("1"));
        const QString key = view.refreshKey();
        tab.command = "echo other";
        view.setTab(tab);
        QVERIFY(view.refreshKey() != key);
        QVERIFY(view.refreshTimer().isActive());
        QTest::qWait(50); // proves the edit starts no run
        QCOMPARE(m_runs.load(), 1);
        QCOMPARE(view.outputText(), QString("1"));
    }

    void intervalIsClamped_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("one second") << qint64(1) << 1000;
        QTest::newRow("a day") << qint64(86400) << 86400000;
        QTest::newRow("past int milliseconds") << qint64(3000000) << 86400000;
        QTest::newRow("beyond 64-bit nanoseconds") << qint64(20000000000LL) << 86400000;
        QTest::newRow("int64 max") << std::numeric_limits<qint64>::max() << 86400000;
    }
    void intervalIsClamped() {
        QFETCH(qint64, seconds);
        QFETCH(int, intervalMs);
        ScriptTabView view(*m_service, scriptTab(seconds));
        view.show();
        QVERIFY(view.refreshTimer().isActive());
        QCOMPARE(view.refreshTimer().interval(), intervalMs);
    }

    void spinnerFollowsTheRun() {
        std::atomic<bool> release = false;
        CustomTabsService slow(
            *m_defaults,
            [&release](const QString&, double) -> std::optional<QString> {
                while (!release)
                    QThread::msleep(5); // polls the release flag
                return QString("done");
            },
            20.0);
        ScriptTabView view(slow, scriptTab(0));
        view.show();
        QTRY_VERIFY(view.spinnerShown());
        QCOMPARE(view.outputText(), QString("Running…"));
        release = true;
        QTRY_VERIFY(!view.spinnerShown());
        QCOMPARE(view.outputText(), QString("done"));
    }

    void pageOnlyWhileShownAndReloadMakesANewOne() {
        PageLog pages;
        WebTabView view(webTab("127.0.0.1:5173"), pages.factory());
        QCOMPARE(pages.made.size(), 0);
        view.show();
        QCOMPARE(pages.made, QList<QUrl>{QUrl("http://127.0.0.1:5173")});
        QVERIFY(view.page());
        const QWidget* first = view.page();
        QTest::mouseClick(view.reloadButton(), Qt::LeftButton);
        QTest::mouseClick(view.reloadButton(), Qt::LeftButton);
        QCOMPARE(view.reloadToken(), 2);
        QCOMPARE(pages.made.size(), 3);
        QCOMPARE(pages.alive, 1);
        QVERIFY(view.page() != first);
        QVERIFY(view.pageIdentity().endsWith("-2"));
        // A hide for a moment keeps the page; a longer one ends it.
        view.hide();
        view.show();
        QCOMPARE(pages.made.size(), 3);
        view.hide();
        QTRY_COMPARE_WITH_TIMEOUT(pages.alive, 0, WebTabView::kKeepHiddenMs + 2000);
        view.show();
        QCOMPARE(pages.made.size(), 4);
    }

    void unusableAddressesShowTheText_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << "";
        QTest::newRow("blank") << "   ";
        QTest::newRow("file page") << "file:///etc/passwd";
        QTest::newRow("javascript") << "javascript://alert(1)";
        QTest::newRow("other scheme") << "ftp://example.com";
        QTest::newRow("no host") << "http://";
    }
    void unusableAddressesShowTheText() {
        QFETCH(QString, url);
        PageLog pages;
        WebTabView view(webTab(url), pages.factory());
        view.show();
        QVERIFY(view.showsInvalidText());
        QVERIFY(!view.page());
        QTest::mouseClick(view.reloadButton(), Qt::LeftButton);
        QCOMPARE(pages.made.size(), 0);
        QCOMPARE(view.findChild<QLabel*>("invalid")->text(),
                 QString("Invalid URL — edit this tab in Settings."));
    }

    void customViewFollowsEditsOfItsTab() {
        PageLog pages;
        CustomTab tab = webTab("example.com");
        m_service->save(tab);
        CustomTabView view(*m_service, tab, pages.factory());
        view.show();
        QVERIFY(qobject_cast<WebTabView*>(view.content()));
        QCOMPARE(pages.made, QList<QUrl>{QUrl("https://example.com")});
        tab.url = "localhost:8080";
        m_service->save(tab);
        QCOMPARE(pages.made.last(), QUrl("http://localhost:8080"));
        QCOMPARE(pages.alive, 1);
        tab.kind = CustomTab::Kind::script;
        m_service->save(tab);
        QTRY_COMPARE(pages.alive, 0);
        QVERIFY(qobject_cast<ScriptTabView*>(view.content()));
        QTRY_COMPARE(m_runs.load(), 1);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<CustomTabsService> m_service;
    std::atomic<int> m_runs = 0;
};

QTEST_MAIN(tst_CustomTabView)
#include "tst_CustomTabView.moc"
