// Every operating-system facility the program uses, in one bundle. A test fills in the fakes it needs
// and leaves the rest null; RealPlatform (app/) puts the real implementation of this desktop in every
// null slot, and only app/ and main.cpp ever choose one. Below app/ the bundle arrives filled:
// DashboardModel hands each service the few seams it needs, never the bundle itself, and puts the absent
// form of a facility (AbsentSeams) in each slot "left null for DashboardModel" below, so that no service
// is ever handed null. Only mediaPlayers stays null there: no players also means no reads and no timers.
#pragma once

class ActiveWindow;
class AlertSound;
class AreaCapture;
class BrightnessKeys;
class BrightnessReader;
class CameraSource;
class Clock;
class FileRevealer;
class FileSender;
class HeifCodec;
class DesktopWindows;
class FileRevealer;
class KeyEvents;
class KeyGrabBackend;
class LanAddress;
class MediaPlayers;
class Pasteboard;
class PointerSource;
class WindowPixels;
class ProcessTable;
class ScreenColorSampler;
class ScreenList;
class SecretStore;
class ServiceLauncher;
class TextRecognizer;
class TickerFactory;
class TrustProbe;
class VolumeReader;

struct Platform {
    // Needed by DashboardModel: set by the time it is built.
    Clock* clock = nullptr;
    ServiceLauncher* launcher = nullptr;
    ProcessTable* processTable = nullptr;
    TrustProbe* trustProbe = nullptr;
    // The repeating timers of the services (and of app/'s quick-paste picker).
    TickerFactory* tickers = nullptr;
    // Left null for DashboardModel: no LAN address is ever found.
    LanAddress* lanAddress = nullptr;
    // Left null for DashboardModel: the clipboard history never changes.
    Pasteboard* pasteboard = nullptr;
    // Left null for DashboardModel: timers end silently.
    AlertSound* alertSound = nullptr;
    // Left null for DashboardModel: nothing ever plays.
    MediaPlayers* mediaPlayers = nullptr;
    // Left null for DashboardModel: that level is never shown.
    VolumeReader* volume = nullptr;
    BrightnessReader* brightness = nullptr;
    // Left null for DashboardModel: a backlight that announces nothing is read only while the island
    // is open, never after its keys.
    BrightnessKeys* brightnessKeys = nullptr;
    // Left null for DashboardModel: the camera mirror finds no camera.
    CameraSource* camera = nullptr;
    // Left null for DashboardModel: revealing files (the shelf's, the kit's converted images) or
    // sending a shelf file does nothing, and no keyring is asked for another tool's sign-in token.
    FileRevealer* fileRevealer = nullptr;
    FileSender* fileSender = nullptr;
    SecretStore* secrets = nullptr;

    // Used by app/ alone: the hot keys, the island's pointer tracking and placement, its window, and
    // the quick-paste picker's target window and keystroke.
    KeyGrabBackend* keyGrab = nullptr;
    PointerSource* pointer = nullptr;
    ScreenList* screens = nullptr;
    DesktopWindows* desktop = nullptr;
    // Null: the island's small repaints take the toolkit's usual path.
    WindowPixels* windowPixels = nullptr;
    ActiveWindow* activeWindow = nullptr;
    KeyEvents* keyEvents = nullptr;

    // The kit's reach outside the process. Left null for DashboardModel: that operation
    // ends as a cancel would.
    AreaCapture* areaCapture = nullptr;
    ScreenColorSampler* colorSampler = nullptr;
    TextRecognizer* textRecognizer = nullptr;
    HeifCodec* heifCodec = nullptr;
};
