// The system's output volume, as the sound server reports it for the default output.
#pragma once

#include "platform/ChangeNotice.h"

#include <QtGlobal>

#include <optional>

class VolumeReader : public ChangeNotice {
public:
    VolumeReader() = default;
    virtual ~VolumeReader() = default;
    Q_DISABLE_COPY_MOVE(VolumeReader)

    // The default output's volume from 0 to 1, or nothing while there is no sound server or no output.
    // Answers at once, never waiting on a server.
    virtual std::optional<double> readVolume() = 0;

    // Called on the main thread soon after readVolume() may answer differently: the level or the default
    // output changed, or the server came or went. Never from inside readVolume(). Replaces an earlier
    // handler; an empty one stops the calls.
    using ChangeNotice::setChangeHandler;
};
