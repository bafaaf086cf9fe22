// The switch and the capsule button that every tab and the settings window share: where the knob sits
// in each look, state and height, what the island's switch draws beside its track, and how the capsule
// sizes and fills itself with and without a symbol.
#include "fakes/TextInk.h"
#include "views/KitPanelStyle.h"
#include "views/Switch.h"
#include "views/SystemColors.h"

#include <QtTest>

#include <memory>

using KitPanelStyle::CapsuleButton;

namespace {

// Whether the pixel is (nearly) the knob's white.
bool white(QRgb px) {
    return qRed(px) > 235 && qGreen(px) > 235 && qBlue(px) > 235;
}

// The switch drawn at `size` over black.
QImage drawnSwitch(Switch& s, QSize size) {
    s.resize(size);
    return TextInk::drawn(&s);
}

} // namespace

class tst_SharedControls : public QObject {
    Q_OBJECT
private slots:
    void knobFollowsTheState_data();
    void knobFollowsTheState();
    void islandSwitchDrawsItsTextBesideTheTrack();
    void islandSwitchFitsItsText();
    void settingsSwitchKeepsItsSize_data();
    void settingsSwitchKeepsItsSize();
    void capsuleSize_data();
    void capsuleSize();
    void capsuleFillsWithItsColour();
    void capsuleSymbolChangesItsSize();
};

void tst_SharedControls::knobFollowsTheState_data() {
    QTest::addColumn<bool>("island");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("height");
    for (const bool island : {false, true})
        for (const bool checked : {false, true})
            for (const int height : {18, 22, 40}) {
                if (!island && height > 22)
                    continue; // the settings switch keeps its own size
                const QByteArray name = QByteArray(island ? "island" : "settings") +
                                        (checked ? " on " : " off ") + QByteArray::number(height);
                QTest::newRow(name.constData()) << island << checked << height;
            }
}

// The knob is at the track's end for the state, inside the track at every height the layouts give.
void tst_SharedControls::knobFollowsTheState() {
    QFETCH(bool, island);
    QFETCH(bool, checked);
    QFETCH(int, height);
    QWidget host;
    Switch* s =
        island ? Switch::onIsland(&host) : new Switch(QStringLiteral("x"), Switch::Size::small, &host);
    s->setChecked(checked);
    const QImage img = drawnSwitch(*s, QSize(32, height));
    const int mid = height / 2;
    // The knob's centre is 2 + 7 px from its end on a 32 × 18 track, 1 + 2 + 6 on the inset one.
    const int knobLeft = 9;
    const int knobRight = 31 - knobLeft;
    const int onSide = checked ? knobRight : knobLeft;
    const int offSide = checked ? knobLeft : knobRight;
    QVERIFY2(white(img.pixel(onSide, mid)), "no knob at the state's end");
    QVERIFY2(!white(img.pixel(offSide, mid)), "a knob at the other end");
    // Nothing is drawn above or below the track when the switch is taller than it.
    if (island && height > 18) {
        QCOMPARE(img.pixel(16, 0), qRgb(0, 0, 0));
        QCOMPARE(img.pixel(16, height - 1), qRgb(0, 0, 0));
    }
}

void tst_SharedControls::islandSwitchDrawsItsTextBesideTheTrack() {
    QWidget host;
    Switch* s = Switch::onIsland(&host);
    s->setFont(KitPanelStyle::pixelFont(11));
    const QImage bare = drawnSwitch(*s, QSize(200, 20));
    s->setText(QStringLiteral("Mirror the image"));
    const QImage labelled = drawnSwitch(*s, QSize(200, 20));
    // The track is the same; the text starts past its end and its gap.
    QCOMPARE(labelled.copy(0, 0, 32, 20), bare.copy(0, 0, 32, 20));
    bool inkInGap = false, inkInText = false;
    for (int y = 0; y < 20; ++y) {
        for (int x = 32; x < 40; ++x)
            inkInGap = inkInGap || TextInk::inked(labelled.pixel(x, y));
        for (int x = 40; x < 200; ++x)
            inkInText = inkInText || TextInk::inked(labelled.pixel(x, y));
    }
    QVERIFY(!inkInGap);
    QVERIFY(inkInText);
    for (int x = 32; x < 200; ++x)
        QCOMPARE(bare.pixel(x, 10), qRgb(0, 0, 0));
}

