// The camera mirror's state against a camera the test drives: the settings and their stored forms,
// starts that succeed, fail or overlap, failures in mid-stream, stops that race a late answer, and
// pictures that arrive while the mirror is off.
#include "fakes/FakeCameraSource.h"
#include "services/CameraService.h"
#include "services/Defaults.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(CameraShape)
Q_DECLARE_METATYPE(CameraSource::Failure)

class tst_CameraService : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstRun();
    void storedValuesLoad_data();
    void storedValuesLoad();
    void settingsPersistAndReload();
    void eachAssignmentIsStored();
    void startRunsAndClearsStatus();
    void failedStartLeavesMirrorOff_data();
    void failedStartLeavesMirrorOff();
    void secondStartWhilePendingStartsNothing();
    void failureInMidStreamStopsMirror();
    void stopClearsEverything();
    void lateAnswerAfterStopIsIgnored();
    void toggleFlips();
    void framesOnlyWhileOn();
    void noCameraSourceFindsNone();

private:
    std::unique_ptr<CameraService> makeService();

    QTemporaryDir m_dir;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<FakeCameraSource> m_camera;
};

void tst_CameraService::init() {
    QFile::remove(m_dir.filePath("defaults.json"));
    m_defaults = std::make_unique<Defaults>(m_dir.filePath("defaults.json"));
    m_camera = std::make_unique<FakeCameraSource>();
}

void tst_CameraService::cleanup() {
    m_defaults.reset();
}

std::unique_ptr<CameraService> tst_CameraService::makeService() {
    return std::make_unique<CameraService>(*m_camera, *m_defaults);
}

void tst_CameraService::firstRun() {
    auto s = makeService();
    QCOMPARE(s->shape(), CameraShape::widescreen);
    QVERIFY(!s->borderOn());
    QCOMPARE(s->borderColorIndex(), 0);
    QCOMPARE(s->borderWidth(), 3.0);
    QVERIFY(s->mirrored());
    QVERIFY(!s->isActive());
    QCOMPARE(s->status(), QString());
    QCOMPARE(s->borderColor(), QColor(Qt::white));
    // Registered, not written: a first run stores nothing.
    QVERIFY(!m_defaults->hasPendingSave());
    QCOMPARE(m_camera->startCalls, 0);
}

void tst_CameraService::storedValuesLoad_data() {
    QTest::addColumn<QJsonObject>("stored");
    QTest::addColumn<CameraShape>("shape");
    QTest::addColumn<int>("colorIndex");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<double>("width");
    const QColor white(Qt::white), red(255, 69, 58);
    QTest::newRow("square") << QJsonObject{{"camShape", "1:1"}} << CameraShape::square << 0 << white << 3.0;
    QTest::newRow("circle") << QJsonObject{{"camShape", "Circle"}} << CameraShape::circle << 0 << white
                            << 3.0;
    QTest::newRow("unknown shape is widescreen")
        << QJsonObject{{"camShape", "bogus"}} << CameraShape::widescreen << 0 << white << 3.0;
    QTest::newRow("shape in the wrong case")
        << QJsonObject{{"camShape", "circle"}} << CameraShape::widescreen << 0 << white << 3.0;
    QTest::newRow("shape stored as a number")
        << QJsonObject{{"camShape", 2}} << CameraShape::widescreen << 0 << white << 3.0;
    QTest::newRow("colour beyond the list shows the last")
        << QJsonObject{{"camBorderColor", 99}} << CameraShape::widescreen << 99 << red << 3.0;
    QTest::newRow("negative colour shows the first")
        << QJsonObject{{"camBorderColor", -1}} << CameraShape::widescreen << -1 << white << 3.0;
    QTest::newRow("colour far beyond int") << QJsonObject{{"camBorderColor", 1e15}} << CameraShape::widescreen
                                           << std::numeric_limits<int>::max() << red << 3.0;
    QTest::newRow("width as text") << QJsonObject{{"camBorderWidth", "7"}} << CameraShape::widescreen << 0
                                   << white << 7.0;
    QTest::newRow("width of the wrong type")
        << QJsonObject{{"camBorderWidth", QJsonObject()}} << CameraShape::widescreen << 0 << white << 0.0;
}

