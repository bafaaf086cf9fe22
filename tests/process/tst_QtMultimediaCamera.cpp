// The real camera module on a machine without a camera: nothing of the multimedia libraries is mapped
// before the first start, the answer comes later on the main thread as "no camera", a missing module
// is a failure rather than a crash, and ending the source while it opens neither hangs nor calls back.
#include "fakes/TestSupport.h"
#include "platform/qtmm/QtMultimediaCamera.h"

#include <QFile>
#include <QThread>
#include <QtTest>

#include <optional>

namespace {

bool multimediaMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains("libQt6Multimedia");
}

struct Recorder final : CameraSource::Listener {
    void cameraStarted() override { ++started; }
    void cameraFailed(CameraSource::Failure f, const QString& d) override {
        failure = f;
        detail = d;
        onMainThread = QThread::currentThread() == qApp->thread();
    }
    void cameraFrameReady() override { ++frames; }

    int started = 0;
    int frames = 0;
    std::optional<CameraSource::Failure> failure;
    QString detail;
    bool onMainThread = false;
};

} // namespace

class tst_QtMultimediaCamera : public QObject {
    Q_OBJECT
private slots:
    void nothingLoadedUntilFirstStart();
    void noCameraAnswersLater();
    void missingModuleIsAFailure();
    void endingWhileOpeningIsQuiet();
};

void tst_QtMultimediaCamera::nothingLoadedUntilFirstStart() {
    QtMultimediaCamera camera(QStringLiteral(QUILLBAY_CAMERA_MODULE));
    camera.stop(); // harmless before any start
    QVERIFY(!camera.captureThreadMade());
    QVERIFY(!multimediaMapped());
    QVERIFY(camera.latestFrame().isNull());
}

void tst_QtMultimediaCamera::noCameraAnswersLater() {
    QtMultimediaCamera camera(QStringLiteral(QUILLBAY_CAMERA_MODULE));
    Recorder r;
    camera.start(&r);
    QVERIFY(!r.failure); // the answer never comes from inside start()
    camera.start(&r);    // ignored while the first is under way
    QVERIFY(TestSupport::waitUntil([&] { return r.failure.has_value(); }, 60000));
    QCOMPARE(*r.failure, CameraSource::Failure::noCamera);
    QVERIFY(r.onMainThread);
    QCOMPARE(r.started, 0);
    QVERIFY(multimediaMapped());
    // A failed start leaves the source ready for the next one, which answers the same.
    r.failure.reset();
    camera.start(&r);
    QVERIFY(TestSupport::waitUntil([&] { return r.failure.has_value(); }, 60000));
    QCOMPARE(*r.failure, CameraSource::Failure::noCamera);
}

void tst_QtMultimediaCamera::missingModuleIsAFailure() {
    QtMultimediaCamera camera(QStringLiteral("/nonexistent/quillbay-camera.so"));
    Recorder r;
    camera.start(&r);
    QVERIFY(TestSupport::waitUntil([&] { return r.failure.has_value(); }, 30000));
    QCOMPARE(*r.failure, CameraSource::Failure::failed);
    QVERIFY(!r.detail.isEmpty());
}

void tst_QtMultimediaCamera::endingWhileOpeningIsQuiet() {
    Recorder r;
    {
        QtMultimediaCamera camera(QStringLiteral(QUILLBAY_CAMERA_MODULE));
        camera.start(&r);
        camera.stop();
        camera.start(&r);
    }                  // destroyed with the second start under way
    QTest::qWait(200); // proves nothing wrongly queued arrives
    QVERIFY(!r.failure);
    QCOMPARE(r.started, 0);
    // And a stop before the answer swallows it.
    QtMultimediaCamera camera(QStringLiteral(QUILLBAY_CAMERA_MODULE));
    camera.start(&r);
    camera.stop();
    QTest::qWait(200); // proves the swallowed answer never arrives
    QVERIFY(!r.failure);
}

QTEST_MAIN(tst_QtMultimediaCamera)
#include "tst_QtMultimediaCamera.moc"
