// The camera module: the default camera through QtMultimedia, its pictures turned into images on the
// capture side, and its troubles (absent, held by another program, unplugged, silent) told apart.
#include "platform/qtmm/CameraBackend.h"

#include <QCamera>
#include <QCameraDevice>
#include <QCameraFormat>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>

#include <memory>

namespace {

// A camera that has not come up by then is reported rather than waited for.
constexpr int kStartDeadlineMs = 10000;

// The largest format up to 1280 × 720 that keeps at least 24 pictures a second; null for the
// camera's own choice.
QCameraFormat preferredFormat(const QCameraDevice& device) {
    QCameraFormat best;
    qint64 bestArea = 0;
    for (const QCameraFormat& f : device.videoFormats()) {
        const QSize size = f.resolution();
        if (size.width() > 1280 || size.height() > 720 || f.maxFrameRate() < 24)
            continue;
        const qint64 area = qint64(size.width()) * size.height();
        if (area > bestArea) {
            best = f;
            bestArea = area;
        }
    }
    return best;
}

bool soundsBusy(const QString& detail) {
    return detail.contains(QLatin1String("busy"), Qt::CaseInsensitive) ||
           detail.contains(QLatin1String("in use"), Qt::CaseInsensitive);
}

class QtCameraBackend final : public CameraBackend {
public:
    void open(CameraBackendEvents events) override {
        close();
        m_events = std::move(events);
        const QCameraDevice device = QMediaDevices::defaultVideoInput();
        if (device.isNull()) {
            failNow(CameraSource::Failure::noCamera, QString());
            return;
        }
        m_deviceId = device.id();
        m_context = std::make_unique<QObject>();
        m_devices = std::make_unique<QMediaDevices>();
        m_camera = std::make_unique<QCamera>(device);
        if (const QCameraFormat format = preferredFormat(device); !format.isNull())
            m_camera->setCameraFormat(format);
        m_sink = std::make_unique<QVideoSink>();
        m_session = std::make_unique<QMediaCaptureSession>();
        m_session->setCamera(m_camera.get());
        m_session->setVideoSink(m_sink.get());

        // The conversion runs where the picture arrives, never on the program's main thread; the
        // receiver keeps only the newest.
        QObject::connect(
            m_sink.get(), &QVideoSink::videoFrameChanged, m_context.get(),
            [frame = m_events.frame](const QVideoFrame& video) {
                const QImage image = video.toImage();
                if (!image.isNull())
                    frame(image);
            },
            Qt::DirectConnection);
        QObject::connect(m_camera.get(), &QCamera::activeChanged, m_context.get(), [this](bool active) {
            if (active && !m_started) {
                m_started = true;
                m_deadline.stop();
                m_events.started();
            } else if (!active && m_started) {
                fail(CameraSource::Failure::lost, QString());
            }
        });
        QObject::connect(m_camera.get(), &QCamera::errorOccurred, m_context.get(),
                         [this](QCamera::Error error, const QString& detail) {
                             if (error == QCamera::NoError)
                                 return;
                             if (m_started)
                                 fail(CameraSource::Failure::lost, detail);
                             else
                                 fail(soundsBusy(detail) ? CameraSource::Failure::busy
                                                         : CameraSource::Failure::failed,
                                      detail);
                         });
        // An unplugged camera may not say so through the capture; the device list does.
        QObject::connect(m_devices.get(), &QMediaDevices::videoInputsChanged, m_context.get(), [this] {
            for (const QCameraDevice& d : QMediaDevices::videoInputs())
                if (d.id() == m_deviceId)
                    return;
            fail(CameraSource::Failure::lost, QString());
        });
        m_deadline.setSingleShot(true);
        QObject::connect(&m_deadline, &QTimer::timeout, m_context.get(), [this] {
            fail(CameraSource::Failure::failed, QStringLiteral("the camera did not answer"));
        });
        m_deadline.start(kStartDeadlineMs);
        m_camera->start();
    }

    void close() override {
        ++m_opened;
        m_deadline.stop();
        m_context.reset(); // cuts every connection before the capture is torn down
        m_session.reset();
        m_camera.reset();
        m_sink.reset();
        m_devices.reset();
        m_events = CameraBackendEvents();
        m_started = false;
        m_deviceId.clear();
    }

    ~QtCameraBackend() override { close(); }

private:
    // Told from inside the camera's own signals: the capture is torn down once they have returned.
    void fail(CameraSource::Failure failure, const QString& detail) {
        QMetaObject::invokeMethod(
            &m_self,
            [this, opened = m_opened, failure, detail] {
                if (opened == m_opened)
                    failNow(failure, detail);
            },
            Qt::QueuedConnection);
    }

    void failNow(CameraSource::Failure failure, const QString& detail) {
        const CameraBackendEvents events = m_events;
        close();
        if (events.failed)
            events.failed(failure, detail);
    }

    QObject m_self; // carries the deferred failures; outlives every capture
    quint64 m_opened = 0;
    CameraBackendEvents m_events;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<QMediaDevices> m_devices;
    std::unique_ptr<QCamera> m_camera;
    std::unique_ptr<QVideoSink> m_sink;
    std::unique_ptr<QMediaCaptureSession> m_session;
    QTimer m_deadline;
    QByteArray m_deviceId;
    bool m_started = false;
};

} // namespace

extern "C" Q_DECL_EXPORT CameraBackend* quillbay_make_camera_backend() {
    return new QtCameraBackend();
}
