// The trust answer, read once, and the one-time explanation, with a fake probe and a temporary defaults file.
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "services/AccessibilityAuth.h"
#include "services/Defaults.h"

#include <QSignalSpy>
#include <QTest>

class tst_AccessibilityAuth : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;

private slots:
    void init() {
        m_home = TestSupport::isolateHome();
        m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
    }
    void cleanup() {
        m_defaults.reset();
        m_home.reset();
    }

    // XTEST cannot come or go while the display connection lives: the probe is asked once, and a later
    // answer of its own (which a real probe never gives) changes nothing and wakes no one.
    void theProbeIsAskedOnce_data() {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("trusted") << true;
        QTest::newRow("untrusted") << false;
    }
    void theProbeIsAskedOnce() {
        QFETCH(bool, trusted);
        FakeTrustProbe probe;
        probe.trusted = trusted;
        AccessibilityAuth auth(probe, *m_defaults);
        QSignalSpy changed(&auth, &AccessibilityAuth::isTrustedChanged);
        QCOMPARE(auth.isTrusted(), trusted);
        QCOMPARE(probe.asked, 1);
        probe.trusted = !trusted;
        auth.request();
        QTest::qWait(300); // proves that no timer asks again
        QCOMPARE(probe.asked, 1);
        QCOMPARE(auth.isTrusted(), trusted);
        QCOMPARE(changed.count(), 0);
    }

    void trustedProcessShowsNothingAndKeepsTheFlag() {
        FakeTrustProbe probe;
        probe.trusted = true;
        AccessibilityAuth auth(probe, *m_defaults);
        int shown = 0;
        auth.setExplanation([&] { return ++shown, true; });
        auth.request();
        QCOMPARE(shown, 0);
        QVERIFY(!m_defaults->contains(AccessibilityAuth::promptedKey));
    }

    void explanationIsShownOnceWhateverTheAnswer_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("not now") << false;
        QTest::newRow("continue") << true;
    }

    void explanationIsShownOnceWhateverTheAnswer() {
        QFETCH(bool, answer);
        FakeTrustProbe probe;
        AccessibilityAuth auth(probe, *m_defaults);
        int shown = 0;
        bool flagSetBeforeShowing = false;
        auth.setExplanation([&] {
            ++shown;
            flagSetBeforeShowing = m_defaults->boolValue(AccessibilityAuth::promptedKey);
            return answer;
        });
        auth.request();
        QCOMPARE(shown, 1);
        QVERIFY(flagSetBeforeShowing);
        auth.request();
        QCOMPARE(shown, 1);

        // The flag is stored, so a later run does not explain again either.
        m_defaults->synchronize();
        Defaults reopened(m_defaults->filePath());
        AccessibilityAuth later(probe, reopened);
        later.setExplanation([&] { return ++shown, true; });
        later.request();
        QCOMPARE(shown, 1);
    }
};

QTEST_GUILESS_MAIN(tst_AccessibilityAuth)
#include "tst_AccessibilityAuth.moc"