void tst_CameraService::storedValuesLoad() {
    QFETCH(QJsonObject, stored);
    QFETCH(CameraShape, shape);
    QFETCH(int, colorIndex);
    QFETCH(QColor, color);
    QFETCH(double, width);
    for (auto it = stored.begin(); it != stored.end(); ++it)
        m_defaults->set(it.key(), it.value());
    auto s = makeService();
    QCOMPARE(s->shape(), shape);
    QCOMPARE(s->borderColorIndex(), colorIndex);
    QCOMPARE(s->borderColor(), color);
    QCOMPARE(s->borderWidth(), width);
}

void tst_CameraService::settingsPersistAndReload() {
    {
        auto s = makeService();
        s->setShape(CameraShape::circle);
        s->setBorderOn(true);
        s->setBorderColorIndex(4);
        s->setBorderWidth(7);
        s->setMirrored(false);
        QVERIFY(m_defaults->flush());
    }
    m_defaults = std::make_unique<Defaults>(m_dir.filePath("defaults.json")); // the next run
    auto s = makeService();
    QCOMPARE(s->shape(), CameraShape::circle);
    QVERIFY(s->borderOn());
    QCOMPARE(s->borderColorIndex(), 4);
    QCOMPARE(s->borderWidth(), 7.0);
    QVERIFY(!s->mirrored());
    QVERIFY(!s->isActive()); // the mirror always starts off
    QCOMPARE(m_defaults->string("camShape"), QString("Circle"));
}

void tst_CameraService::eachAssignmentIsStored() {
    auto s = makeService();
    QSignalSpy shapes(s.get(), &CameraService::shapeChanged);
    QSignalSpy widths(s.get(), &CameraService::borderWidthChanged);
    s->setShape(CameraShape::widescreen); // the value it had
    QCOMPARE(shapes.count(), 0);
    QCOMPARE(m_defaults->string("camShape"), QString("16:9"));
    s->setShape(CameraShape::square);
    QCOMPARE(shapes.count(), 1);
    // A choice made while the border is off is kept for when it comes on.
    s->setBorderWidth(2);
    s->setBorderColorIndex(3);
    QCOMPARE(widths.count(), 1);
    QVERIFY(!s->borderOn());
    QCOMPARE(m_defaults->doubleValue("camBorderWidth"), 2.0);
    QCOMPARE(m_defaults->integer("camBorderColor"), qint64(3));
}

void tst_CameraService::startRunsAndClearsStatus() {
    m_camera->answerAtOnce = false;
    auto s = makeService();
    QSignalSpy active(s.get(), &CameraService::isActiveChanged);
    s->start();
    QVERIFY(s->isStarting());
    QVERIFY(!s->isActive());
    QCOMPARE(s->status(), QString("Starting the camera…"));
    m_camera->finishStart();
    QVERIFY(s->isActive());
    QVERIFY(!s->isStarting());
    QCOMPARE(s->status(), QString());
    QCOMPARE(active.count(), 1);
}

void tst_CameraService::failedStartLeavesMirrorOff_data() {
    QTest::addColumn<CameraSource::Failure>("failure");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("status");
    QTest::newRow("absent") << CameraSource::Failure::noCamera << ""
                            << "No camera found";
    QTest::newRow("held by another program") << CameraSource::Failure::busy << "Device or resource busy"
                                             << "The camera is in use by another program";
    QTest::newRow("refused, with the system's words")
        << CameraSource::Failure::failed << "the camera did not answer"
        << "The camera could not be started: the camera did not answer";
    QTest::newRow("refused, silently") << CameraSource::Failure::failed << ""
                                       << "The camera could not be started";
    QTest::newRow("gone before it ran") << CameraSource::Failure::lost << ""
                                        << "The camera was disconnected";
}

