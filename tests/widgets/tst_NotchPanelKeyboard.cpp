// Who holds the keyboard around the island's panel, on a fake desktop: opening takes it, closing and
// letting it go hand it back to the window that had it (unless the user chose another one since), a
// press on the open island takes it again, and keys that arrive while the island does not want them
// never reach its fields.
#include "app/NotchPanel.h"
#include "fakes/FakeDesktopWindows.h"

#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

namespace {

constexpr quint32 kTerminal = 0x40000c;
constexpr quint32 kOther = 0x50000a;

} // namespace

class tst_NotchPanelKeyboard : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeDesktopWindows> m_fake;
    std::unique_ptr<NotchPanel> m_panel;
    QLineEdit* m_field = nullptr;

    quint32 panelId() const { return quint32(m_panel->winId()); }
    FakeDesktopWindows& desktop() { return *m_fake; }

    // Types one letter into the island's field as the window system would deliver it.
    void type(const QString& letter) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, letter);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, letter);
        QCoreApplication::sendEvent(m_field, &press);
        QCoreApplication::sendEvent(m_field, &release);
    }

private slots:
    void init() {
        m_fake = std::make_unique<FakeDesktopWindows>();
        FakeDesktopWindows& m_desktop = *m_fake;
        m_desktop.present = true;
        m_desktop.focus = kTerminal;
        m_desktop.existing = {kTerminal, kOther};
        auto* content = new QWidget;
        auto* column = new QVBoxLayout(content);
        m_field = new QLineEdit;
        column->addWidget(m_field);
        m_panel = std::make_unique<NotchPanel>(m_desktop, content);
        m_panel->show();
        m_field->setFocus();
    }
    void cleanup() {
        m_panel.reset();
        m_fake.reset();
    }

    void openingTakesAndClosingGivesBack() {
        m_panel->applyExpanded(true);
        QCOMPARE(desktop().focus, std::optional<quint32>(panelId()));
        QCOMPARE(m_panel->previousFocus(), kTerminal);
        type(QStringLiteral("a"));
        QCOMPARE(m_field->text(), QStringLiteral("a"));
        m_panel->applyExpanded(false);
        QCOMPARE(desktop().focus, std::optional<quint32>(kTerminal));
    }

    // Whatever way the keyboard left, typing that still arrives goes nowhere in the island.
    void keysAfterTheKeyboardLeftAreDropped_data() {
        QTest::addColumn<bool>("collapse");
        QTest::newRow("island closed") << true;
        QTest::newRow("keyboard let go, island open") << false;
    }
    void keysAfterTheKeyboardLeftAreDropped() {
        QFETCH(bool, collapse);
        m_panel->applyExpanded(true);
        if (collapse)
            m_panel->applyExpanded(false);
        else
            m_panel->releaseKeyboard();
        QCOMPARE(desktop().focus, std::optional<quint32>(kTerminal));
        QVERIFY(!m_panel->wantsKeyboard());
        type(QStringLiteral("b"));
        QCOMPARE(m_field->text(), QString());
    }

    void aPressOnTheOpenIslandTakesTheKeyboardAgain() {
        m_panel->applyExpanded(true);
        m_panel->releaseKeyboard();
        desktop().focusSets.clear();
        QTest::mouseClick(m_field, Qt::LeftButton);
        QCOMPARE(desktop().focus, std::optional<quint32>(panelId()));
        QVERIFY(m_panel->wantsKeyboard());
        type(QStringLiteral("c"));
        QCOMPARE(m_field->text(), QStringLiteral("c"));
        // Taken from the terminal again: closing still returns it there, not to the island itself.
        m_panel->applyExpanded(false);
        QCOMPARE(desktop().focus, std::optional<quint32>(kTerminal));
    }

    void aWindowChosenMeanwhileKeepsTheKeyboard() {
        m_panel->applyExpanded(true);
        desktop().focus = kOther; // the user clicked another program
        m_panel->releaseKeyboard();
        QCOMPARE(desktop().focus, std::optional<quint32>(kOther));
        m_panel->applyExpanded(false);
        QCOMPARE(desktop().focus, std::optional<quint32>(kOther));
        m_panel->settleKeyboard();
        QCOMPARE(desktop().focus, std::optional<quint32>(kOther));
    }

    // Left with nobody (a capture or dialog of ours went away) or with a window that closed meanwhile.
    void strayFocusGoesBack_data() {
        QTest::addColumn<quint32>("left");
        QTest::addColumn<bool>("terminalGone");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("nobody") << quint32(0) << false << kTerminal;
        QTest::newRow("pointer root") << quint32(1) << false << kTerminal;
        QTest::newRow("terminal closed meanwhile") << quint32(0) << true << quint32(1);
    }
    void strayFocusGoesBack() {
        QFETCH(quint32, left);
        QFETCH(bool, terminalGone);
        QFETCH(quint32, expected);
        m_panel->applyExpanded(true);
        m_panel->releaseKeyboard();
        desktop().focus = left;
        if (terminalGone)
            desktop().existing.remove(kTerminal);
        m_panel->settleKeyboard();
        QCOMPARE(desktop().focus, std::optional<quint32>(expected));
    }

    // Never opened, so nobody to return to: a close still never leaves the keyboard on the hidden island.
    void closingWithoutAnOpeningLeavesNoFocusOnTheIsland() {
        desktop().focus = quint32(m_panel->winId());
        m_panel->applyExpanded(false);
        QVERIFY(desktop().focus != std::optional<quint32>(panelId()));
    }
};

QTEST_MAIN(tst_NotchPanelKeyboard)
#include "tst_NotchPanelKeyboard.moc"
