// The bundle of operating-system facilities that services receive. Only app/ and main.cpp
// choose the concrete implementations; tests hand in fakes from tests/fakes/.
#pragma once

class AlertSound;
class AreaCapture;
class Clock;
class FileRevealer;
class LanAddress;
class Pasteboard;
class ProcessTable;
class ScreenColorSampler;
class ServiceLauncher;
class TextRecognizer;
class TrustProbe;

struct Platform {
    Clock& clock;
    ServiceLauncher& launcher;
    ProcessTable& processTable;
    TrustProbe& trustProbe;
    LanAddress* lanAddress = nullptr; // none: no LAN address is ever found
    // The desktop's clipboard; null where a test needs none (the history then never changes).
    Pasteboard* pasteboard = nullptr;
    AlertSound* alertSound = nullptr; // none: timers end silently
    // The kit's reach outside the process; none: that operation ends as a cancel would.
    AreaCapture* areaCapture = nullptr;
    ScreenColorSampler* colorSampler = nullptr;
    TextRecognizer* textRecognizer = nullptr;
    FileRevealer* fileRevealer = nullptr;
};
