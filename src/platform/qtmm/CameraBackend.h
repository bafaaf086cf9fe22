// What the camera module (built against QtMultimedia, loaded on first use) offers the program: a
// capture that opens the default camera and reports through plain callbacks, so that nothing of the
// module's types crosses into the program.
#pragma once

#include "platform/CameraSource.h"

#include <QImage>
#include <QString>

#include <functional>

// Called from the module's threads; the receiver moves them to its own.
struct CameraBackendEvents {
    std::function<void()> started;
    std::function<void(CameraSource::Failure, const QString&)> failed;
    std::function<void(const QImage&)> frame;
};

// Lives on one thread of the caller's (not the main one); every call comes from it.
class CameraBackend {
public:
    CameraBackend() = default;
    virtual ~CameraBackend() = default;
    CameraBackend(const CameraBackend&) = delete;
    CameraBackend& operator=(const CameraBackend&) = delete;

    // Opens the default camera and starts it; the answer comes through `events`. Closes any earlier one.
    virtual void open(CameraBackendEvents events) = 0;
    // Stops and releases the camera; no event of the closed capture follows.
    virtual void close() = 0;
};

// The module's one entry point: a new, closed backend owned by the caller.
using MakeCameraBackend = CameraBackend* (*)();
inline constexpr auto kMakeCameraBackendSymbol = "quillbay_make_camera_backend";
