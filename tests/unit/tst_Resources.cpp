// The compiled-in resources as a linked program sees them: every symbol of the icon table, the tinting,
// and the translation catalogues with every translation their sources hold.
#include "fakes/TestSupport.h"
#include "views/Icons.h"

#include <QFile>
#include <QImage>
#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString kSources = QStringLiteral(QUILLBAY_SOURCE_DIR "/src/resources");

// The messages of a .ts file: "context\nsource" to its translation (the singular one of a plural).
QHash<QString, QString> messagesOf(const QString& path) {
    QHash<QString, QString> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            const auto type = xml.attributes().value(QLatin1String("type")).toString();
            QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (type == QLatin1String("unfinished") || type == QLatin1String("vanished") ||
                type == QLatin1String("obsolete"))
                text.clear();
            out.insert(context + QLatin1Char('\n') + source, text.trimmed());
        }
    }
    return out;
}

struct Coverage {
    int opaque = 0;    // pixels with any alpha
    int offColour = 0; // solid pixels whose colour is not the requested one
    int maxAlpha = 0;
};

Coverage coverage(const QPixmap& pixmap, QColor colour) {
    Coverage c;
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (p.alpha() == 0)
                continue;
            ++c.opaque;
            c.maxAlpha = qMax(c.maxAlpha, p.alpha());
            // Faint edge pixels lose precision when un-premultiplied; judge the solid ones.
            const int distance = qAbs(p.red() - colour.red()) + qAbs(p.green() - colour.green()) +
                                 qAbs(p.blue() - colour.blue());
            if (p.alpha() > 128 && distance > 12)
                ++c.offColour;
        }
    }
    return c;
}

} // namespace

class tst_Resources : public QObject {
    Q_OBJECT
private slots:
    void everySymbolResolves_data() {
        QTest::addColumn<QString>("symbol");
        QFile table(kSources + QStringLiteral("/icons/symbols.txt"));
        QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
        int rows = 0;
        for (const QByteArray& raw : table.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QString name = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
            QTest::newRow(qPrintable(name)) << name;
            ++rows;
        }
        QVERIFY2(rows > 50, "the icon table is nearly empty");
    }
    void everySymbolResolves() {
        QFETCH(QString, symbol);
        QVERIFY(QFile::exists(QStringLiteral(":/icons/%1.svg").arg(symbol)));
        const Coverage c = coverage(Icons::icon(symbol).pixmap(QSize(24, 24)), Qt::white);
        QVERIFY2(c.opaque > 10, "the icon renders as nothing");
        QCOMPARE(c.offColour, 0);
    }

    // The colour replaces the black of the SVG; its alpha and the disabled mode make the icon fainter.
    void tintFollowsTheRequestedColour_data() {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("maxAlpha");
        QTest::newRow("red") << QColor(Qt::red) << int(QIcon::Normal) << 255;
        QTest::newRow("half-transparent green") << QColor(0, 255, 0, 128) << int(QIcon::Normal) << 128;
        QTest::newRow("disabled white") << QColor(Qt::white) << int(QIcon::Disabled) << 102;
    }
    void tintFollowsTheRequestedColour() {
        QFETCH(QColor, colour);
        QFETCH(int, mode);
        QFETCH(int, maxAlpha);
        const QIcon icon = Icons::icon(QStringLiteral("stop.fill"), colour);
        const Coverage c = coverage(icon.pixmap(QSize(32, 32), QIcon::Mode(mode)), colour);
        QVERIFY(c.opaque > 50);
        QCOMPARE(c.offColour, 0);
        QVERIFY2(qAbs(c.maxAlpha - maxAlpha) <= 2, qPrintable(QString::number(c.maxAlpha)));
        const QPixmap label = Icons::pixmap(QStringLiteral("stop.fill"), QSize(32, 32), colour);
        QCOMPARE(coverage(label, colour).offColour, 0);
    }

    // Rendered at the device resolution, not scaled up from the logical size.
    void highDensityPixmapsHaveDevicePixels() {
        const QPixmap pm = Icons::icon(QStringLiteral("gearshape")).pixmap(QSize(16, 16), 2.0);
        QCOMPARE(pm.size(), QSize(32, 32));
        QCOMPARE(pm.devicePixelRatio(), 2.0);
        QCOMPARE(Icons::pixmap(QStringLiteral("gearshape"), QSize(16, 16), Qt::white, 2.0).size(),
                 QSize(32, 32));
    }

    void unknownSymbolIsEmptyAndLoggedOnce() {
        TestSupport::LogCapture log;
        QVERIFY(Icons::icon(QStringLiteral("no.such.symbol")).isNull());
        QVERIFY(Icons::icon(QStringLiteral("no.such.symbol"), Qt::red).isNull());
        QVERIFY(Icons::pixmap(QStringLiteral("no.such.symbol"), QSize(16, 16)).isNull());
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(log.lines().first().contains(QStringLiteral("no.such.symbol")));
    }

    void cataloguesAreCompiledIn() {
        QVERIFY(QFile::exists(QStringLiteral(":/i18n/quillbay_en.qm")));
        QVERIFY(QFile::exists(QStringLiteral(":/i18n/quillbay_pt_BR.qm")));
    }

