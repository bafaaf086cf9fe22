// The News and X tabs: which text a row leads with, which links open, the buttons and empty states that
// follow the service's state, and the add field's composing flag.
#include "fakes/FakeClock.h"
#include "fakes/LoopbackHttp.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/NewsService.h"
#include "views/DarkField.h"
#include "views/EmptyHint.h"
#include "views/IconButton.h"
#include "views/NewsTab.h"

#include <QDir>
#include <QLabel>
#include <QScrollArea>
#include <QtTest>

namespace {

NewsItem item(const QString& id, const QString& title, std::optional<QString> summary, bool seen,
              const QString& link = QString()) {
    return NewsItem{summary, id, QUuid::createUuid(), QStringLiteral("Src"), title, link, std::nullopt, seen};
}

QByteArray rss(int count) {
    QByteArray out = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed</title>";
    for (int i = 1; i <= count; ++i)
        out += QStringLiteral("<item><title>Post number %1</title><guid>p%1</guid></item>").arg(i).toUtf8();
    return out + "</channel></rss>";
}

} // namespace

Q_DECLARE_METATYPE(NewsTab::Estilo)

class tst_NewsTab : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    FakeClock m_clock;
    NewsWriter m_writer;

    [[nodiscard]] bool store(const QList<Feed>& feeds, const QList<NewsItem>& items) {
        return TestSupport::passes([&] {
            QVERIFY(AppPaths::writePrivate(
                Feeds::encode(feeds), QDir(TestSupport::folders().supportDir()).filePath("news-feeds.json")));
            QVERIFY(AppPaths::writePrivate(
                NewsItems::encode(items),
                QDir(TestSupport::folders().supportDir()).filePath("news-items.json")));
        });
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }

    void textoPrincipal_data() {
        QTest::addColumn<NewsTab::Estilo>("estilo");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("shown");
        QTest::newRow("X post shows its text") << NewsTab::Estilo::perfil << ""
                                               << "  hello\n"
                                               << "hello";
        QTest::newRow("X whitespace summary falls back to title") << NewsTab::Estilo::perfil << "T"
                                                                  << " \n "
                                                                  << "T";
        QTest::newRow("site without title shows summary") << NewsTab::Estilo::site << ""
                                                          << " s "
                                                          << "s";
        QTest::newRow("site title wins over summary") << NewsTab::Estilo::site << "T"
                                                      << "s"
                                                      << "T";
    }
    void textoPrincipal() {
        QFETCH(NewsTab::Estilo, estilo);
        QFETCH(QString, title);
        QFETCH(QString, summary);
        QFETCH(QString, shown);
        QCOMPARE(NewsTab::textoPrincipal(item("1", title, summary, false), estilo), shown);
    }

    void opensInBrowser_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opens");
        QTest::newRow("https") << "https://a.example/x" << true;
        QTest::newRow("http") << "http://a.example/x" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("custom scheme") << "steam://run/1" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("not a url") << "http://exa mple" << false;
    }
    void opensInBrowser() {
        QFETCH(QString, link);
        QFETCH(bool, opens);
        QCOMPARE(NewsTab::opensInBrowser(QUrl(link, QUrl::StrictMode)), opens);
    }

    void relativeTime() {
        const QDateTime now(QDate(2026, 1, 10), QTime(12, 0), Qt::UTC);
        QCOMPARE(NewsTab::relativeTime(now.addSecs(-30), now), QStringLiteral("just now"));
        QCOMPARE(NewsTab::relativeTime(now.addSecs(-60), now), QStringLiteral("1 minute ago"));
        QCOMPARE(NewsTab::relativeTime(now.addSecs(-3 * 3600), now), QStringLiteral("3 hours ago"));
        QCOMPARE(NewsTab::relativeTime(now.addDays(-1), now), QStringLiteral("yesterday"));
        QCOMPARE(NewsTab::relativeTime(now.addDays(-400), now), QStringLiteral("1 year ago"));
    }

    void statesFollowTheService() {
        QVERIFY(store({}, {}));
        NewsService empty(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"));
        NewsTab tab(empty, NewsTab::Estilo::site);
        tab.resize(400, 300);
        tab.show();
        auto* refresh = tab.findChild<IconButton*>("refreshButton");
        auto* hint = tab.findChildren<EmptyHint*>().value(0);
        QVERIFY(refresh && hint);
        QVERIFY(!refresh->isVisible());
        QCOMPARE(hint->text(), QStringLiteral("Add a site and get its new posts here."));

        const Feed feed{QUuid::createUuid(), "Src", "http://127.0.0.1:9/", "http://127.0.0.1:9/feed"};
        QVERIFY(store({feed}, {}));
        NewsService sourcesOnly(m_clock, m_writer, TestSupport::folders().supportDir(),
                                QStringLiteral("news"));
        NewsTab tab2(sourcesOnly, NewsTab::Estilo::site);
        tab2.show();
        QVERIFY(tab2.findChild<IconButton*>("refreshButton")->isVisible() ||
                sourcesOnly.refreshing()); // showing the tab asks for a refresh
        QCOMPARE(tab2.findChildren<EmptyHint*>().value(0)->text(),
                 QStringLiteral("No posts yet. They arrive on the next refresh."));
    }

    void emptyStatesShowTheirSymbol_data() {
        QTest::addColumn<NewsTab::Estilo>("estilo");
        QTest::addColumn<bool>("sources");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("text");
        QTest::newRow("news posts") << NewsTab::Estilo::site << false << "newspaper"
                                    << "Add a site and get its new posts here.";
        QTest::newRow("X posts") << NewsTab::Estilo::perfil << false << "at"
                                 << "Follow people on X — their posts land here.";
        QTest::newRow("news sources") << NewsTab::Estilo::site << true << "tray"
                                      << "No sources yet.";
        QTest::newRow("X sources") << NewsTab::Estilo::perfil << true << "tray"
                                   << "No sources yet.";
    }
    void emptyStatesShowTheirSymbol() {
        QFETCH(NewsTab::Estilo, estilo);
        QFETCH(bool, sources);
        QFETCH(QString, symbol);
        QFETCH(QString, text);
        QVERIFY(store({}, {}));
        NewsService s(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"));
        NewsTab tab(s, estilo);
        tab.resize(600, 280);
        tab.show();
        if (sources)
            tab.findChild<IconButton*>("sourcesToggle")->click();
        auto* icon = tab.findChild<QLabel*>("emptySymbol");
        QVERIFY(icon && icon->isVisible());
        QCOMPARE(icon->property("symbol").toString(), symbol);
        QVERIFY(!icon->pixmap().isNull());
        auto* hint = tab.findChild<EmptyHint*>();
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->text(), text);
        // Symbol and text stay 8 apart however tall the tab is, and the text's ink starts right there.
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QCOMPARE(hint->geometry().top() - icon->geometry().bottom() - 1, 8);
        const QImage shot = hint->grab().toImage();
        int firstInk = -1;
        for (int y = 0; y < shot.height() && firstInk < 0; ++y)
            for (int x = 0; x < shot.width() && firstInk < 0; ++x)
                if (qAlpha(shot.pixel(x, y)) > 0 && qGray(shot.pixel(x, y)) > 40)
                    firstInk = y;
        QVERIFY2(firstInk >= 0 && firstInk < hint->fontMetrics().height(),
                 qPrintable(QString::number(firstInk)));
    }

    // The list was hidden while there was nothing to show; the first source's posts draw in full at once.
    void firstSourcesPostsDrawAtOnce() {
        QVERIFY(store({}, {}));
        LoopbackHttp server;
        server.set("/feed.xml", 200, rss(3));
        NewsService s(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"));
        NewsTab tab(s, NewsTab::Estilo::site);
        tab.resize(600, 280);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        auto* list = tab.findChild<QScrollArea*>();
        QVERIFY(list && !list->isVisible());

        auto* field = tab.findChild<DarkField*>("addField");
        field->setText(server.url("/feed.xml").toString());
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(TestSupport::waitUntil([&] { return !s.adding() && s.items().size() == 3; }, 10000));
        QCoreApplication::processEvents();
        QVERIFY(list->isVisible());
        const QList<QLabel*> texts = list->findChildren<QLabel*>("mainText");
        QCOMPARE(texts.size(), 3);
        for (QLabel* text : texts) {
            QVERIFY(text->isVisible());
            QVERIFY(text->text().startsWith("Post number"));
            QVERIFY2(text->height() >= text->fontMetrics().height(),
                     qPrintable(QString::number(text->height())));
            QWidget* row = text->parentWidget();
            QVERIFY(row->height() >= text->height());
            // Inside the part of the list on screen.
            QVERIFY(list->viewport()->rect().contains(row->mapTo(list->viewport(), QPoint(0, 0))));
        }
    }

    // Every post row is as tall as its own text, whichever list was shown first: a two-line title never
    // runs over its date line, a one-line title leaves no empty line, and rows never overlap.
    void rowsAreAsTallAsTheirOwnText_data() {
        QTest::addColumn<NewsTab::Estilo>("estilo");
        QTest::addColumn<bool>("sourcesFirst");
        QTest::newRow("news, posts first") << NewsTab::Estilo::site << false;
        QTest::newRow("news, sources first") << NewsTab::Estilo::site << true;
        QTest::newRow("X, posts first") << NewsTab::Estilo::perfil << false;
        QTest::newRow("X, sources first") << NewsTab::Estilo::perfil << true;
    }
    void rowsAreAsTallAsTheirOwnText() {
        QFETCH(NewsTab::Estilo, estilo);
        QFETCH(bool, sourcesFirst);
        const QString longText =
            QStringLiteral("A title long enough to need more than one line in a row that "
                           "is only three hundred pixels wide, and then some more words "
                           "so that it goes on past every line limit there is");
        const auto text = [&](const QString& t) {
            return estilo == NewsTab::Estilo::perfil ? item(t, QString(), t, false)
                                                     : item(t, t, std::nullopt, false);
        };
        QList<NewsItem> items;
        for (int i = 0; i < 6; ++i)
            items << text(i % 2 ? longText + QString::number(i) : QStringLiteral("Short %1").arg(i));
        // Its refresh on showing finds nothing to fetch: no server listens on port 9 of this machine.
        QVERIFY(store({Feed{QUuid::createUuid(), "Src", "https://127.0.0.1:9", "https://127.0.0.1:9/feed"}},
                      items));
        NewsService s(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"));
        NewsTab tab(s, estilo);
        tab.resize(300, 600);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        auto* toggle = tab.findChild<IconButton*>("sourcesToggle");
        if (sourcesFirst) {
            toggle->click();
            QCoreApplication::processEvents();
            QVERIFY(tab.findChild<QWidget*>("removeButton"));
            toggle->click();
        }
        auto* list = tab.findChild<QScrollArea*>();
        const int limit = estilo == NewsTab::Estilo::perfil ? 3 : 2;
        QTRY_COMPARE(list->findChildren<QLabel*>("mainText").size(), 6);
        QCoreApplication::processEvents();
        QList<QWidget*> rows;
        for (QLabel* lead : list->findChildren<QLabel*>("mainText")) {
            QWidget* row = lead->parentWidget();
            auto* meta = row->findChild<QLabel*>("metaLine");
            const int line = lead->fontMetrics().lineSpacing();
            const int lines = lead->text().startsWith("Short") ? 1 : limit;
            QCOMPARE(lead->height(), lines * line);
            QVERIFY2(meta->geometry().top() >= lead->geometry().bottom() + 1,
                     qPrintable(QStringLiteral("%1 over %2").arg(meta->y()).arg(lead->geometry().bottom())));
            QVERIFY(meta->geometry().bottom() < row->height());
            QVERIFY(row->height() <= meta->geometry().bottom() + 1 + 4 + 1);
            rows << row;
        }
        std::sort(rows.begin(), rows.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        for (int i = 1; i < rows.size(); ++i)
            QCOMPARE(rows[i]->y(), rows[i - 1]->geometry().bottom() + 1 + 3);

        // The long text's last shown line ends in an ellipsis: grab it and find ink at the far right.
        QLabel* longLead = nullptr;
        for (QLabel* lead : list->findChildren<QLabel*>("mainText"))
            if (!lead->text().startsWith("Short"))
                longLead = lead;
        QVERIFY(longLead);
        const QImage shot = longLead->grab().toImage();
        const int lastLine = (limit - 1) * longLead->fontMetrics().lineSpacing();
        bool inkAtRight = false;
        for (int y = lastLine; y < shot.height() && !inkAtRight; ++y)
            for (int x = shot.width() * 3 / 4; x < shot.width() && !inkAtRight; ++x)
                inkAtRight = qAlpha(shot.pixel(x, y)) > 0 && qGray(shot.pixel(x, y)) > 100;
        QVERIFY(inkAtRight);
    }

    void openingMarksReadAndOpensOnlyWebLinks() {
        const QList<NewsItem> items{item("a", "A", std::nullopt, false, "not a link"),
                                    item("b", "B", std::nullopt, false, "https://b.example/")};
        QVERIFY(store({}, items));
        NewsService s(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"));
        NewsTab tab(s, NewsTab::Estilo::site);
        QList<QUrl> opened;
        tab.setLinkOpener([&](const QUrl& u) { opened.append(u); });
        tab.show();
        auto* markAll = tab.findChild<IconButton*>("markAllButton");
        QVERIFY(markAll->isVisible());
        tab.abrir(s.items()[0]);
        QVERIFY(s.items()[0].seen);
        QVERIFY(opened.isEmpty());
        tab.abrir(s.items()[1]);
        QCOMPARE(opened, QList<QUrl>{QUrl("https://b.example/")});
        // The mark-all button goes with the last unread entry.
        QVERIFY(!markAll->isVisible());
    }

    void fieldDrivesComposing() {
        QVERIFY(store({}, {}));
        NewsService s(m_clock, m_writer, TestSupport::folders().supportDir(), QStringLiteral("news"));
        NewsTab tab(s, NewsTab::Estilo::perfil);
        tab.show();
        auto* field = tab.findChild<DarkField*>("addField");
        QCOMPARE(field->placeholder(), QStringLiteral("@handle on X — like @nasa"));
        QTest::keyClick(field, Qt::Key_A);
        QVERIFY(s.composing());
        QTest::keyClick(field, Qt::Key_Backspace);
        QVERIFY(!s.composing());
        QTest::keyClicks(field, "   ");
        QVERIFY(s.composing());
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(field->text().isEmpty());
        QVERIFY(!s.composing());
        QVERIFY(!s.adding()); // blank text starts nothing
        field->setText("x");
        tab.hide();
        QVERIFY(!s.composing());
    }
};

QTEST_MAIN(tst_NewsTab)
#include "tst_NewsTab.moc"
