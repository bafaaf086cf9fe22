// The emoji that the program's texts use (the folder sign of a command's detail line, the kit's ✅ and ❌
// results, the 🎉 of an update offer) draw in colour, in the proportional and in the monospaced font,
// rather than as empty boxes: a colour emoji font is installed and the fonts fall back to it.
#include <QFontDatabase>
#include <QLabel>
#include <QtTest>

class tst_Emoji : public QObject {
    Q_OBJECT
private slots:
    void drawnInColour_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("monospaced");
        for (const char* emoji : {"📁", "❌", "✅", "🎉"})
            for (bool mono : {false, true})
                QTest::addRow("%s%s", emoji, mono ? ", monospaced" : "") << QString::fromUtf8(emoji) << mono;
    }
    void drawnInColour() {
        QFETCH(QString, text);
        QFETCH(bool, monospaced);
        QFont font = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
        font.setPixelSize(20);
        QLabel label(text);
        label.setFont(font);
        label.setStyleSheet(QStringLiteral("QLabel { color: white; background: black; }"));
        label.resize(60, 40);
        const QImage img = label.grab().toImage();
        int colourful = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                colourful += c.hsvSaturation() > 80 && c.value() > 60;
            }
        // White text on black has no colour at all; an emoji has plenty.
        QVERIFY2(colourful > 40, qPrintable(QString::number(colourful)));
    }
};

QTEST_MAIN(tst_Emoji)
#include "tst_Emoji.moc"
