// A volume or brightness level as the island shows it after a change.
#pragma once

enum class HUDKind { volume, brightness };

struct HUDLevel {
    HUDKind kind = HUDKind::volume;
    double value = 0.0; // 0 to 1
    bool operator==(const HUDLevel&) const = default;
};
