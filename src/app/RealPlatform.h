// This desktop's implementation of every seam: the one place that names them. Fills the slots a test
// (or nobody) left null and owns what it made.
#pragma once

#include "platform/AbsentSeams.h"
#include "platform/Platform.h"

#include <QtGlobal>

#include <memory>

class OverlayScreenTools;

class RealPlatform {
public:
    RealPlatform();
    ~RealPlatform();
    Q_DISABLE_COPY_MOVE(RealPlatform)

    // `seams` with every empty slot filled: the real implementation, except activeWindow and keyEvents,
    // which until fillAtLaunch() are the absent ones where none was given. The pointers stay valid as
    // long as this object.
    Platform fill(const Platform& seams);
    // Puts the real activeWindow and keyEvents where fill() found none given. Called at launch, not
    // before: each opens a connection of its own to the display.
    void fillAtLaunch(Platform& platform);

private:
    AbsentSeams m_absent; // stands in for activeWindow and keyEvents until the launch
    bool m_activeWindowGiven = false;
    bool m_keyEventsGiven = false;
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<ServiceLauncher> m_launcher;
    std::unique_ptr<ProcessTable> m_processTable;
    std::unique_ptr<TrustProbe> m_trustProbe;
    std::unique_ptr<TickerFactory> m_tickers;
    std::unique_ptr<LanAddress> m_lanAddress;
    std::unique_ptr<MediaPlayers> m_mediaPlayers;
    std::unique_ptr<VolumeReader> m_volume;
    std::unique_ptr<BrightnessReader> m_brightness;
    std::unique_ptr<BrightnessKeys> m_brightnessKeys;
    std::unique_ptr<Pasteboard> m_pasteboard;
    std::unique_ptr<ActiveWindow> m_activeWindow;
    std::unique_ptr<KeyEvents> m_keyEvents;
    std::unique_ptr<AlertSound> m_alertSound;
    std::unique_ptr<FileRevealer> m_fileRevealer;
    std::unique_ptr<FileSender> m_fileSender;
    std::unique_ptr<SecretStore> m_secrets;
    std::unique_ptr<KeyGrabBackend> m_keyGrab;
    std::unique_ptr<PointerSource> m_pointer;
    std::unique_ptr<ScreenList> m_screens;
    std::unique_ptr<CameraSource> m_camera;
    std::unique_ptr<DesktopWindows> m_desktop;
    std::unique_ptr<WindowPixels> m_windowPixels;
    std::unique_ptr<OverlayScreenTools> m_screenTools; // area selection and colour sampling
    std::unique_ptr<TextRecognizer> m_textRecognizer;
    std::unique_ptr<HeifCodec> m_heifCodec;
};
