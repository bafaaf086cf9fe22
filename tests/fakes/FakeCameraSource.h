// A camera the test drives: it answers a start as told (at once, later, or with a failure), and pushes
// frames of a test pattern whose left half is red and right half blue, so a mirrored picture shows.
#pragma once

#include "platform/CameraSource.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSize>

#include <optional>

class FakeCameraSource final : public CameraSource {
public:
    void start(Listener* l) override {
        ++startCalls;
        if (starting || running)
            return;
        listener = l;
        if (failAtStart) {
            const Failure f = *failAtStart;
            listener = nullptr;
            l->cameraFailed(f, failDetail);
            return;
        }
        starting = true;
        if (answerAtOnce)
            finishStart();
    }
    void stop() override {
        ++stopCalls;
        starting = false;
        running = false;
        listener = nullptr;
        pending = false;
    }
    QImage latestFrame() override {
        ++frameReads;
        pending = false;
        return frame;
    }

    // The camera answers a start that is still pending.
    void finishStart() {
        if (!starting || !listener)
            return;
        starting = false;
        running = true;
        listener->cameraStarted();
    }

    // One frame of the test pattern; the listener hears of it unless an earlier one is still unread.
    void pushFrame(QSize size = QSize(1280, 720)) { push(pattern(size)); }
    void push(const QImage& image) {
        if (!running || !listener)
            return;
        frame = image;
        ++framesPushed;
        if (pending)
            return;
        pending = true;
        listener->cameraFrameReady();
    }

    // The running camera goes away.
    void failNow(Failure failure = Failure::lost, const QString& detail = QString()) {
        Listener* l = listener;
        stop();
        --stopCalls; // not a stop() the user asked for
        if (l)
            l->cameraFailed(failure, detail);
    }

    // Left half red, right half blue, a green square in the top-left corner.
    static QImage pattern(QSize size) {
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        p.fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
        p.fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(), Qt::blue);
        p.fillRect(0, 0, size.width() / 8, size.width() / 8, Qt::green);
        return image;
    }

    bool answerAtOnce = true;
    std::optional<Failure> failAtStart;
    QString failDetail;
    bool starting = false;
    bool running = false;
    bool pending = false;
    int startCalls = 0;
    int stopCalls = 0;
    int frameReads = 0;
    int framesPushed = 0;
    QImage frame;
    Listener* listener = nullptr;
};
