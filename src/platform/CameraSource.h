// The computer's camera as the camera mirror sees it: start the default camera, hear that it runs or
// why it cannot, and take its newest picture.
#pragma once

#include <QImage>
#include <QString>
#include <QtGlobal>

class CameraSource {
public:
    enum class Failure {
        noCamera, // no video capture device at all
        busy,     // another program holds the device
        failed,   // the device refused to start, or did not answer in time
        lost,     // the running camera went away (unplugged) or stopped delivering
    };

    // What the source tells its user, always on the main thread.
    class Listener {
    public:
        Listener() = default;
        virtual ~Listener() = default;
        Listener(const Listener&) = delete;
        Listener& operator=(const Listener&) = delete;

        // The camera runs; frames follow.
        virtual void cameraStarted() = 0;
        // The camera could not start or stopped by itself; the source is stopped already. `detail`
        // is the system's own words, possibly empty.
        virtual void cameraFailed(Failure failure, const QString& detail) = 0;
        // A newer picture waits in latestFrame(). Not called again before that has been read, so a
        // slow reader never builds a backlog: it simply skips pictures.
        virtual void cameraFrameReady() = 0;
    };

    CameraSource() = default;
    virtual ~CameraSource() = default;
    Q_DISABLE_COPY_MOVE(CameraSource)

    // Opens the default camera and starts it without blocking the caller: the answer comes later
    // through `listener` (which may also hear it before start() returns, when the answer is known at
    // once). Ignored while the source is starting or running.
    virtual void start(Listener* listener) = 0;

    // Stops the camera and lets go of the device, without waiting for it; no listener call follows.
    // Nothing of the camera keeps running afterwards. Harmless when stopped.
    virtual void stop() = 0;

    // The newest picture, shared rather than copied; null before the first one.
    virtual QImage latestFrame() = 0;
};

// A computer without a camera: every start finds none.
class NoCameraSource final : public CameraSource {
public:
    void start(Listener* listener) override {
        if (listener)
            listener->cameraFailed(Failure::noCamera, QString());
    }
    void stop() override {}
    QImage latestFrame() override { return {}; }
};
