// The edge between stored hot-key codes and the program's Qt keys: every stored code the recorder can
// write reads back as the key it was recorded from, unknown codes read as no key, and the modifier
// flags map both ways for every combination.
#include "platform/KeyCodes.h"

#include <QTest>

#include <limits>

namespace {

constexpr quint32 allFlags[] = {KeyCodes::shiftFlag, KeyCodes::controlFlag, KeyCodes::optionFlag,
                                KeyCodes::commandFlag};

} // namespace

class tst_KeyCodes : public QObject {
    Q_OBJECT
private slots:
    void everyStoredCodeRoundTrips();
    void recordedKeysReadBackAsTheSameKey_data();
    void recordedKeysReadBackAsTheSameKey();
    void unknownStoredCodesNameNoKey_data();
    void unknownStoredCodesNameNoKey();
    void everyModifierCombinationRoundTrips();
    void foreignModifierBitsAreDropped_data();
    void foreignModifierBitsAreDropped();
};

void tst_KeyCodes::everyStoredCodeRoundTrips() {
    // Every code of the table (codes are 7-bit) is a Qt key the recorder turns back into that code,
    // and one the X11 grabs can name.
    int known = 0;
    for (qint64 code = 0; code < 256; ++code) {
        const auto combination = KeyCodes::toQt(code, KeyCodes::controlFlag);
        if (!combination)
            continue;
        ++known;
        const Qt::KeyboardModifiers modifiers = combination->keyboardModifiers();
        QVERIFY2(modifiers.testFlag(Qt::ControlModifier), qPrintable(QString::number(code)));
        QCOMPARE(KeyCodes::fromQtKey(combination->key(), modifiers), std::optional<int>(int(code)));
        QVERIFY2(KeyCodes::x11Keysym(combination->key(), modifiers).has_value(),
                 qPrintable(QString::number(code)));
    }
    QCOMPARE(known, 94); // letters, digits, punctuation, the named keys, F1–F20 and the keypad
}

void tst_KeyCodes::recordedKeysReadBackAsTheSameKey_data() {
    // What a press gives Qt, the stored code, and the Qt key the program grabs for it.
    QTest::addColumn<int>("pressed");
    QTest::addColumn<Qt::KeyboardModifiers>("pressedModifiers");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QKeyCombination>("grabbed");
    const Qt::KeyboardModifiers ctrl(Qt::ControlModifier);
    const Qt::KeyboardModifiers shiftCtrl = Qt::ShiftModifier | Qt::ControlModifier;
    QTest::newRow("J") << int(Qt::Key_J) << ctrl << 38 << QKeyCombination(ctrl, Qt::Key_J);
    QTest::newRow("shifted digit is its key")
        << int(Qt::Key_Exclam) << shiftCtrl << 18 << QKeyCombination(shiftCtrl, Qt::Key_1);
    QTest::newRow("backtab is tab") << int(Qt::Key_Backtab) << shiftCtrl << 48
                                    << QKeyCombination(shiftCtrl, Qt::Key_Tab);
    QTest::newRow("keypad digit stays on the keypad")
        << int(Qt::Key_5) << (ctrl | Qt::KeypadModifier) << 87
        << QKeyCombination(ctrl | Qt::KeypadModifier, Qt::Key_5);
    QTest::newRow("enter without the keypad flag")
        << int(Qt::Key_Enter) << ctrl << 76 << QKeyCombination(ctrl | Qt::KeypadModifier, Qt::Key_Enter);
    QTest::newRow("F20") << int(Qt::Key_F20) << ctrl << 90 << QKeyCombination(ctrl, Qt::Key_F20);
}

void tst_KeyCodes::recordedKeysReadBackAsTheSameKey() {
    QFETCH(int, pressed);
    QFETCH(Qt::KeyboardModifiers, pressedModifiers);
    QFETCH(int, stored);
    QFETCH(QKeyCombination, grabbed);
    QCOMPARE(KeyCodes::fromQtKey(pressed, pressedModifiers), std::optional<int>(stored));
    const quint32 flags = KeyCodes::flagsFromQt(pressedModifiers);
    QCOMPARE(KeyCodes::toQt(stored, flags), std::optional<QKeyCombination>(grabbed));
}

void tst_KeyCodes::unknownStoredCodesNameNoKey_data() {
    QTest::addColumn<qint64>("code");
    QTest::newRow("switched off") << qint64(-1);
    QTest::newRow("gap in the table") << qint64(10);
    QTest::newRow("past the table") << qint64(128);
    QTest::newRow("a table code beyond 32 bits") << (qint64(1) << 32) + 45;
    QTest::newRow("top of 32 bits") << qint64(0xFFFFFFFFLL);
    QTest::newRow("lowest int") << qint64(std::numeric_limits<int>::min());
}

void tst_KeyCodes::unknownStoredCodesNameNoKey() {
    QFETCH(qint64, code);
    QCOMPARE(KeyCodes::toQt(code, KeyCodes::controlFlag), std::nullopt);
}

void tst_KeyCodes::everyModifierCombinationRoundTrips() {
    for (quint32 subset = 0; subset < 16; ++subset) {
        quint32 flags = 0;
        for (int bit = 0; bit < 4; ++bit)
            if (subset & (1u << bit))
                flags |= allFlags[bit];
        const Qt::KeyboardModifiers modifiers = KeyCodes::modifiersFromFlags(flags);
        QCOMPARE(KeyCodes::flagsFromQt(modifiers), flags);
        const auto combination = KeyCodes::toQt(45, flags);
        QVERIFY(combination);
        QCOMPARE(combination->keyboardModifiers(), modifiers);
        // X: Shift 1, Control 4, Mod1 (Alt) 8, Mod4 (Super) 64.
        const quint16 x11 = KeyCodes::x11Modifiers(modifiers);
        QCOMPARE(bool(x11 & 0x01), bool(flags & KeyCodes::shiftFlag));
        QCOMPARE(bool(x11 & 0x04), bool(flags & KeyCodes::controlFlag));
        QCOMPARE(bool(x11 & 0x08), bool(flags & KeyCodes::optionFlag));
        QCOMPARE(bool(x11 & 0x40), bool(flags & KeyCodes::commandFlag));
        QCOMPARE(x11 & ~0x4d, 0);
    }
}

void tst_KeyCodes::foreignModifierBitsAreDropped_data() {
    QTest::addColumn<quint64>("flags");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("caps lock, fn, keypad")
        << quint64(0x10000 | 0x800000 | 0x200000) << Qt::KeyboardModifiers();
    QTest::newRow("bits above 32") << (quint64(1) << 40 | KeyCodes::optionFlag)
                                   << Qt::KeyboardModifiers(Qt::AltModifier);
    QTest::newRow("every bit") << ~quint64(0)
                               << (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier |
                                   Qt::MetaModifier);
}

void tst_KeyCodes::foreignModifierBitsAreDropped() {
    QFETCH(quint64, flags);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QCOMPARE(KeyCodes::modifiersFromFlags(flags), modifiers);
    // A stored keypad flag does not move a key onto the keypad: the code alone says where it is.
    QCOMPARE(KeyCodes::toQt(45, flags),
             std::optional<QKeyCombination>(QKeyCombination(modifiers, Qt::Key_N)));
    // Going out, keypad and AltGr are no stored flags.
    QCOMPARE(KeyCodes::flagsFromQt(modifiers | Qt::KeypadModifier | Qt::GroupSwitchModifier),
             KeyCodes::flagsFromQt(modifiers));
}

QTEST_APPLESS_MAIN(tst_KeyCodes)
#include "tst_KeyCodes.moc"
