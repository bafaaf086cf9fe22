// Ranking of network interfaces by how likely a phone on the same network can reach them.
#include "platform/LanRanking.h"

#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <tuple>

namespace {

constexpr quint32 kRouteUp = 0x1; // RTF_UP

bool parseHex(const QString& field, quint32* out) {
    bool ok = false;
    const uint value = field.toUInt(&ok, 16);
    if (ok)
        *out = value;
    return ok;
}

} // namespace

namespace LanRanking {

QList<Route> parseRoutes(const QString& procNetRoute) {
    QList<Route> routes;
    const QStringList lines = procNetRoute.split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList f = lines[i].split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT
        if (f.size() < 8)
            continue;
        Route r;
        r.iface = f[0];
        bool metricOk = false;
        r.metric = f[6].toInt(&metricOk);
        if (!parseHex(f[1], &r.destination) || !parseHex(f[3], &r.flags) || !parseHex(f[7], &r.mask) ||
            !metricOk)
            continue;
        routes.append(r);
    }
    return routes;
}

bool looksVirtual(const QString& name) {
    static const char* const prefixes[] = {"docker", "veth", "virbr",   "br-",  "tun",
                                           "tap",    "wg",   "vboxnet", "vmnet"};
    for (const char* p : prefixes)
        if (name.startsWith(QLatin1String(p)))
            return true;
    return false;
}

std::optional<QString> chooseLanIP(const QList<NetInterface>& interfaces, const QList<Route>& routes) {
    // Rank of each interface among the default routes that are up: lower metric first, ties in table order.
    QList<const Route*> defaults;
    for (const Route& r : routes)
        if (r.destination == 0 && r.mask == 0 && (r.flags & kRouteUp))
            defaults.append(&r);
    std::stable_sort(defaults.begin(), defaults.end(),
                     [](const Route* a, const Route* b) { return a->metric < b->metric; });
    auto defaultRank = [&](const QString& name) {
        for (qsizetype i = 0; i < defaults.size(); ++i)
            if (defaults[i]->iface == name)
                return int(i);
        return INT_MAX;
    };

    const NetInterface* best = nullptr;
    std::tuple<bool, int, bool, qsizetype> bestKey;
    for (qsizetype i = 0; i < interfaces.size(); ++i) {
        const NetInterface& nic = interfaces[i];
        if (!nic.up || nic.loopback || nic.ipv4.isEmpty())
            continue;
        const auto key =
            std::make_tuple(nic.isVirtual || looksVirtual(nic.name), defaultRank(nic.name), !nic.wireless, i);
        if (!best || key < bestKey) {
            best = &nic;
            bestKey = key;
        }
    }
    if (!best)
        return std::nullopt;
    return best->ipv4.first();
}

} // namespace LanRanking
