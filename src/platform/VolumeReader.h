// The system's output volume, as the sound server reports it for the default output.
#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>
#include <utility>

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
    void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

protected:
    void notifyChanged() {
        if (m_changed)
            m_changed();
    }

private:
    std::function<void()> m_changed;
};
