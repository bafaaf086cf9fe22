// Image conversion beside the source: names, the same-file refusal, round trips through every format with
// the orientation tag applied, writes that fail without leaving anything behind, and the kit's summary.
#include "platform/libheif/LibheifCodec.h"
#include "services/ImageConverter.h"
#include "services/UtilsState.h"

#include "fakes/FakeFileRevealer.h"

#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QThreadPool>
#include <QtTest>

#include <unistd.h>

namespace {

// Four quadrants of distinct colours, so a rotation or a mirror shows.
QImage quadrants(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         x < w / 2 ? (y < h / 2 ? qRgb(220, 30, 30) : qRgb(30, 200, 30))
                                   : (y < h / 2 ? qRgb(30, 30, 220) : qRgb(240, 240, 40)));
    return img;
}

bool near(QRgb a, QRgb b, int tolerance = 40) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Samples well inside each quadrant of an upright picture.
bool looksUpright(const QImage& img) {
    const int w = img.width(), h = img.height();
    return near(img.pixel(w / 4, h / 4), qRgb(220, 30, 30)) &&
           near(img.pixel(3 * w / 4, h / 4), qRgb(30, 30, 220)) &&
           near(img.pixel(w / 4, 3 * h / 4), qRgb(30, 200, 30)) &&
           near(img.pixel(3 * w / 4, 3 * h / 4), qRgb(240, 240, 40));
}

// A JPEG of `stored` with an orientation tag: 6 asks viewers to turn it 90° clockwise. Qt's writer would
// turn the pixels itself, so the tag is spliced in by hand right after the start marker.
QByteArray taggedJpeg(const QImage& stored, quint16 orientation) {
    QByteArray jpeg;
    {
        QBuffer b(&jpeg);
        b.open(QIODevice::WriteOnly);
        stored.save(&b, "JPEG", 95);
    }
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("MM\0*\0\0\0\x08", 8);          // big-endian TIFF header, IFD at 8
    exif += QByteArray("\0\x01", 2);                   // one entry
    exif += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // Orientation, SHORT, count 1
    exif += char(orientation >> 8);
    exif += char(orientation & 0xFF);
    exif += QByteArray("\0\0\0\0\0\0", 6); // value padding, no next IFD
    QByteArray app1("\xFF\xE1", 2);
    const int length = int(exif.size()) + 2;
    app1 += char(length >> 8);
    app1 += char(length & 0xFF);
    app1 += exif;
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

// Counts what is asked of it and passes it on to the real codec, or refuses as a missing module would.
class CountingHeifCodec final : public HeifCodec {
public:
    explicit CountingHeifCodec(HeifCodec* real)
        : m_real(real) {}
    QImage decode(const QString& path, qint64 maxBytes, QString* error) override {
        ++decodes;
        if (!m_real)
            return *error = QStringLiteral("unavailable"), QImage();
        return m_real->decode(path, maxBytes, error);
    }
    std::optional<QByteArray> encode(const QImage& image, int quality, QString* error) override {
        ++encodes;
        if (!m_real)
            return *error = QStringLiteral("unavailable"), std::nullopt;
        return m_real->encode(image, quality, error);
    }
    int decodes = 0;
    int encodes = 0;

private:
    HeifCodec* m_real;
};

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

class tst_ImageConverter : public QObject {
    Q_OBJECT
private slots:
    void destination_data();
    void destination();
    void sameFile_data();
    void sameFile();
    void roundTrip_data();
    void roundTrip();
    void orientationApplied_data();
    void orientationApplied();
    void oddSizedHeic();
    void existingDestinationReplaced();
    void failedWriteLeavesNothing();
    void readOnlyFolder();
    void unreadableInput_data();
    void unreadableInput();
    void summary();
    void formatFrozenForTheBatch();
    void noFiles();
    void onlyHeifAsksTheCodec_data();
    void onlyHeifAsksTheCodec();
    void withoutTheCodecHeifFailsAndSaysWhy_data();
    void withoutTheCodecHeifFailsAndSaysWhy();

private:
    LibheifCodec m_heif;
};

void tst_ImageConverter::destination_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<ImageOutputFormat>("format");
    QTest::addColumn<QString>("destination");
    QTest::newRow("jpg to JPEG") << "/p/a.jpg" << ImageOutputFormat::jpeg << "/p/a.jpeg";
    QTest::newRow("last extension only") << "/p/a.tar.gz" << ImageOutputFormat::png << "/p/a.tar.png";
    QTest::newRow("no extension") << "/p/photo" << ImageOutputFormat::tiff << "/p/photo.tiff";
    QTest::newRow("leading dot is the name") << "/p/.bashrc" << ImageOutputFormat::heic << "/p/.bashrc.heic";
    QTest::newRow("dotted folder") << "/p.q/photo" << ImageOutputFormat::png << "/p.q/photo.png";
}

