// The LAN address from this machine's interfaces and routing table.
#pragma once

#include "platform/LanAddress.h"

class SystemLanAddress final : public LanAddress {
public:
    SystemLanAddress() = default;
    std::optional<QString> current() const override;
};