    // Every live translation of a .ts source comes out of its compiled catalogue unchanged.
    void everySourceTranslationIsCompiled_data() {
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("disambiguation");
        QTest::addColumn<QString>("translation");
        QTest::addColumn<int>("n"); // -1: not a plural message
        for (const QString& language : {QStringLiteral("en"), QStringLiteral("pt_BR")}) {
            QFile file(kSources + QStringLiteral("/translations/quillbay_%1.ts").arg(language));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QXmlStreamReader xml(&file);
            QString context, source, disambiguation;
            bool numerus = false;
            int rows = 0;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement)
                    continue;
                const auto name = xml.name();
                if (name == QLatin1String("name")) {
                    context = xml.readElementText();
                } else if (name == QLatin1String("message")) {
                    disambiguation.clear();
                    numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
                } else if (name == QLatin1String("source")) {
                    source = xml.readElementText();
                } else if (name == QLatin1String("comment")) {
                    disambiguation = xml.readElementText();
                } else if (name == QLatin1String("translation")) {
                    const auto type = xml.attributes().value(QLatin1String("type")).toString();
                    if (numerus) {
                        // Plural forms: the first for one, the second for two (en and pt_BR alike).
                        int form = 0;
                        while (xml.readNextStartElement()) {
                            const QString text = xml.readElementText();
                            if (form < 2 && !text.isEmpty())
                                QTest::addRow("%s %s: %s [%d]", qPrintable(language), qPrintable(context),
                                              qPrintable(source), form)
                                    << QStringLiteral(":/i18n/quillbay_%1.qm").arg(language) << context
                                    << source << disambiguation << text << form + 1;
                            ++form;
                        }
                        ++rows;
                        continue;
                    }
                    const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
                    if (text.isEmpty() || type == QLatin1String("vanished") ||
                        type == QLatin1String("obsolete"))
                        continue;
                    QTest::addRow("%s %s: %s", qPrintable(language), qPrintable(context), qPrintable(source))
                        << QStringLiteral(":/i18n/quillbay_%1.qm").arg(language) << context << source
                        << disambiguation << text << -1;
                    ++rows;
                }
            }
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
            if (language == QLatin1String("pt_BR"))
                QVERIFY2(rows > 0, "the pt_BR catalogue translates nothing");
        }
    }
    void everySourceTranslationIsCompiled() {
        QFETCH(QString, catalogue);
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(QString, disambiguation);
        QFETCH(QString, translation);
        QFETCH(int, n);
        QTranslator translator;
        QVERIFY(translator.load(catalogue));
        const QByteArray c = context.toUtf8(), s = source.toUtf8(), d = disambiguation.toUtf8();
        QCOMPARE(translator.translate(c.constData(), s.constData(), d.isEmpty() ? nullptr : d.constData(), n),
                 translation);
    }

    // Every text the program looks up has its English text in the en catalogue and its Portuguese text in
    // pt_BR; a key missing from one shows its source text, in whichever language that is written.
    void everyKeyIsInBothCatalogues() {
        const QString lupdate = QLibraryInfo::path(QLibraryInfo::BinariesPath) + QStringLiteral("/lupdate");
        if (!QFile::exists(lupdate))
            QSKIP("lupdate is not installed");
        QTemporaryDir dir;
        const QString scan = dir.filePath(QStringLiteral("scan.ts"));
        QProcess p;
        p.start(lupdate, {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                          QStringLiteral(QUILLBAY_SOURCE_DIR "/src"), QStringLiteral("-ts"), scan});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        const QHash<QString, QString> keys = messagesOf(scan);
        QVERIFY2(keys.size() > 100, "the scan found almost no texts");
        for (const QString& language : {QStringLiteral("en"), QStringLiteral("pt_BR")}) {
            const QHash<QString, QString> catalogue =
                messagesOf(kSources + QStringLiteral("/translations/quillbay_%1.ts").arg(language));
            QStringList missing;
            for (auto it = keys.cbegin(); it != keys.cend(); ++it)
                if (catalogue.value(it.key()).isEmpty())
                    missing << QString(it.key()).replace(QLatin1Char('\n'), QStringLiteral(": "));
            missing.sort();
            QVERIFY2(missing.isEmpty(),
                     qPrintable(language + QStringLiteral(" lacks ") + missing.join(" | ")));
        }
    }

    // No translation tells a Linux user about a Mac, its Finder, AirDrop or Launchpad, or writes hot keys
    // with the Mac's signs.
    void translationsSpeakLinux() {
        static const QRegularExpression macOnly(
            QStringLiteral("\\bMacs?\\b|macOS|AirDrop|Launchpad|Finder|[\u2318\u2325\u2303\u21E7]"));
        for (const QString& language : {QStringLiteral("en"), QStringLiteral("pt_BR")}) {
            const QHash<QString, QString> catalogue =
                messagesOf(kSources + QStringLiteral("/translations/quillbay_%1.ts").arg(language));
            QVERIFY(!catalogue.isEmpty());
            for (auto it = catalogue.cbegin(); it != catalogue.cend(); ++it)
                QVERIFY2(!macOnly.match(it.value()).hasMatch(), qPrintable(language + ": " + it.value()));
        }
    }
};

QTEST_MAIN(tst_Resources)
#include "tst_Resources.moc"
