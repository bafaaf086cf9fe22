// Ranking of network interfaces by how likely a phone on the same network can reach them; pure
// functions over what the system reports, so that every rule is tested without a network.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace LanRanking {

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

// Parses the text of /proc/net/route (header line first); lines that do not parse are skipped.
QList<Route> parseRoutes(const QString& procNetRoute);

// True for names of software interfaces that a phone on the LAN cannot reach through.
bool looksVirtual(const QString& name);

// The address a phone on the same network should use: among interfaces that are up, not loopback and
// carry IPv4, physical ones before virtual ones; within each group the interface of the default route
// (lowest metric first), then wireless before wired, then the given order. Nothing when none qualifies.
std::optional<QString> chooseLanIP(const QList<NetInterface>& interfaces, const QList<Route>& routes);

} // namespace LanRanking
