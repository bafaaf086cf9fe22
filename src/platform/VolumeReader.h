// The system's output volume, as the sound server reports it for the default output.
#pragma once

#include <QtGlobal>

#include <optional>

class VolumeReader {
public:
    VolumeReader() = default;
    virtual ~VolumeReader() = default;
    Q_DISABLE_COPY_MOVE(VolumeReader)

    // The default output's volume from 0 to 1, or nothing while there is no sound server or no output.
    // Called on the main thread several times a second: it must answer at once, never waiting on a server.
    virtual std::optional<double> readVolume() = 0;
};
