// The AI tab: percentage texts and colours at their thresholds, and what the column shows for sessions,
// loading, absent providers and cards.
#include "fakes/FakeClock.h"
#include "services/AIUsageService.h"
#include "services/AgentsService.h"
#include "views/AITab.h"
#include "views/BlockBar.h"
#include "views/EmptyHint.h"
#include "views/StatusDot.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <limits>

namespace {

QStringList texts(QWidget* root, const QString& name) {
    QStringList out;
    for (QLabel* l : root->findChildren<QLabel*>(name))
        out << l->text();
    return out;
}

} // namespace

class tst_AITab : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    FakeClock m_clock;

private slots:
    void percentages_data() {
        QTest::addColumn<double>("fraction");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<bool>("exhausted");
        QTest::newRow("0.6 green") << 0.6 << "60%" << SystemColors::green() << false;
        QTest::newRow("0.601 orange") << 0.601 << "60%" << SystemColors::orange() << false;
        QTest::newRow("0.85 orange") << 0.85 << "85%" << SystemColors::orange() << false;
        QTest::newRow("0.851 red") << 0.851 << "85%" << SystemColors::red() << false;
        QTest::newRow("0.998 reads 100 without the mark") << 0.998 << "100%" << SystemColors::red() << false;
        QTest::newRow("0.999 used up") << 0.999 << "100%" << SystemColors::red() << true;
        QTest::newRow("0.004 reads 0") << 0.004 << "0%" << SystemColors::green() << false;
        QTest::newRow("0.125 reads 13") << 0.125 << "13%" << SystemColors::green() << false;
        QTest::newRow("half away from zero below") << -0.125 << "-13%" << SystemColors::green() << false;
        QTest::newRow("over the limit") << 1.4 << "140%" << SystemColors::red() << true;
        QTest::newRow("absurd share held") << 1e300 << "1000000000000000%" << SystemColors::red() << true;
        QTest::newRow("not a number")
            << std::numeric_limits<double>::quiet_NaN() << "0%" << SystemColors::green() << false;
    }

    void percentages() {
        QFETCH(double, fraction);
        QFETCH(QString, text);
        QFETCH(QColor, color);
        QFETCH(bool, exhausted);
        QCOMPARE(AITab::percentText(fraction), text);
        QCOMPARE(AITab::percentColor(fraction), color);
        QCOMPARE(AITab::showsExhausted(fraction), exhausted);
    }

    void ages() {
        QCOMPARE(AITab::ageText(0), QString("now"));
        QCOMPARE(AITab::ageText(12), QString("12 min"));
        QCOMPARE(AITab::ageText(-3), QString("-3 min"));
    }

    void hintsAndSections() {
        auto gate = std::make_shared<std::atomic_bool>(false);
        AIUsageReaders readers;
        readers.codex = [gate](const QDateTime&, const std::atomic_bool& stop) {
            while (!gate->load() && !stop.load())
                QThread::msleep(2); // polls the gate and the stop flag
            return std::optional<AIProviderUsage>();
        };
        AIUsageService service(m_clock, readers);
        AgentsService agents(m_clock, m_home.path(), ClaudeFolders(m_home.path()));
        AITab tab(service, agents);
        tab.resize(420, 400);

        QCOMPARE(texts(&tab, "hint"), QStringList{"No AI provider detected"});
        service.refresh(false);
        QCOMPARE(texts(&tab, "hint"), QStringList{"Collecting usage limits…"});
        QVERIFY(!tab.findChild<QWidget*>("agents"));

        agents.setSessions({AgentSession{"/a", "Claude", "my-app", "waiting on you", 0},
                            AgentSession{"/b", "Codex", "shop", "working", 12}});
        QWidget* section = tab.findChild<QWidget*>("agents");
        QVERIFY(section);
        QWidget* hint = tab.findChild<QWidget*>("hint");
        QVERIFY(hint);
        // The agents section sits above the hint.
        QVERIFY(section->parentWidget() == hint->parentWidget());
        QVERIFY(section->parentWidget()->layout()->indexOf(section) <
                hint->parentWidget()->layout()->indexOf(hint));
        QCOMPARE(texts(section, "project"), (QStringList{"my-app", "shop"}));
        QCOMPARE(texts(section, "age"), (QStringList{"now", "12 min"}));
        const auto dots = section->findChildren<StatusDot*>("dot");
        QCOMPARE(dots.size(), 2);
        QCOMPARE(dots[0]->color(), SystemColors::purple());
        QCOMPARE(dots[1]->color(), SystemColors::green());
        const auto tools = section->findChildren<QLabel*>("tool");
        QVERIFY(tools[1]->styleSheet().contains(QString("rgba(64, 200, 224")));

        gate->store(true);
        QTRY_VERIFY(!service.isLoading());
        QCOMPARE(texts(&tab, "hint"), QStringList{"No AI provider detected"});
    }

    void cards() {
        AIUsageService service(m_clock, AIUsageReaders());
        AgentsService agents(m_clock, m_home.path(), ClaudeFolders(m_home.path()));
        AITab tab(service, agents);
        service.setProviders(
            {AIProviderUsage{
                 "Codex", "Plus", {{"5 horas", 0.999, "renova em 2 h"}, {"5 horas", 0.2, ""}}, std::nullopt},
             AIProviderUsage{
                 "Claude", "", {{"Semana", std::nullopt, "≈ 3.4M tokens"}}, QString("Estimativa local")},
             AIProviderUsage{"Antigravity", "", {}, QString("Sem dados de créditos no Antigravity")}});
        QVERIFY(texts(&tab, "hint").isEmpty());
        const auto cards = tab.findChildren<QWidget*>("card");
        QCOMPARE(cards.size(), 3);
        QCOMPARE(texts(cards[0], "name"), QStringList{"Codex"});
        QCOMPARE(texts(cards[0], "plan"), QStringList{"Plus"});
        // Both lines of the same label are shown.
        QCOMPARE(texts(cards[0], "label"), (QStringList{"5 horas", "5 horas"}));
        QCOMPARE(texts(cards[0], "percent"), (QStringList{"100%", "20%"}));
        QCOMPARE(texts(cards[0], "exhausted"), QStringList{"ESGOTADO"});
        QCOMPARE(texts(cards[0], "detail"), QStringList{"renova em 2 h"});
        QCOMPARE(cards[0]->findChildren<BlockBar*>().size(), 2);
        QCOMPARE(cards[0]->findChildren<BlockBar*>()[0]->blocks(), 22);
        QVERIFY(texts(cards[0], "note").isEmpty());

        QVERIFY(texts(cards[1], "plan").isEmpty());
        QVERIFY(texts(cards[1], "percent").isEmpty());
        QVERIFY(cards[1]->findChildren<BlockBar*>().isEmpty());
        QCOMPARE(texts(cards[1], "detail"), QStringList{"≈ 3.4M tokens"});
        QCOMPARE(texts(cards[1], "note"), QStringList{"Estimativa local"});

        QVERIFY(texts(cards[2], "label").isEmpty());
        QCOMPARE(texts(cards[2], "note"), QStringList{"Sem dados de créditos no Antigravity"});
    }

    // The tab only shows: no buttons, and no refresh when it is made, shown or shown again.
    void startsNoRefreshOfItsOwn() {
        AIUsageService service(m_clock, AIUsageReaders());
        AgentsService agents(m_clock, m_home.path(), ClaudeFolders(m_home.path()));
        int calls = 0;
        connect(&service, &AIUsageService::refreshStarted, this, [&] { ++calls; });
        AITab tab(service, agents);
        tab.resize(420, 400);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        tab.hide();
        tab.show();
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
        QVERIFY(tab.findChildren<QAbstractButton*>().isEmpty());
    }
};

QTEST_MAIN(tst_AITab)
#include "tst_AITab.moc"
