// Real Tesseract on text this test renders: English and accented Portuguese, dark on light and light on
// dark, and the kit's whole screen-text flow with a fake area selection.
#include "platform/tesseract/TesseractTextRecognizer.h"
#include "services/UtilsState.h"

#include "fakes/FakeAreaCapture.h"
#include "fakes/FakePasteboard.h"

#include <QFont>
#include <QPainter>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtTest>

namespace {

QImage rendered(const QStringList& lines, bool dark, int pixelSize = 20) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    const QFontMetrics fm(font);
    int width = 0;
    for (const QString& line : lines)
        width = qMax(width, fm.horizontalAdvance(line));
    QImage img(width + 40, int(lines.size()) * fm.lineSpacing() + 40, QImage::Format_RGB32);
    img.fill(dark ? QColor(20, 20, 24) : Qt::white);
    QPainter p(&img);
    p.setFont(font);
    p.setPen(dark ? Qt::white : Qt::black);
    int y = 20 + fm.ascent();
    for (const QString& line : lines) {
        p.drawText(20, y, line);
        y += fm.lineSpacing();
    }
    return img;
}

QString normalised(const QString& text) {
    return text.simplified();
}

} // namespace

class tst_TextRecognition : public QObject {
    Q_OBJECT
private slots:
    void recognises_data();
    void recognises();
    void blankAreaGivesNothing();
    void unreadableFile();
    void wholeFlow();
};

void tst_TextRecognition::recognises_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("dark");
    const QStringList english{"The quick brown fox jumps over the lazy dog"};
    const QStringList portuguese{"Olá mundo, ação e coração em São Paulo"};
    QTest::newRow("English, dark on light") << english << false;
    QTest::newRow("English, light on dark") << english << true;
    QTest::newRow("Portuguese accents, dark on light") << portuguese << false;
    QTest::newRow("Portuguese accents, light on dark") << portuguese << true;
    QTest::newRow("two lines") << QStringList{"Olá mundo 2026", "Hello world"} << false;
}

void tst_TextRecognition::recognises() {
    QFETCH(QStringList, lines);
    QFETCH(bool, dark);
    TesseractTextRecognizer recognizer;
    const std::optional<QString> text = recognizer.recognizeImage(rendered(lines, dark));
    QVERIFY(text);
    QCOMPARE(normalised(*text), normalised(lines.join(' ')));
    QCOMPARE(text->count('\n'), lines.size() - 1);
    QVERIFY(!text->endsWith('\n'));
}

void tst_TextRecognition::blankAreaGivesNothing() {
    QImage blank(300, 100, QImage::Format_RGB32);
    blank.fill(Qt::white);
    TesseractTextRecognizer recognizer;
    QCOMPARE(recognizer.recognizeImage(blank), std::nullopt);
    QCOMPARE(recognizer.recognizeImage(QImage()), std::nullopt);
}

void tst_TextRecognition::unreadableFile() {
    TesseractTextRecognizer recognizer;
    QCOMPARE(recognizer.recognize("/nonexistent/quillbay.png"), std::nullopt);
}

void tst_TextRecognition::wholeFlow() {
    FakeAreaCapture area;
    FakePasteboard pasteboard;
    TesseractTextRecognizer recognizer;
    {
        UtilsState utils(
            UtilsState::Seams{nullptr, &pasteboard, nullptr, &area, nullptr, &recognizer, nullptr});
        utils.captureAndOCR();
        area.finish(rendered({"Olá mundo 2026"}, true));
        QVERIFY(!utils.capturing());
        QTRY_VERIFY_WITH_TIMEOUT(utils.output() != "Selecione a área da tela…", 30000);
        QCOMPARE(utils.output(), QString("Olá mundo 2026"));
        QCOMPARE(pasteboard.written, QStringList{"Olá mundo 2026"});
    }
    QThreadPool::globalInstance()->waitForDone();
}

QTEST_MAIN(tst_TextRecognition)
#include "tst_TextRecognition.moc"
