// Text that gives way with "…": read back from the pixels it draws, at one line and at two.
#include "fakes/TextInk.h"
#include "views/ElidedLabel.h"

#include <QtTest>

class tst_ElidedLabel : public QObject {
    Q_OBJECT
private slots:
    void drawsWholeLinesEndingInAnEllipsis_data();
    void drawsWholeLinesEndingInAnEllipsis();
    void takesTheHeightOfTheLinesItShows();
};

namespace {

const QString kLong = QStringLiteral(
    "Migrate the deployment pipeline to the new build farm and rewrite every flaky integration test");

ElidedLabel* label(const QString& text, int lines, int width, QWidget* parent) {
    auto* l = new ElidedLabel(Qt::ElideRight, parent);
    QFont f = l->font();
    f.setPixelSize(11);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    l->setPalette(p);
    l->setText(text);
    l->setMaximumLines(lines);
    l->resize(width, l->heightForWidth(width) > 0 ? l->heightForWidth(width) : l->sizeHint().height());
    return l;
}

} // namespace

void tst_ElidedLabel::drawsWholeLinesEndingInAnEllipsis_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("shownLines");
    QTest::addColumn<bool>("ellipsis");
    QTest::newRow("one line that fits") << "Short task" << 1 << 200 << 1 << false;
    QTest::newRow("one line, too long") << kLong << 1 << 160 << 1 << true;
    QTest::newRow("two lines, one needed") << "Short task" << 2 << 200 << 1 << false;
    QTest::newRow("two lines, both needed")
        << "Review the pull request of the week" << 2 << 150 << 2 << false;
    QTest::newRow("two lines, too long") << kLong << 2 << 150 << 2 << true;
    QTest::newRow("one long word over two lines") << QString(60, QLatin1Char('w')) << 2 << 150 << 2 << true;
    QTest::newRow("line breaks, one line") << "first line\nsecond line\nthird" << 1 << 300 << 1 << false;
    QTest::newRow("line breaks, two lines") << "first line\nsecond line\nthird" << 2 << 300 << 2 << true;
    QTest::newRow("three lines, too long") << kLong << 3 << 120 << 3 << true;
}

void tst_ElidedLabel::drawsWholeLinesEndingInAnEllipsis() {
    QFETCH(QString, text);
    QFETCH(int, lines);
    QFETCH(int, width);
    QFETCH(int, shownLines);
    QFETCH(bool, ellipsis);
    QWidget host;
    ElidedLabel* l = label(text, lines, width, &host);
    const QStringList shown = l->shownText().split(QLatin1Char('\n'));
    QCOMPARE(shown.size(), shownLines);
    QCOMPARE(shown.last().endsWith(QChar(0x2026)), ellipsis);
    for (const QString& line : shown)
        QVERIFY2(l->fontMetrics().horizontalAdvance(line) <= width, qPrintable(line));

    const QImage img = TextInk::drawn(l);
    const auto bands = TextInk::bands(img);
    // Each line a band of whole glyphs: none cut at the label's bottom edge.
    QCOMPARE(bands.size(), shownLines);
    QVERIFY(TextInk::wholeLines(bands, l->fontMetrics().height()));
    QCOMPARE(TextInk::endsInEllipsis(img, bands.last()), ellipsis);
}

void tst_ElidedLabel::takesTheHeightOfTheLinesItShows() {
    QWidget host;
    const int line = QFontMetrics(label("x", 1, 100, &host)->font()).lineSpacing();
    ElidedLabel* one = label("Short", 2, 200, &host);
    ElidedLabel* two = label(kLong, 2, 150, &host);
    ElidedLabel* capped = label(kLong, 2, 40, &host);
    QVERIFY(one->hasHeightForWidth());
    QVERIFY(two->heightForWidth(150) >= one->heightForWidth(200) + line - 1);
    QCOMPARE(capped->heightForWidth(40), two->heightForWidth(150)); // never more than its lines
    // One line allowed: a fixed single-line label, as before.
    QVERIFY(!label(kLong, 1, 150, &host)->hasHeightForWidth());
}

QTEST_MAIN(tst_ElidedLabel)
#include "tst_ElidedLabel.moc"
