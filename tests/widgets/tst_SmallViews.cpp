// The shared small views: block counting and colouring, caption casing, hint and button behaviour.
#include "views/BlockBar.h"
#include "views/DarkField.h"
#include "views/EmptyHint.h"
#include "views/IconButton.h"
#include "views/SectionTitle.h"
#include "views/SystemColors.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

class tst_SmallViews : public QObject {
    Q_OBJECT
private slots:
    void blockBarFilled_data();
    void blockBarFilled();
    void blockBarColour_data();
    void blockBarColour();
    void blockBarPaintsOnlyItsBlocks();
    void blockBarZeroBlocksDrawsNothing();
    void sectionTitleIsUpperCase();
    void emptyHintShowsMarkupAsWritten();
    void iconButtonRunsActionOnClickAnywhereInItsSquare();
    void iconButtonWithoutActionIsHarmless();
    void darkFieldPlaceholderAndTyping();
};

void tst_SmallViews::blockBarFilled_data() {
    QTest::addColumn<double>("fraction");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("filled");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("half") << 0.5 << 10 << 5;
    QTest::newRow("8.5 rounds up") << 0.85 << 10 << 9;
    QTest::newRow("0.86") << 0.86 << 10 << 9;
    QTest::newRow("0.6") << 0.6 << 10 << 6;
    QTest::newRow("0.04 rounds down") << 0.04 << 10 << 0;
    QTest::newRow("0.05 rounds up") << 0.05 << 10 << 1;
    QTest::newRow("zero") << 0.0 << 10 << 0;
    QTest::newRow("over one") << 1.7 << 10 << 10;
    QTest::newRow("huge") << 1e300 << 10 << 10;
    QTest::newRow("infinite") << inf << 10 << 10;
    QTest::newRow("negative") << -0.5 << 10 << 0;
    QTest::newRow("minus infinity") << -inf << 10 << 0;
    QTest::newRow("nan") << nan << 10 << 0;
    QTest::newRow("no blocks") << 0.5 << 0 << 0;
    QTest::newRow("negative blocks") << 0.5 << -3 << 0;
    QTest::newRow("one block half") << 0.5 << 1 << 1;
}

void tst_SmallViews::blockBarFilled() {
    QFETCH(double, fraction);
    QFETCH(int, blocks);
    QFETCH(int, filled);
    QCOMPARE(BlockBar::filledCount(fraction, blocks), filled);
}

void tst_SmallViews::blockBarColour_data() {
    QTest::addColumn<double>("fraction");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("0") << 0.0 << SystemColors::green();
    QTest::newRow("0.6 is green") << 0.6 << SystemColors::green();
    QTest::newRow("0.6001 is orange") << 0.6001 << SystemColors::orange();
    QTest::newRow("0.85 is orange") << 0.85 << SystemColors::orange();
    QTest::newRow("0.8501 is red") << 0.8501 << SystemColors::red();
    QTest::newRow("over one is red") << 1.5 << SystemColors::red();
    QTest::newRow("negative is green") << -1.0 << SystemColors::green();
}

void tst_SmallViews::blockBarColour() {
    QFETCH(double, fraction);
    QFETCH(QColor, colour);
    QCOMPARE(BlockBar::fillColor(fraction), colour);
}

static int countColoured(const QImage& img, int y, QColor colour) {
    // Counts runs of the colour along one row, i.e. the number of coloured blocks.
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        const bool match = c.alpha() == 255 && std::abs(c.red() - colour.red()) < 3 &&
                           std::abs(c.green() - colour.green()) < 3 && std::abs(c.blue() - colour.blue()) < 3;
        if (match && !inRun)
            ++runs;
        inRun = match;
    }
    return runs;
}

void tst_SmallViews::blockBarPaintsOnlyItsBlocks() {
    // A fraction above 1 must not grow the row: exactly `blocks` coloured blocks, all red.
    BlockBar bar(1.7, 10);
    bar.resize(218, 13);
    const QImage img = bar.grab().toImage();
    QCOMPARE(img.height(), 13);
    QCOMPARE(countColoured(img, 6, SystemColors::red()), 10);

    bar.setFraction(0.85);
    const QImage orange = bar.grab().toImage();
    QCOMPARE(countColoured(orange, 6, SystemColors::orange()), 9);
    QCOMPARE(countColoured(orange, 6, SystemColors::red()), 0);
}

void tst_SmallViews::blockBarZeroBlocksDrawsNothing() {
    BlockBar bar(0.5, 0);
    bar.resize(100, 13);
    QCOMPARE(bar.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QImage img(bar.size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    bar.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    for (int x = 0; x < img.width(); ++x)
        QCOMPARE(qAlpha(img.pixel(x, 6)), 0);
}

void tst_SmallViews::sectionTitleIsUpperCase() {
    SectionTitle title("Agents (last hour)");
    QCOMPARE(title.text(), QString("AGENTS (LAST HOUR)"));
    title.setTitle(QString::fromUtf8("notícias"));
    QCOMPARE(title.text(), QString::fromUtf8("NOTÍCIAS"));
    QCOMPARE(title.textFormat(), Qt::PlainText);
}

void tst_SmallViews::emptyHintShowsMarkupAsWritten() {
    // Texts handed in are shown as written: a title containing tags must not turn into rich text.
    EmptyHint hint("<b>No items</b>");
    QCOMPARE(hint.textFormat(), Qt::PlainText);
    QCOMPARE(hint.text(), QString("<b>No items</b>"));
    QVERIFY(hint.alignment() & Qt::AlignHCenter);
    QCOMPARE(hint.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
}

void tst_SmallViews::iconButtonRunsActionOnClickAnywhereInItsSquare() {
    int calls = 0;
    IconButton button("doc.on.doc", "Copy text", Qt::white, [&calls] { ++calls; });
    QCOMPARE(button.size(), QSize(22, 22));
    QCOMPARE(button.toolTip(), QString("Copy text"));
    // The corners count, not only the glyph in the middle.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(11, 11));
    QCOMPARE(calls, 3);

    // Replacing the action takes effect on the next click; the old one is not called again.
    int other = 0;
    button.setAction([&other] { ++other; });
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(11, 11));
    QCOMPARE(calls, 3);
    QCOMPARE(other, 1);
}

void tst_SmallViews::iconButtonWithoutActionIsHarmless() {
    IconButton button;
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(11, 11));
    QCOMPARE(clicked.count(), 1);
    button.setSymbol("trash");
    button.setTint(Qt::red);
    QCOMPARE(button.symbol(), QString("trash"));
    QVERIFY(!button.grab().isNull());
}

void tst_SmallViews::darkFieldPlaceholderAndTyping() {
    DarkField field("Nova tarefa");
    QCOMPARE(field.placeholderText(), QString("Nova tarefa"));
    QCOMPARE(field.text(), QString());
    QSignalSpy edited(&field, &QLineEdit::textEdited);
    field.show();
    QTest::keyClicks(&field, "abc");
    QCOMPARE(field.text(), QString("abc"));
    QCOMPARE(edited.count(), 3);
    QCOMPARE(field.font().pixelSize(), 11);
}

QTEST_MAIN(tst_SmallViews)
#include "tst_SmallViews.moc"
