// Seams made by a module loaded on first use: the real modules load and answer, a missing or wrong module
// leaves the seam as a desktop without that facility (never a crash, and a reason where the caller takes
// one), and threads that ask at once share one implementation.
#include "platform/modules/ModuleSeams.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

class tst_LoadedSeam : public QObject {
    Q_OBJECT
private slots:
    void missingModuleActsAsAbsentFacility() {
        const QString path = QStringLiteral("/nonexistent/quillbay-ocr.so");
        ModuleTextRecognizer recognizer(path);
        QCOMPARE(recognizer.recognize(QStringLiteral("/nonexistent.png")), std::nullopt);
        ModuleAlertSound sound(QStringLiteral("/nonexistent/quillbay-sound.so"));
        sound.play();
        ModuleSecretStore secrets(QStringLiteral("/nonexistent/quillbay-secrets.so"));
        std::atomic_bool stop{false};
        QCOMPARE(secrets.lookup(QStringLiteral("Claude Code-credentials"), 100, stop), std::nullopt);

        LoadedSeam<TextRecognizer> seam(path, SeamModules::kTextRecognitionSymbol);
        QVERIFY(!seam.get());
        QVERIFY2(seam.error().contains(path), qPrintable(seam.error()));
    }

    // Without its module a HEIF image can be neither read nor written, and each failure says why, naming
    // the module, every time it is asked (the load is tried once).
    void missingHeifModuleSaysWhyEachTime() {
        const QString path = QStringLiteral("/nonexistent/quillbay-heif.so");
        ModuleHeifCodec codec(path);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QString error;
            QVERIFY(codec.decode(QStringLiteral("/nonexistent.heic"), 1 << 20, &error).isNull());
            QVERIFY2(error.contains(QLatin1String("unavailable")) && error.contains(path), qPrintable(error));
            error.clear();
            QImage image(4, 4, QImage::Format_RGB32);
            image.fill(Qt::red);
            QCOMPARE(codec.encode(image, 90, &error), std::nullopt);
            QVERIFY2(error.contains(path), qPrintable(error));
        }
        // A caller that wants no reason is not written to.
        QVERIFY(codec.decode(QStringLiteral("/nonexistent.heic"), 1 << 20, nullptr).isNull());
    }

    // What the real module writes it reads back: the picture, its size and its transparency, within the
    // limit it is given.
    void theHeifModuleReadsWhatItWrites() {
        ModuleHeifCodec codec{QStringLiteral(QUILLBAY_HEIF_MODULE)};
        QImage image(40, 24, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.fillRect(0, 0, 20, 24, QColor(220, 30, 30));
        }
        QString error;
        const std::optional<QByteArray> bytes = codec.encode(image, 90, &error);
        QVERIFY2(bytes && !bytes->isEmpty(), qPrintable(error));
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("a.heic")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(*bytes);
        file.close();
        const QImage read = codec.decode(file.fileName(), 1 << 20, &error);
        QVERIFY2(!read.isNull(), qPrintable(error));
        QCOMPARE(read.size(), image.size());
        QVERIFY(read.hasAlphaChannel());
        const QRgb left = read.pixel(5, 12);
        QVERIFY2(qRed(left) > 180 && qGreen(left) < 80 && qAlpha(left) > 200,
                 qPrintable(QString::number(left, 16)));
        QVERIFY(qAlpha(read.pixel(35, 12)) < 50);
        // 40 × 24 × 4 bytes is more than this limit allows.
        QVERIFY(codec.decode(file.fileName(), 40 * 24 * 4 - 1, &error).isNull());
        QVERIFY2(error.contains(QLatin1String("too large")), qPrintable(error));
        // A file that is no HEIF image is refused, not guessed at.
        QFile text(dir.filePath(QStringLiteral("b.heic")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("\0\0\0\x18"
                   "ftypisom\0\0\0\0isommp41",
                   24);
        text.close();
        QVERIFY(codec.decode(text.fileName(), 1 << 20, &error).isNull());
        QVERIFY(!error.isEmpty());
    }

    void aFileThatIsNoModuleIsRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quillbay-ocr.so"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x7f"
                   "ELF but not really");
        file.close();
        LoadedSeam<TextRecognizer> seam(path, SeamModules::kTextRecognitionSymbol);
        QVERIFY(!seam.get());
        QVERIFY(!seam.error().isEmpty());
    }

    // Another module's file at the expected name: it loads, but does not make this seam.
    void aModuleWithoutTheSymbolIsRefused() {
        LoadedSeam<TextRecognizer> seam(QStringLiteral(QUILLBAY_SOUND_MODULE),
                                        SeamModules::kTextRecognitionSymbol);
        QVERIFY(!seam.get());
        QVERIFY2(seam.error().contains(QLatin1String(SeamModules::kTextRecognitionSymbol)),
                 qPrintable(seam.error()));
    }

    void eachRealModuleMakesItsSeam() {
        LoadedSeam<TextRecognizer> ocr(QStringLiteral(QUILLBAY_OCR_MODULE),
                                       SeamModules::kTextRecognitionSymbol);
        QVERIFY2(ocr.get(), qPrintable(ocr.error()));
        LoadedSeam<AlertSound> sound(QStringLiteral(QUILLBAY_SOUND_MODULE), SeamModules::kAlertSoundSymbol);
        QVERIFY2(sound.get(), qPrintable(sound.error()));
        LoadedSeam<SecretStore> secrets(QStringLiteral(QUILLBAY_SECRETS_MODULE),
                                        SeamModules::kSecretStoreSymbol);
        QVERIFY2(secrets.get(), qPrintable(secrets.error()));
        LoadedSeam<HeifCodec> heif(QStringLiteral(QUILLBAY_HEIF_MODULE), SeamModules::kHeifCodecSymbol);
        QVERIFY2(heif.get(), qPrintable(heif.error()));
        QVERIFY(ocr.error().isEmpty() && sound.error().isEmpty() && secrets.error().isEmpty() &&
                heif.error().isEmpty());
    }

    // Recognitions start on several pool threads at once; the module is loaded once and they share what
    // it made, and the text comes through the module.
    void threadsAskingAtOnceShareOneImplementation() {
        QTemporaryDir dir;
        QImage image(420, 90, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(40);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("QUILLBAY"));
        }
        const QString picture = dir.filePath(QStringLiteral("text.png"));
        QVERIFY(image.save(picture));

        LoadedSeam<TextRecognizer> seam(QStringLiteral(QUILLBAY_OCR_MODULE),
                                        SeamModules::kTextRecognitionSymbol);
        ModuleTextRecognizer recognizer{QStringLiteral(QUILLBAY_OCR_MODULE)};
        constexpr int kThreads = 6;
        std::vector<TextRecognizer*> made(kThreads, nullptr);
        std::vector<std::optional<QString>> texts(kThreads);
        {
            std::vector<std::jthread> threads;
            for (int i = 0; i < kThreads; ++i)
                threads.emplace_back([&, i] {
                    made[i] = seam.get();
                    if (i < 2)
                        texts[i] = recognizer.recognize(picture);
                });
        }
        QVERIFY(made[0]);
        for (TextRecognizer* m : made)
            QCOMPARE(m, made[0]);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(texts[i]);
            QVERIFY2(texts[i]->contains(QLatin1String("QUILLBAY")), qPrintable(*texts[i]));
        }
    }
};

QTEST_MAIN(tst_LoadedSeam)
#include "tst_LoadedSeam.moc"