void tst_ImageConverter::destination() {
    QFETCH(QString, source);
    QFETCH(ImageOutputFormat, format);
    QFETCH(QString, destination);
    QCOMPARE(ImageConverter::destinationFor(source, format), destination);
}

void tst_ImageConverter::sameFile_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<ImageOutputFormat>("format");
    QTest::addColumn<QString>("link"); // a symbolic link made at the destination, pointing at the source
    QTest::addColumn<bool>("refused");
    QTest::newRow("png to PNG") << "x.png" << ImageOutputFormat::png << "" << true;
    QTest::newRow("PNG in capitals to PNG") << "x.PNG" << ImageOutputFormat::png << "" << true;
    QTest::newRow("Tiff to TIFF") << "x.Tiff" << ImageOutputFormat::tiff << "" << true;
    QTest::newRow("destination links to the source") << "x.jpg" << ImageOutputFormat::png << "x.png" << true;
    QTest::newRow("jpg to JPEG") << "x.jpg" << ImageOutputFormat::jpeg << "" << false;
}

void tst_ImageConverter::sameFile() {
    QFETCH(QString, source);
    QFETCH(ImageOutputFormat, format);
    QFETCH(QString, link);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    const QString src = dir.filePath(source);
    QVERIFY(quadrants(8, 8).save(src, "PNG"));
    if (!link.isEmpty())
        QVERIFY(QFile::link(src, dir.filePath(link)));
    const QByteArray before = [&] {
        QFile f(src);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const std::optional<QString> out = ImageConverter::convert(src, format, &m_heif);
    QCOMPARE(!out.has_value(), refused);
    QFile f(src);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void tst_ImageConverter::roundTrip_data() {
    QTest::addColumn<QList<ImageOutputFormat>>("chain");
    using F = ImageOutputFormat;
    QTest::newRow("PNG → JPEG → TIFF → HEIC → PNG") << QList<F>{F::jpeg, F::tiff, F::heic, F::png};
    QTest::newRow("PNG → HEIC → JPEG → PNG") << QList<F>{F::heic, F::jpeg, F::png};
    QTest::newRow("PNG → TIFF → PNG") << QList<F>{F::tiff, F::png};
}

void tst_ImageConverter::roundTrip() {
    QFETCH(QList<ImageOutputFormat>, chain);
    QTemporaryDir dir;
    QString current = dir.filePath("start.png");
    QVERIFY(quadrants(64, 48).save(current, "PNG"));
    int step = 0;
    for (ImageOutputFormat format : chain) {
        // Each step gets a fresh name so that no step is refused as the same file.
        const QString renamed =
            dir.filePath(QStringLiteral("step%1.%2").arg(step++).arg(QFileInfo(current).suffix()));
        QVERIFY(QFile::rename(current, renamed));
        const std::optional<QString> out = ImageConverter::convert(renamed, format, &m_heif);
        QVERIFY2(out, qPrintable(rawValue(format)));
        QVERIFY(QFileInfo::exists(renamed));
        const QImage read = ImageConverter::decode(*out, &m_heif);
        QCOMPARE(read.size(), QSize(64, 48));
        QVERIFY2(looksUpright(read), qPrintable(rawValue(format)));
        current = *out;
    }
}

void tst_ImageConverter::orientationApplied_data() {
    QTest::addColumn<QByteArray>("sourceFormat");
    QTest::addColumn<ImageOutputFormat>("target");
    QTest::newRow("rotated JPEG to PNG") << QByteArray("jpeg") << ImageOutputFormat::png;
    QTest::newRow("rotated JPEG to HEIC") << QByteArray("jpeg") << ImageOutputFormat::heic;
    QTest::newRow("rotated TIFF to JPEG") << QByteArray("tiff") << ImageOutputFormat::jpeg;
}

void tst_ImageConverter::orientationApplied() {
    QFETCH(QByteArray, sourceFormat);
    QFETCH(ImageOutputFormat, target);
    QTemporaryDir dir;
    const QString src = dir.filePath("phone." + sourceFormat);
    // The pixels are stored turned a quarter to the left and tagged "rotate 90° clockwise to show", as a
    // phone held upright writes them.
    const QImage stored = quadrants(64, 48).transformed(QTransform().rotate(-90));
    if (sourceFormat == "jpeg") {
        QFile f(src);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(taggedJpeg(stored, 6));
    } else {
        QImageWriter writer(src, sourceFormat);
        writer.setTransformation(QImageIOHandler::TransformationRotate90);
        QVERIFY(writer.write(stored));
    }
    QImageReader raw(src);
    raw.setAutoTransform(false);
    QCOMPARE(raw.read().size(), QSize(48, 64)); // stored on its side
    const std::optional<QString> out = ImageConverter::convert(src, target, &m_heif);
    QVERIFY(out);
    const QImage converted = ImageConverter::decode(*out, &m_heif);
    QCOMPARE(converted.size(), QSize(64, 48));
    QVERIFY(looksUpright(converted));
}

void tst_ImageConverter::oddSizedHeic() {
    QTemporaryDir dir;
    const QString src = dir.filePath("odd.png");
    QVERIFY(quadrants(15, 9).save(src, "PNG"));
    const std::optional<QString> out = ImageConverter::convert(src, ImageOutputFormat::heic, &m_heif);
    QVERIFY(out);
    QCOMPARE(ImageConverter::decode(*out, &m_heif).size(), QSize(15, 9));
    // With transparency too.
    QImage alpha(15, 9, QImage::Format_ARGB32);
    alpha.fill(qRgba(255, 0, 0, 128));
    QVERIFY(alpha.save(dir.filePath("alpha.png"), "PNG"));
    const std::optional<QString> withAlpha =
        ImageConverter::convert(dir.filePath("alpha.png"), ImageOutputFormat::heic, &m_heif);
    QVERIFY(withAlpha);
    QVERIFY(ImageConverter::decode(*withAlpha, &m_heif).hasAlphaChannel());
}

void tst_ImageConverter::existingDestinationReplaced() {
    QTemporaryDir dir;
    QVERIFY(quadrants(32, 32).save(dir.filePath("a.png"), "PNG"));
    QFile old(dir.filePath("a.jpeg"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older file");
    old.close();
    QVERIFY(ImageConverter::convert(dir.filePath("a.png"), ImageOutputFormat::jpeg, &m_heif));
    QCOMPARE(QImageReader(dir.filePath("a.jpeg")).format(), QByteArray("jpeg"));
    // The user's file keeps ordinary permissions (readable by others, as the folder's files are).
    QVERIFY(QFileInfo(dir.filePath("a.jpeg")).permissions() & QFile::ReadOwner);
    QCOMPARE(entries(dir.path()), (QStringList{"a.jpeg", "a.png"}));
}

void tst_ImageConverter::failedWriteLeavesNothing() {
    QTemporaryDir dir;
    QVERIFY(quadrants(32, 32).save(dir.filePath("a.png"), "PNG"));
    // A folder where the file would go: the write fails, and no temporary file stays behind.
    QVERIFY(QDir(dir.path()).mkdir("a.tiff"));
    QString error;
    QVERIFY(!ImageConverter::convert(dir.filePath("a.png"), ImageOutputFormat::tiff, &m_heif, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(entries(dir.path()), (QStringList{"a.png", "a.tiff"}));
    QVERIFY(QFileInfo(dir.filePath("a.tiff")).isDir());
}

void tst_ImageConverter::readOnlyFolder() {
    if (geteuid() == 0)
        QSKIP("permissions do not bind the superuser");
    QTemporaryDir dir;
    QVERIFY(quadrants(32, 32).save(dir.filePath("a.png"), "PNG"));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    FakeFileRevealer revealer;
    UtilsState utils(
        UtilsState::Seams{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &revealer, &m_heif});
    utils.setImageFormat(ImageOutputFormat::heic);
    utils.convertImages({dir.filePath("a.png")});
    QTRY_COMPARE_WITH_TIMEOUT(utils.output(), QString("❌ Falhou: a.png"), 20000);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(entries(dir.path()), QStringList{"a.png"});
    QVERIFY(revealer.calls.isEmpty());
}

void tst_ImageConverter::unreadableInput_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        quadrants(16, 16).save(&b, "PNG");
    }
    QByteArray huge = png;
    // Width and height in the header claim 60000 × 60000 (a 14 GB picture).
    const char dims[] = {0, 0, char(0xEA), 0x60, 0, 0, char(0xEA), 0x60};
    huge.replace(16, 8, QByteArray(dims, 8));
    QTest::newRow("text file") << QByteArray("hello") << "notes.txt";
    QTest::newRow("text named png") << QByteArray("hello") << "fake.png";
    QTest::newRow("truncated PNG") << png.left(png.size() / 2) << "cut.png";
    QTest::newRow("header claims 60000 × 60000") << huge << "huge.png";
    QTest::newRow("empty") << QByteArray() << "empty.jpg";
    QTest::newRow("HEIF brand, nothing after") << QByteArray("\0\0\0\x18"
                                                             "ftypheic\0\0\0\0mif1heic",
                                                             24)
                                               << "x.heic";
}

void tst_ImageConverter::unreadableInput() {
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    QTemporaryDir dir;
    QFile f(dir.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    QVERIFY(!ImageConverter::convert(f.fileName(), ImageOutputFormat::jpeg, &m_heif));
    QCOMPARE(entries(dir.path()), QStringList{name});
}

void tst_ImageConverter::summary() {
    QTemporaryDir dir;
    QVERIFY(quadrants(16, 16).save(dir.filePath("one.png"), "PNG"));
    QVERIFY(quadrants(16, 16).save(dir.filePath("two.jpg"), "JPEG"));
    QFile text(dir.filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("hi");
    text.close();
    FakeFileRevealer revealer;
    UtilsState utils(
        UtilsState::Seams{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &revealer, &m_heif});
    utils.setInput("kept");
    utils.setImageFormat(ImageOutputFormat::tiff);
    utils.convertImages({dir.filePath("one.png"), dir.filePath("notes.txt"), dir.filePath("two.jpg")});
    QCOMPARE(utils.tool(), DevTool::image);
    QCOMPARE(utils.output(), QString("Converting…"));
    QTRY_VERIFY_WITH_TIMEOUT(utils.output() != "Converting…", 20000);
    QCOMPARE(utils.output(), QString("✅ 2 arquivo(s) → TIFF:\n  one.tiff\n  two.tiff\n❌ Falhou: notes.txt"));
    QCOMPARE(revealer.calls, (QList<QStringList>{{dir.filePath("one.tiff"), dir.filePath("two.tiff")}}));
    QCOMPARE(utils.input(), QString("kept"));
}

void tst_ImageConverter::formatFrozenForTheBatch() {
    QTemporaryDir dir;
    QVERIFY(quadrants(16, 16).save(dir.filePath("a.png"), "PNG"));
    UtilsState utils;
    utils.setImageFormat(ImageOutputFormat::jpeg);
    utils.convertImages({dir.filePath("a.png")});
    utils.setImageFormat(ImageOutputFormat::tiff); // a chip changed while the batch runs
    QTRY_VERIFY_WITH_TIMEOUT(utils.output() != "Converting…", 20000);
    QCOMPARE(utils.output(), QString("✅ 1 arquivo(s) → JPEG:\n  a.jpeg"));
    QVERIFY(!QFileInfo::exists(dir.filePath("a.tiff")));
}

void tst_ImageConverter::noFiles() {
    UtilsState utils;
    utils.convertImages({});
    QTRY_COMPARE_WITH_TIMEOUT(utils.output(), QString("❌ Solte arquivos de imagem"), 10000);
}

// The HEIF codec is a module loaded when first asked: converting PNG, JPEG or TIFF must never ask it,
// or every such conversion would load libheif and its codecs.
void tst_ImageConverter::onlyHeifAsksTheCodec_data() {
    using F = ImageOutputFormat;
    QTest::addColumn<QByteArray>("sourceFormat"); // empty: a HEIC made by the real codec
    QTest::addColumn<ImageOutputFormat>("target");
    QTest::addColumn<int>("decodes");
    QTest::addColumn<int>("encodes");
    QTest::newRow("PNG → JPEG") << QByteArray("PNG") << F::jpeg << 0 << 0;
    QTest::newRow("JPEG → TIFF") << QByteArray("JPEG") << F::tiff << 0 << 0;
    QTest::newRow("TIFF → PNG") << QByteArray("TIFF") << F::png << 0 << 0;
    QTest::newRow("PNG → HEIC") << QByteArray("PNG") << F::heic << 0 << 1;
    QTest::newRow("HEIC → PNG") << QByteArray() << F::png << 1 << 0;
}

void tst_ImageConverter::onlyHeifAsksTheCodec() {
    QFETCH(QByteArray, sourceFormat);
    QFETCH(ImageOutputFormat, target);
    QFETCH(int, decodes);
    QFETCH(int, encodes);
    QTemporaryDir dir;
    QString src;
    if (sourceFormat.isEmpty()) {
        QVERIFY(quadrants(16, 16).save(dir.filePath("a.png"), "PNG"));
        const std::optional<QString> heic =
            ImageConverter::convert(dir.filePath("a.png"), ImageOutputFormat::heic, &m_heif);
        QVERIFY(heic);
        QVERIFY(QFile::remove(dir.filePath("a.png")));
        src = *heic;
    } else {
        src = dir.filePath("a." + sourceFormat.toLower());
        QVERIFY(quadrants(16, 16).save(src, sourceFormat.constData()));
    }
    CountingHeifCodec codec(&m_heif);
    QString error;
    const std::optional<QString> out = ImageConverter::convert(src, target, &codec, &error);
    QVERIFY2(out, qPrintable(error));
    QVERIFY(looksUpright(ImageConverter::decode(*out, &m_heif)));
    QCOMPARE(codec.decodes, decodes);
    QCOMPARE(codec.encodes, encodes);
}

// No codec at all, or one whose module cannot be loaded: a HEIF file read or written fails with the
// reason, leaves nothing behind, and other formats convert as before.
void tst_ImageConverter::withoutTheCodecHeifFailsAndSaysWhy_data() {
    using F = ImageOutputFormat;
    QTest::addColumn<bool>("heicSource");
    QTest::addColumn<ImageOutputFormat>("target");
    QTest::addColumn<bool>("refusingCodec"); // false: no codec at all
    QTest::addColumn<QString>("reason");     // empty: the conversion succeeds
    QTest::newRow("no codec, PNG → HEIC") << false << F::heic << false << "HEIF/HEIC";
    QTest::newRow("no codec, HEIC → PNG") << true << F::png << false << "HEIF/HEIC";
    QTest::newRow("no codec, PNG → JPEG") << false << F::jpeg << false << QString();
    QTest::newRow("unloadable, PNG → HEIC") << false << F::heic << true << "unavailable";
    QTest::newRow("unloadable, HEIC → TIFF") << true << F::tiff << true << "unavailable";
    QTest::newRow("unloadable, PNG → TIFF") << false << F::tiff << true << QString();
}

void tst_ImageConverter::withoutTheCodecHeifFailsAndSaysWhy() {
    QFETCH(bool, heicSource);
    QFETCH(ImageOutputFormat, target);
    QFETCH(bool, refusingCodec);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(quadrants(16, 16).save(dir.filePath("a.png"), "PNG"));
    QString src = dir.filePath("a.png");
    if (heicSource) {
        const std::optional<QString> heic = ImageConverter::convert(src, ImageOutputFormat::heic, &m_heif);
        QVERIFY(heic);
        QVERIFY(QFile::remove(src));
        src = *heic;
    }
    const QStringList before = entries(dir.path());
    CountingHeifCodec refusing(nullptr);
    QString error;
    const std::optional<QString> out =
        ImageConverter::convert(src, target, refusingCodec ? &refusing : nullptr, &error);
    if (reason.isEmpty()) {
        QVERIFY2(out, qPrintable(error));
        return;
    }
    QVERIFY(!out);
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(entries(dir.path()), before);
}

QTEST_GUILESS_MAIN(tst_ImageConverter)
#include "tst_ImageConverter.moc"
