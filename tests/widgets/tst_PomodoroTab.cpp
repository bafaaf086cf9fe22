// The Pomodoro tab over a service driven by a fake clock: what it shows at launch, after a phase
// ends and while running, and what its chips and buttons do.
#include "fakes/FakeAlertSound.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "services/PomodoroService.h"
#include "views/ChipRow.h"
#include "views/IconButton.h"
#include "views/PomodoroTab.h"
#include "views/SystemColors.h"

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

    // Starting and pausing change the button's label and the hint below it, never where the centred
    // block of controls stands: the button's capsule stays on the same rows of pixels.
    void startingKeepsTheControlsInPlace_data() {
        QTest::addColumn<PomodoroPhase>("phase");
        QTest::addColumn<QColor>("accent");
        QTest::newRow("focus") << PomodoroPhase::focus << SystemColors::red();
        QTest::newRow("rest") << PomodoroPhase::rest << SystemColors::cyan();
    }
    void startingKeepsTheControlsInPlace() {
        QFETCH(PomodoroPhase, phase);
        QFETCH(QColor, accent);
        FakeClock clock;
        FakeTickerFactory tickers;
        PomodoroService service(clock, tickers);
        service.select(phase);
        PomodoroTab tab(service);
        tab.resize(612, 280);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        // The rows the capsule covers, right of the ring: its accent at 0.85 over the island's black.
        const QColor fill(int(accent.red() * 0.85), int(accent.green() * 0.85), int(accent.blue() * 0.85));
        auto capsuleRows = [&] {
            QImage shot(tab.size(), QImage::Format_ARGB32);
            shot.fill(Qt::black);
            tab.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren); // on the island's black
            int top = -1, bottom = -1;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = shot.width() / 2; x < shot.width(); ++x) {
                    const QColor c = shot.pixelColor(x, y);
                    if (std::abs(c.red() - fill.red()) + std::abs(c.green() - fill.green()) +
                            std::abs(c.blue() - fill.blue()) <
                        12) {
                        if (top < 0)
                            top = y;
                        bottom = y;
                    }
                }
            return std::pair(top, bottom);
        };
        // A changed text relays the label, then its box, then the row the box is centred in: one pass of
        // the event loop each.
        const auto settle = [] {
            for (int pass = 0; pass < 4; ++pass)
                QCoreApplication::processEvents();
        };
        settle();
        const auto idle = capsuleRows();
        QVERIFY(idle.first >= 0 && idle.second - idle.first > 10);
        toggle(tab)->click();
        QVERIFY(service.isRunning());
        settle();
        QCOMPARE(capsuleRows(), idle);
        toggle(tab)->click();
        settle();
        QCOMPARE(capsuleRows(), idle);
    }

    void afterAFinishedFocus() {
        FakeClock clock;
        FakeAlertSound sound;
        FakeTickerFactory tickers;
        PomodoroService service(clock, tickers, sound);
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
        PomodoroService service(clock, tickers, sound);
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
