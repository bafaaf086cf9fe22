// The Pomodoro tab over a service driven by a fake clock: what it shows at launch, after a phase
// ends and while running, and what its chips and buttons do.
#include "fakes/FakeAlertSound.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "services/PomodoroService.h"
#include "views/ChipRow.h"
#include "views/IconButton.h"
#include "views/PomodoroTab.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>

class tst_PomodoroTab : public QObject {
    Q_OBJECT

    static QString ring(QWidget& tab) { return tab.findChild<QWidget*>("ring")->accessibleName(); }
    static QString label(QWidget& tab, const char* name) { return tab.findChild<QLabel*>(name)->text(); }
    static QPushButton* toggle(QWidget& tab) { return tab.findChild<QPushButton*>("toggle"); }

    QTranslator m_english;

private slots:
    void initTestCase() {
        QVERIFY(m_english.load(QStringLiteral("quillbay_en"), QStringLiteral(":/i18n")));
        QVERIFY(QCoreApplication::installTranslator(&m_english));
    }

    void launchState() {
        FakeClock clock;
        FakeTickerFactory tickers;
        PomodoroService service(clock, tickers);
        PomodoroTab tab(service);
        tab.resize(640, 280);
        QCOMPARE(ring(tab), QString("25:00 Foco"));
        QCOMPARE(toggle(tab)->text(), QString("Start"));
        QCOMPARE(label(tab, "hint"), QString("Start when you are ready."));
        QCOMPARE(label(tab, "count"), QString("0 sessions done"));
        QImage shot(tab.size(), QImage::Format_ARGB32);
        tab.render(&shot); // paints the ring and chips without tripping over anything
    }

    void afterAFinishedFocus() {
        FakeClock clock;
        FakeAlertSound sound;
        FakeTickerFactory tickers;
        PomodoroService service(clock, tickers, &sound);
        PomodoroTab tab(service);
        toggle(tab)->click();
        QCOMPARE(toggle(tab)->text(), QString("Pause"));
        QCOMPARE(label(tab, "hint"), QString("The timer keeps going with the island closed."));
        clock.advanceSeconds(1500);
        service.tick();
        QCOMPARE(ring(tab), QString("05:00 Pausa"));
        QCOMPARE(label(tab, "count"), QString("1 session done"));
        QCOMPARE(toggle(tab)->text(), QString("Start"));
        QCOMPARE(sound.plays, 1);
    }

    void chipsSelectAndButtonsAct_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("sounds");
        QTest::newRow("focus chip of the running focus") << "chip-0"
                                                         << "25:00 Foco" << 0;
        QTest::newRow("rest chip") << "chip-1"
                                   << "05:00 Pausa" << 0;
        QTest::newRow("reset") << "reset"
                               << "25:00 Foco" << 0;
        QTest::newRow("skip is silent") << "skip"
                                        << "05:00 Pausa" << 0;
    }
    void chipsSelectAndButtonsAct() {
        QFETCH(QString, control);
        QFETCH(QString, shown);
        QFETCH(int, sounds);
        FakeClock clock;
        FakeAlertSound sound;
        FakeTickerFactory tickers;
        PomodoroService service(clock, tickers, &sound);
        PomodoroTab tab(service);
        toggle(tab)->click();
        clock.advanceSeconds(61);
        service.tick();
        QCOMPARE(ring(tab), QString("23:59 Foco"));
        auto* button = tab.findChild<QAbstractButton*>(control);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!service.isRunning());
        QCOMPARE(ring(tab), shown);
        QCOMPARE(toggle(tab)->text(), QString("Start"));
        QCOMPARE(sound.plays, sounds);
        QCOMPARE(service.completedFocusSessions(), qint64(0));
    }

    void chipRowEmitsItsValue() {
        ChipRow row;
        row.setChips({{"a", "circle", 7}, {"b", "circle", 3}});
        QSignalSpy chosen(&row, &ChipRow::chosen);
        row.button(3)->click();
        row.button(7)->click();
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(chosen.at(0).at(0).toInt(), 3);
        QCOMPARE(chosen.at(1).at(0).toInt(), 7);
        QVERIFY(!row.button(5));
        // Replacing the chips drops the old buttons.
        row.setChips({{"c", "circle", 1}});
        QVERIFY(!row.button(3));
        QVERIFY(row.button(1));
    }
};

QTEST_MAIN(tst_PomodoroTab)
#include "tst_PomodoroTab.moc"
