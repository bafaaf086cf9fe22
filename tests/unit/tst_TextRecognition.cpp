// Real Tesseract on text this test renders: English and accented Portuguese, dark on light and light on
// dark, and the kit's whole screen-text flow with a fake area selection.
#include "platform/CancelSignal.h"
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

QImage rendered(const QStringList& lines, bool dark, int pixelSize = 20,
                const QString& family = QStringLiteral("DejaVu Sans")) {
    QFont font(family);
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
    void accentsAtEverySize_data();
    void accentsAtEverySize();
    void glyphHeightOfText_data();
    void glyphHeightOfText();
    void blankAreaGivesNothing();
    void unreadableFile();
    void wholeFlow();
    void cancelledRecognitionGivesNothing();
    void quitDuringRecognitionWritesNothing();
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

// Accented text is read with its accents from small screen text up to headings: enlarged too much, the
// models drop them ("Acao rapida").
void tst_TextRecognition::accentsAtEverySize_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("dark");
    for (const char* family : {"DejaVu Sans", "Nimbus Sans", "URW Gothic"})
        for (int size : {10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32})
            for (bool dark : {false, true})
                QTest::addRow("%s %d px%s", family, size, dark ? ", light on dark" : "")
                    << QString::fromLatin1(family) << size << dark;
}

void tst_TextRecognition::accentsAtEverySize() {
    QFETCH(QString, family);
    QFETCH(int, size);
    QFETCH(bool, dark);
    const QString line = QString::fromUtf8("Ação rápida: número 4207");
    TesseractTextRecognizer recognizer;
    const std::optional<QString> text = recognizer.recognizeImage(rendered({line}, dark, size, family));
    QVERIFY(text);
    QCOMPARE(normalised(*text), line);
}

// The measure the enlargement follows: about the height of a letter, whatever the colours or the
// accents and dots around.
void tst_TextRecognition::glyphHeightOfText_data() {
    QTest::addColumn<int>("size");
    for (int size : {10, 20, 32})
        QTest::addRow("%d px", size) << size;
}

void tst_TextRecognition::glyphHeightOfText() {
    QFETCH(int, size);
    const QImage img =
        rendered({QString::fromUtf8("Ação rápida: número 4207, olá"), "Hello world"}, false, size)
            .convertToFormat(QImage::Format_Grayscale8);
    const std::optional<double> h = TesseractTextRecognizer::glyphHeight(img);
    QVERIFY(h);
    QVERIFY2(*h >= 0.4 * size && *h <= 0.85 * size, qPrintable(QString::number(*h)));
    // Nothing to measure on a blank or a flat image.
    QImage flat(200, 50, QImage::Format_Grayscale8);
    flat.fill(200);
    QCOMPARE(TesseractTextRecognizer::glyphHeight(flat), std::nullopt);
    QCOMPARE(TesseractTextRecognizer::scaleFor(std::nullopt, 3.0), 3.0);
    QCOMPARE(TesseractTextRecognizer::scaleFor(4.0, 3.0), 3.0);
    QCOMPARE(TesseractTextRecognizer::scaleFor(100.0, 3.0), 1.0);
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

void tst_TextRecognition::cancelledRecognitionGivesNothing() {
    TesseractTextRecognizer recognizer;
    const QImage image = rendered({"Olá mundo 2026"}, true);
    CancelSignal cancel;
    QCOMPARE(recognizer.recognizeImage(image, &cancel), std::optional<QString>("Olá mundo 2026"));
    cancel.raise();
    QCOMPARE(recognizer.recognizeImage(image, &cancel), std::nullopt);
}

void tst_TextRecognition::quitDuringRecognitionWritesNothing() {
    FakeAreaCapture area;
    FakePasteboard pasteboard;
    TesseractTextRecognizer recognizer;
    UtilsState utils(UtilsState::Seams{nullptr, &pasteboard, nullptr, &area, nullptr, &recognizer, nullptr});
    utils.captureAndOCR();
    area.finish(rendered({"Olá mundo 2026"}, true));
    utils.cancelWork();
    QVERIFY(utils.waitForWork(30000));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(utils.output(), QString("Selecione a área da tela…"));
    QVERIFY(pasteboard.written.isEmpty());
}

QTEST_MAIN(tst_TextRecognition)
#include "tst_TextRecognition.moc"
