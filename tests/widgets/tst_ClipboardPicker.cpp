// The quick-paste picker offscreen: every key of the view on Recent and Pinned lists, the confirmation
// and its delay, the panel's placement, and the hand-back of the focus and the paste keys.
#include "app/ClipboardPickerController.h"
#include "fakes/FakeActiveWindow.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeKeyEvents.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeTicker.h"
#include "fakes/TestSupport.h"
#include "platform/TrustProbe.h"
#include "services/AccessibilityAuth.h"
#include "services/ClipboardService.h"
#include "services/Defaults.h"
#include "views/ClipEntryButton.h"
#include "views/ClipboardPickerView.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

struct Probe final : TrustProbe {
    bool trusted = true;
    bool isTrusted() const override { return trusted; }
};

using Section = ClipboardPickerView::Section;
using KeyList = QList<QPair<int, int>>; // key, modifiers

} // namespace

class tst_ClipboardPicker : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<FakePasteboard> m_boardPtr = std::make_unique<FakePasteboard>();
    FakeClock m_clock;
    FakeTickerFactory m_tickers;
    Probe m_probe;
    std::unique_ptr<AccessibilityAuth> m_auth;
    std::unique_ptr<ClipboardService> m_service;
    int m_selected = 0;
    int m_closed = 0;

    // The history, newest first: unpinned "r0".."r<recent-1>" and pinned "p0".."p<pinned-1>".
    void fill(int recent, int pinned) {
        for (int i = pinned - 1; i >= 0; --i) {
            m_boardPtr->copy(QStringLiteral("p%1").arg(i));
            m_service->poll();
            m_service->togglePin(m_service->items().first());
        }
        for (int i = recent - 1; i >= 0; --i) {
            m_boardPtr->copy(QStringLiteral("r%1").arg(i));
            m_service->poll();
        }
    }
    std::unique_ptr<ClipboardPickerView> makeView() {
        auto view = std::make_unique<ClipboardPickerView>(
            *m_service, *m_auth, m_tickers, [this] { ++m_selected; }, [this] { ++m_closed; });
        view->show();
        return view;
    }
    // Lets every delay of the picker run out once; returns how many of them were armed.
    int fireEveryDelay() {
        int fired = 0;
        for (int ms : {ClipboardPickerController::kRetryMs, ClipboardPickerController::kPasteDelayMs,
                       ClipboardPickerView::kTrustedDelayMs, ClipboardPickerView::kUntrustedDelayMs})
            fired += m_tickers.fire(ms);
        return fired;
    }
    static QStringList shownTexts(const ClipboardPickerView& v) {
        QStringList out;
        for (const ClipItem& i : v.items())
            out << i.text;
        return out;
    }

