// The bundle of operating-system facilities that services receive. Only app/ and main.cpp
// choose the concrete implementations; tests hand in fakes from tests/fakes/.
#pragma once

class AlertSound;
class Clock;
class FileRevealer;
class FileSender;
class LanAddress;
class Pasteboard;
class ProcessTable;
class SecretStore;
class ServiceLauncher;
class TrustProbe;

struct Platform {
    Clock& clock;
    ServiceLauncher& launcher;
    ProcessTable& processTable;
    TrustProbe& trustProbe;
    LanAddress* lanAddress = nullptr; // none: no LAN address is ever found
    // The desktop's clipboard; null where a test needs none (the history then never changes).
    Pasteboard* pasteboard = nullptr;
    AlertSound* alertSound = nullptr;     // none: timers end silently
    FileRevealer* fileRevealer = nullptr; // none: revealing a shelf file does nothing
    FileSender* fileSender = nullptr;     // none: sending a shelf file does nothing
    SecretStore* secrets = nullptr;       // none: no keyring is asked for another tool's token
};
