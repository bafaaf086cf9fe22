// The settings window's updates section against a manifest served over loopback HTTPS: an offer that a
// press of "Check for updates" brings is scrolled into view with its "Update now", in a window at its
// smallest; an automatic check, or a check that brings no offer, leaves the page where the user put it.
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/HttpsFixture.h"
#include "fakes/ThrowawayCA.h"
#include "services/AccessibilityAuth.h"
#include "services/CustomTabsService.h"
#include "services/Defaults.h"
#include "services/LanguageService.h"
#include "services/SettingsService.h"
#include "services/TelemetryService.h"
#include "services/UpdateService.h"
#include "views/settings/SettingsView.h"
#include "views/settings/UpdatesSection.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using Kind = UpdateStatus::Kind;

class tst_SettingsUpdates : public QObject {
    Q_OBJECT

    struct Rig {
        Rig(const QString& file, const QString& host, const QString& work)
            : defaults(file)
            , settings(defaults)
            , customTabs(
                  defaults, [](const QString&, double) { return std::optional<QString>(QString()); }, 1.0)
            , accessibility(probe, defaults)
            , updates(defaults, clock, config(host, work))
            , telemetry(defaults, clock, tickers, QUrl(QStringLiteral("http://127.0.0.1:9/api/telemetry")))
            , language(defaults)
            , view(SettingsView::Services{settings, customTabs, accessibility, updates, telemetry, language},
                   SettingsView::Actions{{}, {}, [] { return QList<ScreenChoice>(); }, [](const QUrl&) {}}) {}
        static UpdateService::Config config(const QString& host, const QString& work) {
            UpdateService::Config c;
            c.host = host;
            c.currentVersion = QStringLiteral("1.2.3");
            c.workDir = work;
            return c;
        }
        FakeClock clock;
        FakeTickerFactory tickers;
        FakeTrustProbe probe;
        Defaults defaults;
        SettingsService settings;
        CustomTabsService customTabs;
        AccessibilityAuth accessibility;
        UpdateService updates;
        TelemetryService telemetry;
        LanguageService language;
        SettingsView view;
    };

    ThrowawayCA m_ca;
    std::unique_ptr<HttpsFixture> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Rig> m_rig;

