// The trust poll and the one-time explanation, with a fake probe and a temporary defaults file.
#include "fakes/TestSupport.h"
#include "platform/TrustProbe.h"
#include "services/AccessibilityAuth.h"
#include "services/Defaults.h"

#include <QSignalSpy>
#include <QTest>

namespace {

struct FakeProbe final : TrustProbe {
    bool trusted = false;
    bool isTrusted() const override { return trusted; }
};

} // namespace

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

    void pollAnnouncesOnlyRealChanges() {
        FakeProbe probe;
        AccessibilityAuth auth(probe, *m_defaults);
        QSignalSpy changed(&auth, &AccessibilityAuth::isTrustedChanged);
        auth.poll();
        QCOMPARE(changed.count(), 0);
        probe.trusted = true;
        auth.poll();
        auth.poll();
        QCOMPARE(changed.count(), 1);
        QVERIFY(auth.isTrusted());
        probe.trusted = false;
        auth.poll();
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.last().at(0).toBool(), false);
    }

    void revocationIsSeenWithinOnePollInterval() {
        FakeProbe probe;
        probe.trusted = true;
        AccessibilityAuth auth(probe, *m_defaults);
        probe.trusted = false;
        QTRY_VERIFY_WITH_TIMEOUT(!auth.isTrusted(), AccessibilityAuth::pollIntervalMs + 1000);
    }

    void trustedProcessShowsNothingAndKeepsTheFlag() {
        FakeProbe probe;
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
        FakeProbe probe;
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
