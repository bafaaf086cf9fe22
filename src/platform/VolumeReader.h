// The system's output volume, as the sound server reports it for the default output.
#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

class VolumeReader {
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
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};

// A desktop without a sound server to ask: there is never a volume to show.
class NoVolumeReader final : public VolumeReader {
public:
    std::optional<double> readVolume() override { return std::nullopt; }
    void setChangeHandler(std::function<void()>) override {}
};