private slots:
    void init() {
        m_home = TestSupport::isolateHome();
        m_defaults = std::make_unique<Defaults>(m_home->filePath(QStringLiteral("defaults.json")));
        m_boardPtr = std::make_unique<FakePasteboard>();
        m_probe.trusted = true;
        m_auth = std::make_unique<AccessibilityAuth>(m_probe, *m_defaults);
        m_service = std::make_unique<ClipboardService>(*m_boardPtr, m_clock,
                                                       m_home->filePath(QStringLiteral("clip.json")));
        m_selected = 0;
        m_closed = 0;
    }
    void cleanup() {
        m_service.reset();
        m_auth.reset();
        m_defaults.reset();
    }

    void opensOnTheRightSection_data() {
        QTest::addColumn<int>("recent");
        QTest::addColumn<int>("pinned");
        QTest::addColumn<int>("section");
        QTest::addColumn<QString>("empty");
        QTest::newRow("empty history")
            << 0 << 0 << int(Section::pinned) << "Pin items with ⌘P — they stay here for good";
        QTest::newRow("pins only") << 0 << 2 << int(Section::pinned) << QString();
        QTest::newRow("recent only") << 2 << 0 << int(Section::recent) << QString();
        QTest::newRow("both") << 1 << 1 << int(Section::recent) << QString();
    }
    void opensOnTheRightSection() {
        QFETCH(int, recent);
        QFETCH(int, pinned);
        QFETCH(int, section);
        QFETCH(QString, empty);
        fill(recent, pinned);
        auto view = makeView();
        QCOMPARE(int(view->section()), section);
        QCOMPARE(view->selectedIndex(), 0);
        auto* emptyLabel = view->findChild<QLabel*>(QStringLiteral("empty"));
        QCOMPARE(emptyLabel->isVisible(), !empty.isEmpty());
        if (!empty.isEmpty())
            QCOMPARE(emptyLabel->text(), empty);
    }

    // Keys typed into a picker over 3 recent and 2 pinned entries, and where they leave it.
    void keys_data() {
        QTest::addColumn<KeyList>("keys");
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("copied");     // the entry put on the clipboard, if any
        QTest::addColumn<QStringList>("pinned"); // pinned texts afterwards, in history order
        const QStringList pins{"p0", "p1"};
        using K = KeyList;
        const int none = Qt::NoModifier;
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("down") << K{{Qt::Key_Down, none}} << int(Section::recent) << 1 << QString() << pins;
        QTest::newRow("down past the end")
            << K{{Qt::Key_Down, none}, {Qt::Key_Down, none}, {Qt::Key_Down, none}} << int(Section::recent)
            << 2 << QString() << pins;
        QTest::newRow("up on the first")
            << K{{Qt::Key_Up, none}} << int(Section::recent) << 0 << QString() << pins;
        QTest::newRow("right") << K{{Qt::Key_Down, none}, {Qt::Key_Right, none}} << int(Section::pinned) << 0
                               << QString() << pins;
        QTest::newRow("left on recent keeps the index") << K{{Qt::Key_Down, none}, {Qt::Key_Left, none}}
                                                        << int(Section::recent) << 1 << QString() << pins;
        QTest::newRow("tab") << K{{Qt::Key_Tab, none}} << int(Section::pinned) << 0 << QString() << pins;
        QTest::newRow("tab twice") << K{{Qt::Key_Tab, none}, {Qt::Key_Tab, none}} << int(Section::recent) << 0
                                   << QString() << pins;
        QTest::newRow("backtab") << K{{Qt::Key_Backtab, Qt::ShiftModifier}} << int(Section::pinned) << 0
                                 << QString() << pins;
        QTest::newRow("return") << K{{Qt::Key_Down, none}, {Qt::Key_Return, none}} << int(Section::recent)
                                << 1 << "r1" << pins;
        QTest::newRow("enter on pinned")
            << K{{Qt::Key_Tab, none}, {Qt::Key_Down, none}, {Qt::Key_Enter, Qt::KeypadModifier}}
            << int(Section::pinned) << 1 << "p1" << pins;
        QTest::newRow("digit 3") << K{{Qt::Key_3, none}} << int(Section::recent) << 0 << "r2" << pins;
        QTest::newRow("ctrl digit 2") << K{{Qt::Key_2, ctrl}} << int(Section::recent) << 0 << "r1" << pins;
        QTest::newRow("keypad digit 1")
            << K{{Qt::Key_1, Qt::KeypadModifier}} << int(Section::recent) << 0 << "r0" << pins;
        QTest::newRow("digit past the list")
            << K{{Qt::Key_4, none}} << int(Section::recent) << 0 << QString() << pins;
        QTest::newRow("digit 0") << K{{Qt::Key_0, none}} << int(Section::recent) << 0 << QString() << pins;
        QTest::newRow("digit 3 on pinned")
            << K{{Qt::Key_Tab, none}, {Qt::Key_3, none}} << int(Section::pinned) << 0 << QString() << pins;
        QTest::newRow("ctrl p on the last recent row")
            << K{{Qt::Key_Down, none}, {Qt::Key_Down, none}, {Qt::Key_P, ctrl}} << int(Section::recent) << 1
            << QString() << QStringList{"r2", "p0", "p1"};
        QTest::newRow("ctrl shift p") << K{{Qt::Key_P, ctrl | Qt::ShiftModifier}} << int(Section::recent) << 0
                                      << QString() << QStringList{"r0", "p0", "p1"};
        QTest::newRow("ctrl p unpins on pinned")
            << K{{Qt::Key_Right, none}, {Qt::Key_P, ctrl}} << int(Section::pinned) << 0 << QString()
            << QStringList{"p1"};
        QTest::newRow("plain p") << K{{Qt::Key_P, none}} << int(Section::recent) << 0 << QString() << pins;
        QTest::newRow("two returns") << K{{Qt::Key_Return, none},
                                          {Qt::Key_Down, none},
                                          {Qt::Key_Return, none}}
                                     << int(Section::recent) << 1 << "r0" << pins;
    }
    void keys() {
        QFETCH(KeyList, keys);
        QFETCH(int, section);
        QFETCH(int, index);
        QFETCH(QString, copied);
        QFETCH(QStringList, pinned);
        fill(3, 2);
        auto view = makeView();
        for (const auto& [key, mods] : keys)
            QTest::keyClick(view.get(), Qt::Key(key), Qt::KeyboardModifiers(mods));
        QCOMPARE(int(view->section()), section);
        QCOMPARE(view->selectedIndex(), index);
        QCOMPARE(m_boardPtr->written, copied.isEmpty() ? QStringList() : QStringList{copied});
        QStringList nowPinned;
        for (const ClipItem& i : m_service->items())
            if (i.pinned)
                nowPinned << i.text;
        QCOMPARE(nowPinned, pinned);
        // A choice hands over once, after its delay.
        QCOMPARE(m_selected, 0);
        QCOMPARE(m_tickers.fire(ClipboardPickerView::kTrustedDelayMs), copied.isEmpty() ? 0 : 1);
        QCOMPARE(m_selected, copied.isEmpty() ? 0 : 1);
        QCOMPARE(fireEveryDelay(), 0);
        QCOMPARE(m_selected, copied.isEmpty() ? 0 : 1);
        QCOMPARE(m_closed, 0);
    }

    void ignoredKeysPassOn_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mods");
        QTest::newRow("plain p") << int(Qt::Key_P) << int(Qt::NoModifier);
        QTest::newRow("letter") << int(Qt::Key_A) << int(Qt::NoModifier);
        QTest::newRow("digit 0") << int(Qt::Key_0) << int(Qt::NoModifier);
        QTest::newRow("alt p") << int(Qt::Key_P) << int(Qt::AltModifier);
    }
    void ignoredKeysPassOn() {
        QFETCH(int, key);
        QFETCH(int, mods);
        fill(1, 0);
        auto view = makeView();
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(mods));
        QApplication::sendEvent(view.get(), &press);
        QVERIFY(!press.isAccepted());
        QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &ret);
        QVERIFY(ret.isAccepted());
    }

    void escapeCloses() {
        fill(1, 0);
        auto view = makeView();
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QCOMPARE(m_closed, 1);
        QVERIFY(m_boardPtr->written.isEmpty());
    }

    void emptySectionIgnoresChoices() {
        fill(0, 0);
        auto view = makeView();
        QTest::keyClick(view.get(), Qt::Key_Return);
        QTest::keyClick(view.get(), Qt::Key_1);
        view->choose(0);
        QVERIFY(m_boardPtr->written.isEmpty());
        QVERIFY(view->confirmedID().isNull());
    }

    void confirmationLabelAndDelay_data() {
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<int>("delay");
        QTest::newRow("trusted") << true << "Pasted"
                                 << "↵ PASTE · ⌘P PIN" << ClipboardPickerView::kTrustedDelayMs;
        QTest::newRow("not trusted") << false << "Copied — press ⌘V"
                                     << "↵ COPY · ⌘P PIN" << ClipboardPickerView::kUntrustedDelayMs;
    }
    void confirmationLabelAndDelay() {
        QFETCH(bool, trusted);
        QFETCH(QString, label);
        QFETCH(QString, hint);
        QFETCH(int, delay);
        m_probe.trusted = trusted;
        m_auth = std::make_unique<AccessibilityAuth>(m_probe, *m_defaults); // it asks the probe once
        fill(2, 0);
        auto view = makeView();
        QCOMPARE(view->findChild<QLabel*>(QStringLiteral("hint"))->text(), hint);
        view->findChild<QWidget*>(QStringLiteral("row-1"))->findChild<ClipEntryButton*>()->click();
        QCOMPARE(view->confirmedID(), m_service->items().at(1).id);
        auto* entry = view->findChild<QWidget*>(QStringLiteral("row-1"))->findChild<ClipEntryButton*>();
        QVERIFY(entry->isConfirmed());
        QCOMPARE(entry->shownText(), label);
        // Only the delay of this trust runs, and nothing is handed over before it ends.
        const int other =
            trusted ? ClipboardPickerView::kUntrustedDelayMs : ClipboardPickerView::kTrustedDelayMs;
        QCOMPARE(m_tickers.fire(other), 0);
        QCOMPARE(m_selected, 0);
        QCOMPARE(m_tickers.fire(delay), 1);
        QCOMPARE(m_selected, 1);
    }

    // A picker closed while its confirmation shows hands nothing over later.
    void closedPickerHandsNothingOver() {
        fill(1, 0);
        auto view = makeView();
        QTest::keyClick(view.get(), Qt::Key_Return);
        QVERIFY(m_tickers.isRunning(ClipboardPickerView::kTrustedDelayMs));
        view.reset();
        QCOMPARE(fireEveryDelay(), 0);
        QCOMPARE(m_selected, 0);
        QCOMPARE(m_boardPtr->written, QStringList{"r0"});
    }

    void rowsShowLineBreaksAsReturnSymbols() {
        m_boardPtr->copy(QStringLiteral("one\ntwo"));
        m_service->poll();
        auto view = makeView();
        auto* entry = view->findChild<QWidget*>(QStringLiteral("row-0"))->findChild<ClipEntryButton*>();
        QCOMPARE(entry->shownText(), QStringLiteral("one \u23CE two"));
    }

    void placement_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QRectF>("visible");
        QTest::addColumn<QRectF>("expected");
        const QRectF screen(0, 30, 1920, 1050); // y downwards, a top bar of 30
        QTest::newRow("lower left corner")
            << QPointF(0, 1080) << screen << QRectF(12, 1080 - 12 - 380, 340, 380);
        QTest::newRow("near the top") << QPointF(800, 40) << screen << QRectF(630, 56, 340, 380);
        QTest::newRow("right edge") << QPointF(1919, 500) << screen << QRectF(1920 - 12 - 340, 516, 340, 380);
        QTest::newRow("second screen left of the first")
            << QPointF(-1000, 300) << QRectF(-1280, 0, 1280, 1024) << QRectF(-1170, 316, 340, 380);
        QTest::newRow("too small: top and right win")
            << QPointF(100, 100) << QRectF(0, 0, 300, 300) << QRectF(300 - 12 - 340, 12, 340, 380);
    }
    void placement() {
        QFETCH(QPointF, pointer);
        QFETCH(QRectF, visible);
        QFETCH(QRectF, expected);
        QCOMPARE(ClipboardPickerController::position(QSizeF(340, 380), pointer, visible), expected);
    }

    void choosingHandsBackAndPastesOnce() {
        FakeActiveWindow windows;
        FakeKeyEvents keys;
        windows.current = WindowRef{42, 4242};
        ClipboardPickerController controller(*m_service, *m_auth, windows, keys, m_clock, m_tickers);
        QSignalSpy posted(&controller, &ClipboardPickerController::pastePosted);
        fill(2, 0);
        controller.show();
        QVERIFY(controller.isShown());
        QCOMPARE(controller.previousApp(), (WindowRef{42, 4242}));
        windows.current = WindowRef{7, 700}; // the picker has the focus now
        QTest::keyClick(controller.view(), Qt::Key_Return);
        QTest::keyClick(controller.view(), Qt::Key_Return);
        QVERIFY(controller.isShown()); // the confirmation shows first
        QCOMPARE(m_tickers.fire(ClipboardPickerView::kTrustedDelayMs), 1);
        QVERIFY(!controller.isShown());
        QCOMPARE(windows.activations, (QList<WindowRef>{{42, 4242}}));
        // Ready at once, the keys still wait out the paste delay.
        QCOMPARE(keys.pastes, 0);
        QCOMPARE(m_tickers.fire(ClipboardPickerController::kPasteDelayMs), 1);
        QCOMPARE(posted.count(), 1);
        QCOMPARE(keys.pastes, 1);
        QCOMPARE(m_boardPtr->written, QStringList{"r0"});
        QCOMPARE(fireEveryDelay(), 0);
        QCOMPARE(keys.pastes, 1);
    }

    void pasteWaitsForModifiersAndTheTarget_data() {
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<bool>("writing");
        QTest::newRow("shift held") << true << false << false;
        QTest::newRow("target never returns") << false << true << false;
        // The clipboard is written by a thread of its own: keys sent before the text is there would paste
        // the old one.
        QTest::newRow("chosen text still on its way") << false << false << true;
    }
    void pasteWaitsForModifiersAndTheTarget() {
        QFETCH(bool, held);
        QFETCH(bool, refuse);
        QFETCH(bool, writing);
        FakeActiveWindow windows;
        FakeKeyEvents keys;
        windows.current = WindowRef{42, 4242};
        ClipboardPickerController controller(*m_service, *m_auth, windows, keys, m_clock, m_tickers);
        QSignalSpy posted(&controller, &ClipboardPickerController::pastePosted);
        fill(1, 0);
        controller.show();
        windows.current = WindowRef{7, 700};
        windows.refuseActivation = refuse;
        keys.held = held;
        m_boardPtr->busy = writing;
        QTest::keyClick(controller.view(), Qt::Key_Return);
        QCOMPARE(m_tickers.fire(ClipboardPickerView::kTrustedDelayMs), 1);
        for (int retry = 0; retry < 5; ++retry) {
            m_clock.advanceMs(ClipboardPickerController::kRetryMs);
            QCOMPARE(m_tickers.fire(ClipboardPickerController::kRetryMs), 1); // still waiting
        }
        QCOMPARE(m_tickers.fire(ClipboardPickerController::kPasteDelayMs), 0);
        QCOMPARE(posted.count(), 0);
        if (held)
            keys.held = false; // released: goes at once
        else if (writing)
            m_boardPtr->busy = false; // the text is there: goes at once
        else
            m_clock.advanceMs(
                ClipboardPickerController::kPasteDeadlineMs); // the deadline passes: goes anyway
        QCOMPARE(m_tickers.fire(ClipboardPickerController::kRetryMs), 1);
        QVERIFY(!m_tickers.isRunning(ClipboardPickerController::kRetryMs));
        QCOMPARE(m_tickers.fire(ClipboardPickerController::kPasteDelayMs), 1);
        QCOMPARE(posted.count(), 1);
        QCOMPARE(keys.pastes, 1);
    }

    // The keys that paste in the window the picker came from: terminals take Control+V as a character.
    void pasteKeysFollowTheTarget_data() {
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("className");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QStringList>("primary");
        QTest::newRow("xterm: Shift+Insert, from the primary selection")
            << "xterm"
            << "XTerm" << int(PasteKeys::shiftInsert) << QStringList{"r1"};
        QTest::newRow("GNOME Terminal: Control+Shift+V")
            << "gnome-terminal-server"
            << "Gnome-terminal" << int(PasteKeys::controlShiftV) << QStringList{};
        QTest::newRow("a Tk window: Control+V") << "wish"
                                                << "Tk" << int(PasteKeys::controlV) << QStringList{};
        QTest::newRow("a window without a class: Control+V")
            << ""
            << "" << int(PasteKeys::controlV) << QStringList{};
    }
    void pasteKeysFollowTheTarget() {
        QFETCH(QString, instance);
        QFETCH(QString, className);
        QFETCH(int, keys);
        QFETCH(QStringList, primary);
        FakeActiveWindow windows;
        FakeKeyEvents keyEvents;
        windows.current = WindowRef{42, 4242};
        windows.classes.insert(42, WindowClass{instance, className});
        ClipboardPickerController controller(*m_service, *m_auth, windows, keyEvents, m_clock, m_tickers);
        QSignalSpy posted(&controller, &ClipboardPickerController::pastePosted);
        fill(2, 0);
        controller.show();
        windows.current = WindowRef{7, 700};
        QTest::keyClick(controller.view(), Qt::Key_2);
        QCOMPARE(m_tickers.fire(ClipboardPickerView::kTrustedDelayMs), 1);
        QCOMPARE(m_tickers.fire(ClipboardPickerController::kPasteDelayMs), 1);
        QCOMPARE(posted.count(), 1);
        QCOMPARE(keyEvents.sent, QList<PasteKeys>{PasteKeys(keys)});
        QCOMPARE(m_boardPtr->written, QStringList{"r1"});
        QCOMPARE(m_boardPtr->primary, primary);
    }

    void shortListsKeepTheirRowsHeight_data() {
        QTest::addColumn<int>("rows");
        QTest::newRow("one entry") << 1;
        QTest::newRow("three entries") << 3;
    }
    void shortListsKeepTheirRowsHeight() {
        QFETCH(int, rows);
        fill(rows, 0);
        auto view = makeView();
        QTRY_VERIFY(view->findChild<QWidget*>(QStringLiteral("row-0")));
        for (int i = 0; i < rows; ++i) {
            auto* row = view->findChild<QWidget*>(QStringLiteral("row-%1").arg(i));
            QVERIFY(row);
            QCOMPARE(row->height(), row->sizeHint().height());
            QVERIFY2(row->height() < 60, qPrintable(QString::number(row->height())));
        }
        // They sit at the top of the list, one under the other.
        auto* first = view->findChild<QWidget*>(QStringLiteral("row-0"));
        QCOMPARE(first->y(), 0);
    }

    void panelIsCutToItsShapeWithoutACompositor_data() {
        QTest::addColumn<bool>("composited");
        QTest::newRow("with a compositor") << true;
        QTest::newRow("without one") << false;
    }
    void panelIsCutToItsShapeWithoutACompositor() {
        QFETCH(bool, composited);
        FakeActiveWindow windows;
        FakeKeyEvents keys;
        ClipboardPickerController controller(*m_service, *m_auth, windows, keys, m_clock, m_tickers,
                                             [composited] { return composited; });
        controller.show();
        const QRegion mask = controller.panel()->mask();
        QCOMPARE(mask.isEmpty(), composited);
        if (composited)
            return;
        const int w = ClipboardPickerView::kWidth, h = ClipboardPickerView::kHeight;
        for (const QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
            QVERIFY2(!mask.contains(corner),
                     qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
        for (const QPoint inside :
             {QPoint(w / 2, 0), QPoint(w / 2, h / 2), QPoint(0, h / 2), QPoint(w / 2, h - 2)})
            QVERIFY2(mask.contains(inside),
                     qPrintable(QStringLiteral("%1,%2").arg(inside.x()).arg(inside.y())));
    }

    void notTrustedCopiesOnlyAndExplainsOnce() {
        m_probe.trusted = false;
        m_auth = std::make_unique<AccessibilityAuth>(m_probe, *m_defaults); // it asks the probe once
        int explained = 0;
        m_auth->setExplanation([&] { return ++explained, false; });
        FakeActiveWindow windows;
        FakeKeyEvents keys;
        windows.current = WindowRef{42, std::nullopt};
        ClipboardPickerController controller(*m_service, *m_auth, windows, keys, m_clock, m_tickers);
        fill(1, 0);
        controller.show();
        QTest::keyClick(controller.view(), Qt::Key_Return);
        QCOMPARE(m_tickers.fire(ClipboardPickerView::kUntrustedDelayMs), 1);
        QVERIFY(!controller.isShown());
        QCOMPARE(explained, 1);
        QCOMPARE(windows.activations.size(), 1);
        // Nothing pastes the earlier choice later.
        QCOMPARE(fireEveryDelay(), 0);
        QCOMPARE(keys.pastes, 0);
        QCOMPARE(m_boardPtr->written, QStringList{"r0"});
    }

    void hideAndToggleHandTheFocusBack() {
        FakeActiveWindow windows;
        FakeKeyEvents keys;
        windows.current = WindowRef{42, 4242};
        ClipboardPickerController controller(*m_service, *m_auth, windows, keys, m_clock, m_tickers);
        controller.toggle();
        QVERIFY(controller.isShown());
        controller.toggle();
        QVERIFY(!controller.isShown());
        QCOMPARE(windows.activations, (QList<WindowRef>{{42, 4242}}));
        controller.show();
        QTest::keyClick(controller.view(), Qt::Key_Escape);
        QVERIFY(!controller.isShown());
        QCOMPARE(windows.activations.size(), 2);
        controller.hide(); // already hidden: nothing to hand back
        QCOMPARE(windows.activations.size(), 2);
        QCOMPARE(keys.pastes, 0);
    }

    void noPreviousWindowLeavesTheTextOnTheClipboard() {
        FakeActiveWindow windows;
        FakeKeyEvents keys;
        ClipboardPickerController controller(*m_service, *m_auth, windows, keys, m_clock, m_tickers);
        fill(1, 0);
        controller.show();
        QTest::keyClick(controller.view(), Qt::Key_Return);
        QCOMPARE(m_tickers.fire(ClipboardPickerView::kTrustedDelayMs), 1);
        QVERIFY(!controller.isShown());
        QCOMPARE(fireEveryDelay(), 0);
        QVERIFY(windows.activations.isEmpty());
        QCOMPARE(keys.pastes, 0);
        QCOMPARE(m_boardPtr->written, QStringList{"r0"});
    }

    void eachShowStartsFresh() {
        FakeActiveWindow windows;
        FakeKeyEvents keys;
        ClipboardPickerController controller(*m_service, *m_auth, windows, keys, m_clock, m_tickers);
        fill(3, 1);
        controller.show();
        QTest::keyClick(controller.view(), Qt::Key_Down);
        QTest::keyClick(controller.view(), Qt::Key_Tab);
        controller.hide();
        controller.show();
        QCOMPARE(int(controller.view()->section()), int(Section::recent));
        QCOMPARE(controller.view()->selectedIndex(), 0);
    }
};

QTEST_MAIN(tst_ClipboardPicker)
#include "tst_ClipboardPicker.moc"
