// Who holds the keyboard around the island's panel, on a fake desktop: opening takes it, closing and
// letting it go hand it back to the window that had it (unless the user chose another one since), a
// press on the open island takes it again, and keys that arrive while the island does not want them
// never reach its fields.
#include "app/NotchPanel.h"
#include "fakes/FakeDesktopWindows.h"

#include <QLineEdit>
#include <QRasterWindow>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtTest>

namespace {

constexpr quint32 kTerminal = 0x40000c;
constexpr quint32 kOther = 0x50000a;
constexpr quint32 kRoot = 0x1e5;

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
        m_desktop.root = kRoot;
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
        // A focus that reverted to the root from a window of ours that went away (fluxbox, icewm).
        QTest::newRow("root window") << kRoot << false << kTerminal;
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

    // A surface of ours went away over the open island that held the keyboard: the island takes it again,
    // and still returns it to the terminal when it closes. A window the user chose meanwhile keeps it.
    void strayFocusOverTheOpenIslandComesBack_data() {
        QTest::addColumn<quint32>("left");
        QTest::addColumn<bool>("toIsland");
        QTest::newRow("root window") << kRoot << true;
        QTest::newRow("nobody") << quint32(0) << true;
        QTest::newRow("another program") << kOther << false;
    }
    void strayFocusOverTheOpenIslandComesBack() {
        QFETCH(quint32, left);
        QFETCH(bool, toIsland);
        m_panel->applyExpanded(true);
        desktop().focus = left;
        m_panel->settleKeyboard();
        QCOMPARE(desktop().focus, std::optional<quint32>(toIsland ? panelId() : left));
        if (!toIsland)
            return;
        QCOMPARE(m_panel->previousFocus(), kTerminal);
        m_panel->applyExpanded(false);
        QCOMPARE(desktop().focus, std::optional<quint32>(kTerminal));
    }

    // One of our own windows that held the keyboard goes away (the overlay of a capture or of the colour
    // sampler) and the focus reverted to the root: it goes back to whoever had it before that window.
    void aWindowOfOursGoingAwayLeavesTheKeyboardWithWhoHadIt_data() {
        QTest::addColumn<bool>("released"); // the island had given the keyboard back before the window
        QTest::addColumn<quint32>("left");
        QTest::addColumn<quint32>("expected"); // 0: the panel
        QTest::newRow("island holding the keyboard") << false << kRoot << quint32(0);
        QTest::newRow("island released it") << true << kRoot << kTerminal;
        QTest::newRow("the user chose another program") << true << kOther << kOther;
    }
    void aWindowOfOursGoingAwayLeavesTheKeyboardWithWhoHadIt() {
        QFETCH(bool, released);
        QFETCH(quint32, left);
        QFETCH(quint32, expected);
        m_panel->applyExpanded(true);
        if (released)
            m_panel->releaseKeyboard();
        QRasterWindow overlay;
        overlay.show();
        QVERIFY(QTest::qWaitForWindowExposed(&overlay));
        desktop().focus = left;
        overlay.hide();
        QTRY_COMPARE(desktop().focus, std::optional<quint32>(expected ? expected : panelId()));
        QCoreApplication::processEvents();
        QCOMPARE(desktop().focus, std::optional<quint32>(expected ? expected : panelId()));
    }

    // The open island holds what is typed after a closing key until that key has moved the focus, then
    // lets it go to the window that has the keyboard by then; other keys never stop the keyboard.
    void aClosingKeyLetsTheKeyboardGoAfterItsWork_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes"); // the key hands the keyboard back, as the palette's do
        QTest::addColumn<int>("passes");
        QTest::newRow("Escape closing") << int(Qt::Key_Escape) << true << 1;
        QTest::newRow("Return closing") << int(Qt::Key_Return) << true << 1;
        QTest::newRow("keypad Enter kept") << int(Qt::Key_Enter) << false << 1;
        QTest::newRow("Escape kept") << int(Qt::Key_Escape) << false << 1;
        QTest::newRow("a letter") << int(Qt::Key_A) << false << 0;
    }
    void aClosingKeyLetsTheKeyboardGoAfterItsWork() {
        QFETCH(int, key);
        QFETCH(bool, closes);
        QFETCH(int, passes);
        m_panel->applyExpanded(true);
        QCOMPARE(desktop().holdingOn, m_panel->winId());
        desktop().passes = 0;
        desktop().passedTo.clear();
        if (closes)
            connect(m_field, &QLineEdit::returnPressed, m_panel.get(), &NotchPanel::releaseKeyboard);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(m_field, &press);
        if (closes && key == Qt::Key_Escape)
            m_panel->releaseKeyboard(); // as the palette's Escape does from its own handler
        const quint32 focusAfter = closes ? kTerminal : panelId();
        QCOMPARE(desktop().focus, std::optional<quint32>(focusAfter));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        // Once for the key, and once more where the keyboard was handed back: never before the hand-over.
        QCOMPARE(desktop().passes, passes + (closes ? 1 : 0));
        for (quint32 to : desktop().passedTo)
            QCOMPARE(to, focusAfter);
    }

    // Hovering the open island explains its buttons also while another window has the keyboard.
    void tooltipsShowWithoutTheKeyboard() {
        m_panel->setIslandShape(QRectF(QPointF(0, 0), m_panel->size()), 24); // the open island's shape
        auto* button = new QToolButton(m_panel->content());
        button->setToolTip(QStringLiteral("Quit Quillbay"));
        button->setGeometry(10, 10, 40, 40);
        button->show();
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        m_panel->applyExpanded(true);
        m_panel->releaseKeyboard();
        QVERIFY(!m_panel->isActiveWindow());
        QTest::mouseMove(button, QPoint(18, 20));
        QTest::mouseMove(button, QPoint(20, 20));
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("Quit Quillbay"));
        QToolTip::hideText();
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