// Its size hint holds the track, the gap and the whole text, and never less than the track's height.
void tst_SharedControls::islandSwitchFitsItsText() {
    QWidget host;
    Switch* s = Switch::onIsland(&host);
    QCOMPARE(s->sizeHint().width(), 32);
    QVERIFY(s->sizeHint().height() >= 18);
    s->setFont(KitPanelStyle::pixelFont(11));
    s->setText(QStringLiteral("Mirror the image (like a real mirror)"));
    const int text = s->fontMetrics().horizontalAdvance(s->text());
    QCOMPARE(s->sizeHint().width(), 32 + 8 + text);
    s->setFont(KitPanelStyle::pixelFont(30));
    QCOMPARE(s->sizeHint().height(), s->fontMetrics().height());
}

void tst_SharedControls::settingsSwitchKeepsItsSize_data() {
    QTest::addColumn<bool>("small");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("regular") << false << QString() << QSize(40, 22);
    QTest::newRow("small") << true << QString() << QSize(32, 18);
    QTest::newRow("a long name is not drawn") << false << QString(200, QLatin1Char('x')) << QSize(40, 22);
}

// The settings window's switch is the same size whatever names it, and its name is only for
// assistive tools.
void tst_SharedControls::settingsSwitchKeepsItsSize() {
    QFETCH(bool, small);
    QFETCH(QString, name);
    QFETCH(QSize, size);
    Switch s(name, small ? Switch::Size::small : Switch::Size::regular);
    QCOMPARE(s.sizeHint(), size);
    QCOMPARE(s.minimumSizeHint(), size);
    QCOMPARE(s.accessibleName(), name);
    QCOMPARE(s.focusPolicy(), Qt::StrongFocus);
}

void tst_SharedControls::capsuleSize_data() {
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("iconSide");
    QTest::addColumn<int>("iconGap");
    QTest::addColumn<int>("extraWidth"); // beyond `around` and the text
    QTest::newRow("no symbol: no room for one") << QString() << 0 << 4 << 0;
    QTest::newRow("symbol at the font's size") << QStringLiteral("doc.on.doc") << 0 << 4 << -1;
    QTest::newRow("symbol of its own size") << QStringLiteral("play.fill") << 13 << 5 << 13 + 5 + 2;
}

void tst_SharedControls::capsuleSize() {
    QFETCH(QString, symbol);
    QFETCH(int, iconSide);
    QFETCH(int, iconGap);
    QFETCH(int, extraWidth);
    CapsuleButton b(CapsuleButton::Look{QSize(24, 10), iconSide, iconGap, 0});
    b.setFont(KitPanelStyle::pixelFont(12, QFont::DemiBold));
    b.setText(QStringLiteral("Turn on camera"));
    b.setSymbol(symbol);
    const QFontMetrics m = b.fontMetrics();
    if (extraWidth < 0) // the font's height less 2, then the gap and two pixels of air
        extraWidth = m.height() - 2 + iconGap + 2;
    QCOMPARE(b.sizeHint(), QSize(24 + extraWidth + m.horizontalAdvance(b.text()), 10 + m.height()));
}

// The capsule shows the colour it was given, alpha included, and a disabled one is faded.
void tst_SharedControls::capsuleFillsWithItsColour() {
    CapsuleButton b(CapsuleButton::Look{QSize(24, 10), 0, 0, 0});
    b.resize(120, 30);
    QColor red = SystemColors::red();
    red.setAlphaF(0.35);
    b.setFillColor(red);
    QCOMPARE(b.fillColor(), red);
    const QImage img = TextInk::drawn(&b);
    const QRgb edge = img.pixel(20, 15); // inside the capsule, left of any text
    QVERIFY(qRed(edge) > 2 * qGreen(edge));
    QVERIFY(qAbs(qRed(edge) - qRound(red.red() * 0.35)) <= 2);
    QCOMPARE(img.pixel(0, 0), qRgb(0, 0, 0)); // the rounded corner leaves the background
    b.setEnabled(false);
    const QImage faded = TextInk::drawn(&b);
    QVERIFY(qRed(faded.pixel(20, 15)) < qRed(edge));

    // The kit's form: white at a given strength.
    CapsuleButton kit(QString(), QStringLiteral("Copy"), 0.5, QSize(8, 4));
    QCOMPARE(kit.fillColor(), SystemColors::white(0.5));
}

void tst_SharedControls::capsuleSymbolChangesItsSize() {
    CapsuleButton b(QString(), QStringLiteral("Start"), 0.2, QSize(10, 5));
    const int without = b.sizeHint().width();
    b.setSymbol(QStringLiteral("play.fill"));
    QCOMPARE(b.symbol(), QStringLiteral("play.fill"));
    QVERIFY(b.sizeHint().width() > without);
    b.setSymbol(QString());
    QCOMPARE(b.sizeHint().width(), without);
}

QTEST_MAIN(tst_SharedControls)
#include "tst_SharedControls.moc"
