// Opens the camera mirror's window while the mirror is on, below the notch of the island's screen,
// and closes it when the mirror goes off. Collapsing the island leaves it where it is.
#pragma once

#include "platform/ScreenList.h"
#include "views/CameraContainerView.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class CameraService;

class CameraMirrorController : public QObject {
    Q_OBJECT
public:
    // `screen` gives the island's screen at the time the window opens (none: the primary screen).
    // `composited` says whether transparent pixels show through on this desktop; `prepare` is handed the
    // new window before it first shows (the program asks there for it on every desktop).
    CameraMirrorController(CameraService& service, std::function<std::optional<ScreenMetrics>()> screen,
                           std::function<bool()> composited, std::function<void(QWidget&)> prepare = {},
                           QObject* parent = nullptr);
    ~CameraMirrorController() override;

    CameraContainerView* window() const { return m_window; }

private:
    void follow();

    CameraService& m_service;
    std::function<std::optional<ScreenMetrics>()> m_screen;
    std::function<bool()> m_composited;
    std::function<void(QWidget&)> m_prepare;
    QPointer<CameraContainerView> m_window;
};
