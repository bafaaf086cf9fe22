// A network interface and a route of the kernel's IPv4 table, as the choice of the LAN address reads them.
#pragma once

#include <QString>
#include <QStringList>

namespace QRCode {

// One network interface as the ranking sees it; `ipv4` holds numeric addresses in the system's order.
struct NetInterface {
    QString name;
    bool up = false;
    bool loopback = false;
    // Known from sysfs to be a bridge or a software device (docker0, veth…, virbr0, tun0, wg0, …).
    bool isVirtual = false;
    // A Wi-Fi card: where no card carries the default route, the one a phone most likely shares.
    bool wireless = false;
    QStringList ipv4;
};

// One line of the kernel's IPv4 routing table.
struct Route {
    QString iface;
    quint32 destination = 0;
    quint32 mask = 0;
    quint32 flags = 0;
    int metric = 0;
};

} // namespace QRCode
