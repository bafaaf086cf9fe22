// The machine's address on the local network, the one a phone on the same network should use.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class LanAddress {
public:
    LanAddress() = default;
    virtual ~LanAddress() = default;
    Q_DISABLE_COPY_MOVE(LanAddress)

    // A numeric IPv4 address, or nothing when no interface a phone could reach is up. Called from worker
    // threads: implementations must be safe from any thread.
    virtual std::optional<QString> current() const = 0;
};

// A machine without a network seam: no address is ever found.
class NoLanAddress final : public LanAddress {
public:
    std::optional<QString> current() const override { return std::nullopt; }
};
