// The Camera tab over a service with a fake camera: the header through a failed and a good start,
// choices made while the border is off, the width buttons against the stored width, and the switches.
#include "fakes/FakeCameraSource.h"
#include "services/CameraService.h"
#include "services/Defaults.h"
#include "views/CameraTab.h"
#include "views/IconButton.h"

#include <QAbstractButton>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <memory>

class tst_CameraTab : public QObject {
    Q_OBJECT

    template <typename T = QAbstractButton> T* child(QWidget& tab, const QString& name) {
        T* w = tab.findChild<T*>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    QStringList checkedWidths(QWidget& tab) {
        QStringList out;
        for (const char* name : {"width-2", "width-4", "width-7"})
            if (child(tab, name)->isChecked())
                out << name;
        return out;
    }

    QTranslator m_english;
    QTemporaryDir m_dir;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<FakeCameraSource> m_camera;
    std::unique_ptr<CameraService> m_service;

private slots:
    void initTestCase() {
        QVERIFY(m_english.load(QStringLiteral("quillbay_en"), QStringLiteral(":/i18n")));
        QVERIFY(QCoreApplication::installTranslator(&m_english));
    }
    void init() {
        QFile::remove(m_dir.filePath("defaults.json"));
        m_defaults = std::make_unique<Defaults>(m_dir.filePath("defaults.json"));
        m_camera = std::make_unique<FakeCameraSource>();
        m_service = std::make_unique<CameraService>(*m_camera, *m_defaults);
    }
    void cleanup() {
        m_service.reset();
        m_camera.reset();
        m_defaults.reset();
    }

    void noCameraLeavesMirrorOffWithStatus() {
        m_camera->failAtStart = CameraSource::Failure::noCamera;
        CameraTab tab(*m_service);
        tab.resize(640, 280);
        tab.show();
        QVERIFY(!child<QLabel>(tab, "cameraStatus")->isVisible());
        QCOMPARE(child<QPushButton>(tab, "cameraMain")->text(), QString("Turn on camera"));
        QTest::mouseClick(child(tab, "cameraMain"), Qt::LeftButton);
        QVERIFY(!m_service->isActive());
        QLabel* status = child<QLabel>(tab, "cameraStatus");
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), QString("No camera found"));
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 159, 10));
        QCOMPARE(child<QPushButton>(tab, "cameraMain")->text(), QString("Turn on camera"));
    }

    void headerFollowsTheMirror() {
        CameraTab tab(*m_service);
        auto* camera = child<IconButton>(tab, "cameraToggle");
        QCOMPARE(camera->symbol(), QString("web.camera"));
        QTest::mouseClick(camera, Qt::LeftButton);
        QVERIFY(m_service->isActive());
        QCOMPARE(camera->symbol(), QString("web.camera.fill"));
        QCOMPARE(child<QPushButton>(tab, "cameraMain")->text(), QString("Turn off mirror"));
        QTest::mouseClick(child(tab, "cameraMain"), Qt::LeftButton);
        QVERIFY(!m_service->isActive());
        QCOMPARE(camera->symbol(), QString("web.camera"));
        // A start from elsewhere (the palette) shows here too.
        m_service->start();
        QCOMPARE(child<QPushButton>(tab, "cameraMain")->text(), QString("Turn off mirror"));
    }

    void choicesWhileBorderOffAreStored() {
        CameraTab tab(*m_service);
        auto* fade = qobject_cast<QGraphicsOpacityEffect*>(
            child<QWidget>(tab, "swatch-0")->parentWidget()->graphicsEffect());
        QVERIFY(fade);
        QCOMPARE(fade->opacity(), 0.3);
        QTest::mouseClick(child(tab, "swatch-2"), Qt::LeftButton);
        QTest::mouseClick(child(tab, "width-7"), Qt::LeftButton);
        QVERIFY(!m_service->borderOn());
        QCOMPARE(m_defaults->integer("camBorderColor"), qint64(2));
        QCOMPARE(m_defaults->doubleValue("camBorderWidth"), 7.0);
        QVERIFY(child(tab, "swatch-2")->isChecked());
        QVERIFY(!child(tab, "swatch-0")->isChecked());
        QTest::mouseClick(child(tab, "borderSwitch"), Qt::LeftButton);
        QVERIFY(m_service->borderOn());
        QVERIFY(m_defaults->boolValue("camBorderOn"));
        QCOMPARE(fade->opacity(), 1.0);
    }

    void widthButtonsAgainstStoredWidth() {
        CameraTab tab(*m_service);
        QCOMPARE(checkedWidths(tab), QStringList()); // 3.0 is none of them
        QTest::mouseClick(child(tab, "width-4"), Qt::LeftButton);
        QCOMPARE(checkedWidths(tab), QStringList{"width-4"});
        QTest::mouseClick(child(tab, "width-4"), Qt::LeftButton); // again: stays chosen
        QCOMPARE(checkedWidths(tab), QStringList{"width-4"});
        m_service->setBorderWidth(2);
        QCOMPARE(checkedWidths(tab), QStringList{"width-2"});
    }

    void shapeChipsAndMirrorSwitch() {
        CameraTab tab(*m_service);
        QVERIFY(child(tab, "shape-16:9")->isChecked());
        QTest::mouseClick(child(tab, "shape-Circle"), Qt::LeftButton);
        QCOMPARE(m_service->shape(), CameraShape::circle);
        QVERIFY(child(tab, "shape-Circle")->isChecked());
        QVERIFY(!child(tab, "shape-16:9")->isChecked());
        QTest::mouseClick(child(tab, "shape-Circle"), Qt::LeftButton);
        QVERIFY(child(tab, "shape-Circle")->isChecked());

        QVERIFY(child(tab, "mirrorSwitch")->isChecked());
        QCOMPARE(child(tab, "mirrorSwitch")->text(), QString("Mirror the image (like a real mirror)"));
        QTest::mouseClick(child(tab, "mirrorSwitch"), Qt::LeftButton);
        QVERIFY(!m_service->mirrored());
        QVERIFY(!m_defaults->boolValue("camMirrored"));
    }
};

QTEST_MAIN(tst_CameraTab)
#include "tst_CameraTab.moc"
