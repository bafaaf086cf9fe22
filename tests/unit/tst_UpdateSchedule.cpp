// When the automatic update check is due, at the edges of the period and with stamps that cannot be
// trusted, and the stamp written for an answer.
#include "services/UpdateSchedule.h"

#include <QTest>
#include <QTimeZone>

#include <optional>

Q_DECLARE_METATYPE(std::optional<QString>)

class tst_UpdateSchedule : public QObject {
    Q_OBJECT

private slots:
    void isDue_data() {
        QTest::addColumn<std::optional<QString>>("stored");
        QTest::addColumn<bool>("due");
        // The clock reads 2026-03-01T12:00:00Z.
        QTest::newRow("never checked") << std::optional<QString>() << true;
        QTest::newRow("empty text") << std::optional<QString>(QString()) << true;
        QTest::newRow("not a date") << std::optional<QString>("yesterday") << true;
        QTest::newRow("just now") << std::optional<QString>("2026-03-01T12:00:00.000Z") << false;
        QTest::newRow("exactly twenty hours") << std::optional<QString>("2026-02-28T16:00:00.000Z") << false;
        QTest::newRow("a second more") << std::optional<QString>("2026-02-28T15:59:59.000Z") << true;
        QTest::newRow("an hour ahead") << std::optional<QString>("2026-03-01T13:00:00.000Z") << false;
        QTest::newRow("just over an hour ahead")
            << std::optional<QString>("2026-03-01T13:00:01.000Z") << true;
        QTest::newRow("a year ahead") << std::optional<QString>("2027-03-01T12:00:00.000Z") << true;
        // Another zone's stamp counts by the instant it names.
        QTest::newRow("offset stamp, 19 h ago")
            << std::optional<QString>("2026-02-28T19:00:00.000+02:00") << false;
        QTest::newRow("offset stamp, 21 h ago")
            << std::optional<QString>("2026-02-28T15:00:00.000+00:00") << true;
    }
    void isDue() {
        QFETCH(std::optional<QString>, stored);
        QFETCH(bool, due);
        const QDateTime now(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
        QCOMPARE(UpdateSchedule::isDue(stored, now), due);
    }

    void stampReadsBackAsTheSameInstant() {
        const QDateTime local(QDate(2026, 7, 4), QTime(23, 59, 58, 123), QTimeZone(3600 * 5));
        const QString text = UpdateSchedule::stamp(local);
        QCOMPARE(text, QStringLiteral("2026-07-04T18:59:58.123Z"));
        QVERIFY(!UpdateSchedule::isDue(text, local));
        QVERIFY(UpdateSchedule::isDue(text, local.addSecs(UpdateSchedule::kIntervalSeconds + 1)));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateSchedule)
#include "tst_UpdateSchedule.moc"
