// The absent form of every facility a desktop may lack, owned together, for a bundle whose chooser left
// some slots empty: a test that needs no clipboard, or the moment before the launch finds the window
// system's own. Whoever holds the bundle then finds an object in every one of those slots, never null.
#pragma once

#include "platform/ActiveWindow.h"
#include "platform/AlertSound.h"
#include "platform/AreaCapture.h"
#include "platform/BrightnessKeys.h"
#include "platform/BrightnessReader.h"
#include "platform/CameraSource.h"
#include "platform/FileRevealer.h"
#include "platform/FileSender.h"
#include "platform/HeifCodec.h"
#include "platform/KeyEvents.h"
#include "platform/LanAddress.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/ScreenColorSampler.h"
#include "platform/SecretStore.h"
#include "platform/TextRecognizer.h"
#include "platform/VolumeReader.h"

struct AbsentSeams {
    AbsentSeams() = default;
    Q_DISABLE_COPY_MOVE(AbsentSeams)

    // `chosen` with this object's stand-in in each of those slots left empty; the other slots as given.
    Platform fill(Platform chosen) {
        fillSlot(chosen.lanAddress, lanAddress);
        fillSlot(chosen.pasteboard, pasteboard);
        fillSlot(chosen.alertSound, alertSound);
        fillSlot(chosen.volume, volume);
        fillSlot(chosen.brightness, brightness);
        fillSlot(chosen.brightnessKeys, brightnessKeys);
        fillSlot(chosen.camera, camera);
        fillSlot(chosen.fileRevealer, fileRevealer);
        fillSlot(chosen.fileSender, fileSender);
        fillSlot(chosen.secrets, secrets);
        fillSlot(chosen.activeWindow, activeWindow);
        fillSlot(chosen.keyEvents, keyEvents);
        fillSlot(chosen.areaCapture, areaCapture);
        fillSlot(chosen.colorSampler, colorSampler);
        fillSlot(chosen.textRecognizer, textRecognizer);
        fillSlot(chosen.heifCodec, heifCodec);
        return chosen;
    }

    // Points `slot` at `absent` when it is empty.
    template <typename Seam, typename Absent> static void fillSlot(Seam*& slot, Absent& absent) {
        if (!slot)
            slot = &absent;
    }

    NoLanAddress lanAddress;
    NoPasteboard pasteboard;
    NoAlertSound alertSound;
    NoVolumeReader volume;
    NoBrightnessReader brightness;
    NoBrightnessKeys brightnessKeys;
    NoCameraSource camera;
    NoFileRevealer fileRevealer;
    NoFileSender fileSender;
    NoSecretStore secrets;
    NoActiveWindow activeWindow;
    NoKeyEvents keyEvents;
    NoAreaCapture areaCapture;
    NoScreenColorSampler colorSampler;
    NoTextRecognizer textRecognizer;
    NoHeifCodec heifCodec;
};
