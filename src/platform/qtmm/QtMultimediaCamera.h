// The desktop's camera through QtMultimedia. The multimedia libraries live in a module of their own
// that is loaded on the first start, and everything of the capture (the loading included) runs on a
// thread of its own, so that neither an idle program nor the main thread ever pays for it.
#pragma once

#include "platform/CameraSource.h"

#include <QObject>
#include <QString>

#include <memory>

class QThread;

class QtMultimediaCamera final : public QObject, public CameraSource {
    Q_OBJECT
public:
    // `modulePath`: the camera module's file, loaded on the first start.
    explicit QtMultimediaCamera(QString modulePath, QObject* parent = nullptr);
    // Closes the camera and ends the capture thread (waiting a few seconds at most).
    ~QtMultimediaCamera() override;

    void start(Listener* listener) override;
    void stop() override;
    QImage latestFrame() override;

    // The file name of the module, beside the program.
    static constexpr auto kModuleName = "quillbay-camera.so";

    // Whether the capture thread exists (it is made on the first start, never before).
    bool captureThreadMade() const { return m_thread != nullptr; }

private:
    struct Mailbox;

    void ensureThread();
    void deliverStarted(quint64 generation);
    void deliverFailed(quint64 generation, Failure failure, const QString& detail);
    void deliverFrame(quint64 generation);

    QString m_modulePath;
    std::unique_ptr<QThread> m_thread;
    QObject* m_worker = nullptr; // lives on m_thread, which deletes it
    std::shared_ptr<Mailbox> m_mailbox;
    Listener* m_listener = nullptr;
    quint64 m_generation = 0;
    bool m_engaged = false; // starting or running
};
