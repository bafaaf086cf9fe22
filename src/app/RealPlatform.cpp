// This desktop's implementation of every seam; see RealPlatform.h.
#include "app/RealPlatform.h"

#include "platform/ActiveWindow.h"
#include "platform/DesktopWindows.h"
#include "platform/KeyEvents.h"
#include "platform/KeyGrabBackend.h"
#include "platform/Pasteboard.h"
#include "platform/dbus/DBusMediaPlayers.h"
#include "platform/dbus/FreedesktopFileRevealer.h"
#include "platform/dbus/KdeConnectSender.h"
#include "platform/modules/ModuleSeams.h"
#include "platform/net/SystemLanAddress.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/posix/SystemClock.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/pulse/PulseVolumeReader.h"
#include "platform/qt/OverlayScreenTools.h"
#include "platform/qt/QtScreenList.h"
#include "platform/qt/QtTickerFactory.h"
#include "platform/qtmm/QtMultimediaCamera.h"
#include "platform/sysfs/SysfsBacklight.h"
#include "platform/x11/X11ActiveWindow.h"
#include "platform/x11/X11BrightnessKeys.h"
#include "platform/x11/X11DesktopWindows.h"
#include "platform/x11/X11KeyEvents.h"
#include "platform/x11/X11KeyGrabBackend.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11PointerSource.h"
#include "platform/x11/X11TrustProbe.h"
#include "platform/x11/X11WindowPixels.h"

#include <QCoreApplication>

namespace {

template <typename T, typename Make> T* pick(T* seam, std::unique_ptr<T>& own, Make make) {
    if (seam)
        return seam;
    own = make();
    return own.get();
}

// One overlay maker serves both the area selection and the colour sampler.
OverlayScreenTools& screenTools(std::unique_ptr<OverlayScreenTools>& own) {
    if (!own)
        own = std::make_unique<OverlayScreenTools>();
    return *own;
}

} // namespace

RealPlatform::RealPlatform() = default;
RealPlatform::~RealPlatform() = default;

Platform RealPlatform::fill(const Platform& seams) {
    m_activeWindowGiven = seams.activeWindow != nullptr;
    m_keyEventsGiven = seams.keyEvents != nullptr;
    Platform waiting;
    waiting.activeWindow = seams.activeWindow;
    waiting.keyEvents = seams.keyEvents;
    waiting = m_absent.fill(waiting);
    return Platform{
        .clock = pick(seams.clock, m_clock, [] { return std::make_unique<SystemClock>(); }),
        .launcher = pick(seams.launcher, m_launcher, [] { return std::make_unique<PosixServiceLauncher>(); }),
        .processTable =
            pick(seams.processTable, m_processTable, [] { return std::make_unique<LinuxProcessTable>(); }),
        .trustProbe = pick(seams.trustProbe, m_trustProbe, [] { return std::make_unique<X11TrustProbe>(); }),
        .tickers =
            pick(seams.tickers, m_tickers,
                 []() -> std::unique_ptr<TickerFactory> { return std::make_unique<QtTickerFactory>(); }),
        .lanAddress =
            pick(seams.lanAddress, m_lanAddress, [] { return std::make_unique<SystemLanAddress>(); }),
        .pasteboard = pick(seams.pasteboard, m_pasteboard,
                           []() -> std::unique_ptr<Pasteboard> {
                               if (auto x11 = X11Pasteboard::create())
                                   return x11;
                               return std::make_unique<NoPasteboard>();
                           }),
        .alertSound = pick(seams.alertSound, m_alertSound,
                           []() -> std::unique_ptr<AlertSound> {
                               return std::make_unique<ModuleAlertSound>(
                                   LoadedModule::besideProgram(SeamModules::kAlertSound));
                           }),
        .mediaPlayers =
            pick(seams.mediaPlayers, m_mediaPlayers,
                 []() -> std::unique_ptr<MediaPlayers> { return std::make_unique<DBusMediaPlayers>(); }),
        .volume =
            pick(seams.volume, m_volume,
                 []() -> std::unique_ptr<VolumeReader> { return std::make_unique<PulseVolumeReader>(); }),
        .brightness =
            pick(seams.brightness, m_brightness,
                 []() -> std::unique_ptr<BrightnessReader> { return std::make_unique<SysfsBacklight>(); }),
        .brightnessKeys = pick(seams.brightnessKeys, m_brightnessKeys,
                               []() -> std::unique_ptr<BrightnessKeys> {
                                   if (auto x11 = X11BrightnessKeys::create())
                                       return x11;
                                   return std::make_unique<NoBrightnessKeys>();
                               }),
        .camera = pick(seams.camera, m_camera,
                       []() -> std::unique_ptr<CameraSource> {
                           return std::make_unique<QtMultimediaCamera>(
                               QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                               QLatin1String(QtMultimediaCamera::kModuleName));
                       }),
        .fileRevealer = pick(seams.fileRevealer, m_fileRevealer,
                             [] { return std::make_unique<FreedesktopFileRevealer>(); }),
        .fileSender =
            pick(seams.fileSender, m_fileSender, [] { return std::make_unique<KdeConnectSender>(); }),
        .secrets = pick(seams.secrets, m_secrets,
                        []() -> std::unique_ptr<SecretStore> {
                            return std::make_unique<ModuleSecretStore>(
                                LoadedModule::besideProgram(SeamModules::kSecretStore));
                        }),
        .keyGrab = pick(seams.keyGrab, m_keyGrab,
                        []() -> std::unique_ptr<KeyGrabBackend> {
                            if (auto x11 = X11KeyGrabBackend::create())
                                return x11;
                            return std::make_unique<NoKeyGrabBackend>();
                        }),
        .pointer = pick(seams.pointer, m_pointer, [] { return std::make_unique<X11PointerSource>(); }),
        .screens = pick(seams.screens, m_screens, [] { return std::make_unique<QtScreenList>(); }),
        .desktop = pick(seams.desktop, m_desktop, [] { return std::make_unique<X11DesktopWindows>(); }),
        .windowPixels =
            pick(seams.windowPixels, m_windowPixels, [] { return std::make_unique<X11WindowPixels>(); }),
        .activeWindow = waiting.activeWindow,
        .keyEvents = waiting.keyEvents,
        .areaCapture = seams.areaCapture ? seams.areaCapture : &screenTools(m_screenTools),
        .colorSampler = seams.colorSampler ? seams.colorSampler : &screenTools(m_screenTools),
        .textRecognizer = pick(seams.textRecognizer, m_textRecognizer,
                               []() -> std::unique_ptr<TextRecognizer> {
                                   return std::make_unique<ModuleTextRecognizer>(
                                       LoadedModule::besideProgram(SeamModules::kTextRecognition));
                               }),
        .heifCodec = pick(seams.heifCodec, m_heifCodec, []() -> std::unique_ptr<HeifCodec> {
            return std::make_unique<ModuleHeifCodec>(LoadedModule::besideProgram(SeamModules::kHeifCodec));
        })};
}

void RealPlatform::fillAtLaunch(Platform& platform) {
    if (!m_activeWindowGiven && !m_activeWindow) {
        if (auto x11 = X11ActiveWindow::create())
            m_activeWindow = std::move(x11);
        else
            m_activeWindow = std::make_unique<NoActiveWindow>();
        platform.activeWindow = m_activeWindow.get();
    }
    if (!m_keyEventsGiven && !m_keyEvents) {
        if (auto x11 = X11KeyEvents::create())
            m_keyEvents = std::move(x11);
        else
            m_keyEvents = std::make_unique<NoKeyEvents>();
        platform.keyEvents = m_keyEvents.get();
    }
}
