// Seams made by a module loaded on first use: the real modules load and answer, a missing or wrong module
// leaves the seam as a desktop without that facility (never a crash), and threads that ask at once share
// one implementation.
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
        QVERIFY(ocr.error().isEmpty() && sound.error().isEmpty() && secrets.error().isEmpty());
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
