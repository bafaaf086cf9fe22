#include "platform/qtmm/QtMultimediaCamera.h"

#include "platform/qtmm/CameraBackend.h"

#include <QImage>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <functional>
#include <memory>

// Where the capture thread leaves what it has for the main thread: the newest picture, and whether
// the main thread has been told. A notice belongs to one start (its generation); later ones are dropped.
struct QtMultimediaCamera::Mailbox {
    QMutex mutex;
    QtMultimediaCamera* receiver = nullptr; // cleared when the camera object goes
    quint64 generation = 0;
    QImage frame;
    bool frameNotified = false;

    // Posts `deliver` to the receiver's thread, unless the notice is stale.
    void post(quint64 gen, std::function<void(QtMultimediaCamera*)> deliver) {
        QMutexLocker lock(&mutex);
        if (!receiver || gen != generation)
            return;
        QtMultimediaCamera* r = receiver;
        // Posted while the lock holds, so the receiver cannot go in between; its destruction drops
        // events still queued for it.
        QMetaObject::invokeMethod(
            r, [r, deliver = std::move(deliver)] { deliver(r); }, Qt::QueuedConnection);
    }
};

namespace {

// Lives on the capture thread: loads the module on the first open and owns the backend.
class CaptureWorker : public QObject {
public:
    explicit CaptureWorker(QString modulePath)
        : m_modulePath(std::move(modulePath)) {}
    ~CaptureWorker() override {
        if (m_backend)
            m_backend->close();
    }

    void open(CameraBackendEvents events) {
        if (!m_backend && !load(events))
            return;
        m_backend->open(std::move(events));
    }
    void close() {
        if (m_backend)
            m_backend->close();
    }

private:
    bool load(const CameraBackendEvents& events) {
        // Never unloaded: the multimedia libraries keep threads and registrations of their own.
        QLibrary module(m_modulePath);
        module.setLoadHints(QLibrary::PreventUnloadHint);
        auto make = reinterpret_cast<MakeCameraBackend>(module.resolve(kMakeCameraBackendSymbol));
        if (!make) {
            events.failed(CameraSource::Failure::failed, module.errorString());
            return false;
        }
        m_backend.reset(make());
        return true;
    }

    QString m_modulePath;
    std::unique_ptr<CameraBackend> m_backend;
};

} // namespace

QtMultimediaCamera::QtMultimediaCamera(QString modulePath, QObject* parent)
    : QObject(parent)
    , m_modulePath(std::move(modulePath))
    , m_mailbox(std::make_shared<Mailbox>()) {
    m_mailbox->receiver = this;
}

QtMultimediaCamera::~QtMultimediaCamera() {
    {
        QMutexLocker lock(&m_mailbox->mutex);
        m_mailbox->receiver = nullptr;
        ++m_mailbox->generation;
    }
    if (!m_thread)
        return;
    // The worker closes the camera as it goes, and the thread ends only after that.
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker] {
            delete w;
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    // A camera driver that hangs in its close must not keep the program from ending: the thread is
    // then left to the process's exit.
    if (!m_thread->wait(3000))
        (void)m_thread.release();
}

void QtMultimediaCamera::ensureThread() {
    if (m_thread)
        return;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("camera capture"));
    m_worker = new CaptureWorker(m_modulePath);
    m_worker->moveToThread(m_thread.get());
    m_thread->start();
}

void QtMultimediaCamera::start(Listener* listener) {
    if (m_engaged)
        return;
    m_engaged = true;
    m_listener = listener;
    ensureThread();
    quint64 gen = 0;
    {
        QMutexLocker lock(&m_mailbox->mutex);
        gen = ++m_mailbox->generation;
        m_mailbox->frame = QImage();
        m_mailbox->frameNotified = false;
    }
    m_generation = gen;
    std::shared_ptr<Mailbox> box = m_mailbox;
    CameraBackendEvents events;
    events.started = [box, gen] { box->post(gen, [gen](QtMultimediaCamera* c) { c->deliverStarted(gen); }); };
    events.failed = [box, gen](Failure failure, const QString& detail) {
        box->post(gen,
                  [gen, failure, detail](QtMultimediaCamera* c) { c->deliverFailed(gen, failure, detail); });
    };
    events.frame = [box, gen](const QImage& image) {
        QMutexLocker lock(&box->mutex);
        if (!box->receiver || box->generation != gen)
            return;
        box->frame = image; // shared, not copied
        if (box->frameNotified)
            return; // the reader takes the newest when it comes; no backlog forms
        box->frameNotified = true;
        QtMultimediaCamera* r = box->receiver;
        QMetaObject::invokeMethod(
            r, [r, gen] { r->deliverFrame(gen); }, Qt::QueuedConnection);
    };
    auto* worker = static_cast<CaptureWorker*>(m_worker);
    QMetaObject::invokeMethod(
        worker, [worker, events = std::move(events)]() mutable { worker->open(std::move(events)); },
        Qt::QueuedConnection);
}

void QtMultimediaCamera::stop() {
    if (!m_engaged)
        return;
    m_engaged = false;
    m_listener = nullptr;
    {
        QMutexLocker lock(&m_mailbox->mutex);
        ++m_mailbox->generation;
        m_mailbox->frame = QImage();
        m_mailbox->frameNotified = false;
    }
    auto* worker = static_cast<CaptureWorker*>(m_worker);
    QMetaObject::invokeMethod(
        worker, [worker] { worker->close(); }, Qt::QueuedConnection);
}

QImage QtMultimediaCamera::latestFrame() {
    QMutexLocker lock(&m_mailbox->mutex);
    m_mailbox->frameNotified = false;
    return m_mailbox->frame;
}

void QtMultimediaCamera::deliverStarted(quint64 generation) {
    if (generation != m_generation || !m_engaged || !m_listener)
        return;
    m_listener->cameraStarted();
}

void QtMultimediaCamera::deliverFailed(quint64 generation, Failure failure, const QString& detail) {
    if (generation != m_generation || !m_engaged)
        return;
    Listener* listener = m_listener;
    stop(); // the capture may still hold the device; let it go before telling anyone
    if (listener)
        listener->cameraFailed(failure, detail);
}

void QtMultimediaCamera::deliverFrame(quint64 generation) {
    if (generation != m_generation || !m_engaged || !m_listener)
        return;
    m_listener->cameraFrameReady();
}