void tst_CameraService::failedStartLeavesMirrorOff() {
    QFETCH(CameraSource::Failure, failure);
    QFETCH(QString, detail);
    QFETCH(QString, status);
    m_camera->failAtStart = failure;
    m_camera->failDetail = detail;
    auto s = makeService();
    QSignalSpy active(s.get(), &CameraService::isActiveChanged);
    s->start();
    QVERIFY(!s->isActive());
    QVERIFY(!s->isStarting());
    QCOMPARE(s->status(), status);
    QCOMPARE(active.count(), 0);
    // The failure does not stick: a later start tries again.
    m_camera->failAtStart.reset();
    s->start();
    QVERIFY(s->isActive());
    QCOMPARE(s->status(), QString());
}

void tst_CameraService::secondStartWhilePendingStartsNothing() {
    m_camera->answerAtOnce = false;
    auto s = makeService();
    s->start();
    s->start();
    s->toggle(); // the tab's button, pressed again while the camera is opening
    QCOMPARE(m_camera->startCalls, 1);
    m_camera->finishStart();
    s->start();
    QCOMPARE(m_camera->startCalls, 1);
    QVERIFY(s->isActive());
    s->stop();
    QVERIFY(!m_camera->running);
    QVERIFY(!m_camera->starting);
}

void tst_CameraService::failureInMidStreamStopsMirror() {
    auto s = makeService();
    s->start();
    m_camera->pushFrame();
    QVERIFY(!s->frame().isNull());
    m_camera->failNow(CameraSource::Failure::lost);
    QVERIFY(!s->isActive());
    QCOMPARE(s->status(), QString("The camera was disconnected"));
    QVERIFY(s->frame().isNull());
    // Pictures still in flight from the lost camera change nothing.
    m_camera->running = true;
    m_camera->listener = nullptr;
    m_camera->pushFrame();
    QVERIFY(s->frame().isNull());
}

void tst_CameraService::stopClearsEverything() {
    m_camera->failAtStart = CameraSource::Failure::noCamera;
    auto s = makeService();
    s->start();
    QCOMPARE(s->status(), QString("No camera found"));
    m_camera->failAtStart.reset();
    s->start();
    m_camera->pushFrame();
    QVERIFY(s->isActive());
    s->stop();
    QVERIFY(!s->isActive());
    QCOMPARE(s->status(), QString());
    QVERIFY(s->frame().isNull());
    QVERIFY(!m_camera->running);
    s->stop(); // harmless when off
    QVERIFY(!s->isActive());
}

void tst_CameraService::lateAnswerAfterStopIsIgnored() {
    m_camera->answerAtOnce = false;
    auto s = makeService();
    s->start();
    CameraSource::Listener* listener = m_camera->listener;
    QVERIFY(listener);
    s->stop();
    QCOMPARE(s->status(), QString());
    listener->cameraStarted(); // an answer that crossed the stop
    QVERIFY(!s->isActive());
    QVERIFY(!s->isStarting());
}

void tst_CameraService::toggleFlips() {
    auto s = makeService();
    s->toggle();
    QVERIFY(s->isActive());
    s->toggle();
    QVERIFY(!s->isActive());
    QCOMPARE(m_camera->startCalls, 1);
    QCOMPARE(m_camera->stopCalls, 1);
}

void tst_CameraService::framesOnlyWhileOn() {
    m_camera->answerAtOnce = false;
    auto s = makeService();
    QSignalSpy frames(s.get(), &CameraService::frameChanged);
    s->start();
    m_camera->running = true; // the source runs a moment before its answer arrives
    m_camera->pushFrame();
    QCOMPARE(frames.count(), 0);
    QVERIFY(s->frame().isNull());
    // The early picture was read and dropped, so the next one is told.
    m_camera->running = false;
    m_camera->finishStart();
    m_camera->pushFrame();
    QCOMPARE(frames.count(), 1);
    QCOMPARE(s->frame().size(), QSize(1280, 720));
    // The service shares the source's picture rather than copying it.
    QCOMPARE(s->frame().constBits(), m_camera->frame.constBits());
}

void tst_CameraService::noCameraSourceFindsNone() {
    NoCameraSource none;
    CameraService s(none, *m_defaults);
    s.toggle();
    QVERIFY(!s.isActive());
    QCOMPARE(s.status(), QString("No camera found"));
}

QTEST_GUILESS_MAIN(tst_CameraService)
#include "tst_CameraService.moc"