    void serve(const QString& version) {
        m_server->set("/version.json", 200,
                      QJsonDocument(QJsonObject{{"version", version},
                                                {"url", m_server->url("/downloads/q.tar.xz")},
                                                {"sha256", QString(64, 'a')},
                                                {"notes", "Faster.\nSmaller."}})
                          .toJson());
    }
    QScrollBar* bar() const { return m_rig->view.scrollArea()->verticalScrollBar(); }
    // Whether `w` lies wholly inside the part of the page the window shows.
    bool shown(QWidget* w) const {
        QWidget* viewport = m_rig->view.scrollArea()->viewport();
        return w->isVisible() &&
               viewport->rect().contains(QRect(w->mapTo(viewport, QPoint(0, 0)), w->size()));
    }
    bool waitForStatus(Kind kind) {
        return QTest::qWaitFor([&] { return m_rig->updates.status().kind == kind; }, 20000);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_ca.make());
        m_server = std::make_unique<HttpsFixture>(m_ca.certFile(), m_ca.keyFile());
        QVERIFY(m_server->ok());
    }
    void init() {
        m_server->clear();
        m_dir = std::make_unique<QTemporaryDir>();
        m_rig = std::make_unique<Rig>(m_dir->filePath("defaults.json"), m_server->authority(),
                                      m_dir->filePath("work"));
        m_rig->view.resize(480, 520);
        m_rig->view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_rig->view));
        // The updates section is the last of eight: at the smallest size it starts below the window.
        QVERIFY(bar()->maximum() > 0);
        QCOMPARE(bar()->value(), 0);
    }
    void cleanup() { m_rig.reset(); }

    void offerFromAPressIsScrolledIntoView() {
        serve("1.3.0");
        UpdatesSection* section = m_rig->view.updatesSection();
        // Where the user is when pressing: the button at the window's foot, the page's own foot close by.
        m_rig->view.scrollArea()->ensureWidgetVisible(section->checkButton(), 0, 0);
        const int before = bar()->value();
        const int longest = bar()->maximum();
        QVERIFY(shown(section->checkButton()));
        section->checkButton()->click();
        QVERIFY(waitForStatus(Kind::available));
        // Once the page has grown by the offer, the offer is in view, its button included.
        QVERIFY(QTest::qWaitFor(
            [&] { return bar()->maximum() > longest && shown(section->updateNowButton()); }, 10000));
        QVERIFY(shown(section->offerTitle()));
        QVERIFY(bar()->value() > before);
    }

    void noScrollWithoutAPressOrAnOffer_data() {
        QTest::addColumn<bool>("pressed");
        QTest::addColumn<QString>("served");
        QTest::addColumn<int>("kind");
        QTest::newRow("automatic check with an offer") << false << "1.3.0" << int(Kind::available);
        QTest::newRow("press, up to date") << true << "1.2.3" << int(Kind::upToDate);
        QTest::newRow("press, refused manifest") << true << "1.3" << int(Kind::error);
    }
    void noScrollWithoutAPressOrAnOffer() {
        QFETCH(bool, pressed);
        QFETCH(QString, served);
        QFETCH(int, kind);
        serve(served);
        if (pressed)
            m_rig->view.updatesSection()->checkButton()->click();
        else
            m_rig->updates.check();
        QVERIFY(waitForStatus(Kind(kind)));
        // Whatever the layouts still have to do is done before the page is looked at.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(bar()->value(), 0);
    }

    void onlyTheOfferOfThatPress() {
        // A press that brought "up to date" does not make a later automatic offer scroll the page.
        serve("1.2.3");
        m_rig->view.updatesSection()->checkButton()->click();
        QVERIFY(waitForStatus(Kind::upToDate));
        serve("1.3.0");
        m_rig->updates.check();
        QVERIFY(waitForStatus(Kind::available));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(bar()->value(), 0);
    }

    // In the window at its smallest, the unpacking line stays on one line whatever the percentage, and the
    // number and "%" are drawn whole; a long error still wraps to the room there is.
    void unpackingLineKeepsToOneLine_data() {
        QTest::addColumn<int>("progress");
        QTest::newRow("0 %") << 0;
        QTest::newRow("7 %") << 7;
        QTest::newRow("100 %") << 100;
    }
    void unpackingLineKeepsToOneLine() {
        QFETCH(int, progress);
        UpdatesSection* section = m_rig->view.updatesSection();
        QLabel* line = section->statusLabel();
        const auto settle = [] {
            for (int i = 0; i < 3; ++i)
                QCoreApplication::processEvents();
        };
        UpdatesSection::State state;
        state.kind = Kind::installing;
        state.progress = progress;
        section->setState(state);
        settle();
        const QString text = QStringLiteral("Unpacking the update — %1 %").arg(progress);
        QCOMPARE(line->text(), text);
        const QFontMetrics metrics = line->fontMetrics();
        QVERIFY2(line->height() < 2 * metrics.lineSpacing(),
                 qPrintable(QString("%1 px for lines of %2").arg(line->height()).arg(metrics.lineSpacing())));
        QVERIFY2(line->contentsRect().width() >= metrics.horizontalAdvance(text),
                 qPrintable(QString("%1 px for %2")
                                .arg(line->contentsRect().width())
                                .arg(metrics.horizontalAdvance(text))));

        state.kind = Kind::error;
        state.progress = -1;
        state.message = QString("No space left on device in ~/.cache/Quillbay/update. ").repeated(4);
        section->setState(state);
        settle();
        QVERIFY(line->wordWrap());
        QVERIFY(line->height() >= 2 * metrics.lineSpacing());
        QVERIFY(line->geometry().right() <= section->width());
    }
};

QTEST_MAIN(tst_SettingsUpdates)
#include "tst_SettingsUpdates.moc"
