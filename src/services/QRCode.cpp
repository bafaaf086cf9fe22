// LAN address ranking over interfaces and routes, and QR rendering through libqrencode.
#include "services/QRCode.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRegularExpression>

#include <qrencode.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <tuple>

namespace {

constexpr quint32 kRouteUp = 0x1; // RTF_UP
// ISO/IEC 18004 asks for four light modules around the symbol; phones fail more often without them.
constexpr int kQuietZone = 4;

bool parseHex(const QString& field, quint32* out) {
    bool ok = false;
    const uint value = field.toUInt(&ok, 16);
    if (ok)
        *out = value;
    return ok;
}

QRcode* encode(const QByteArray& bytes) {
    if (!bytes.isEmpty())
        return QRcode_encodeData(int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()),
                                 0, QR_ECLEVEL_M);
    // The one-shot call refuses empty data; an input with no segments still gives a valid version 1 symbol.
    std::unique_ptr<QRinput, decltype(&QRinput_free)> input(QRinput_new2(0, QR_ECLEVEL_M), QRinput_free);
    return input ? QRcode_encodeInput(input.get()) : nullptr;
}

} // namespace

namespace QRCode {

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

std::optional<QString> lanIP() {
    QList<NetInterface> list;
    const auto all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& qi : all) {
        NetInterface nic;
        nic.name = qi.name();
        nic.up = qi.flags().testFlag(QNetworkInterface::IsUp);
        nic.loopback = qi.flags().testFlag(QNetworkInterface::IsLoopBack);
        nic.isVirtual = QFileInfo::exists(QStringLiteral("/sys/class/net/%1/bridge").arg(nic.name)) ||
                        QFileInfo::exists(QStringLiteral("/sys/devices/virtual/net/%1").arg(nic.name));
        nic.wireless = QFileInfo::exists(QStringLiteral("/sys/class/net/%1/wireless").arg(nic.name)) ||
                       QFileInfo::exists(QStringLiteral("/sys/class/net/%1/phy80211").arg(nic.name));
        for (const QNetworkAddressEntry& e : qi.addressEntries())
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                nic.ipv4.append(e.ip().toString());
        list.append(nic);
    }

    QList<Route> routes;
    QFile table(QStringLiteral("/proc/net/route"));
    // /proc files report size 0, so read until the end rather than by size.
    if (table.open(QIODevice::ReadOnly | QIODevice::Text))
        routes = parseRoutes(QString::fromLatin1(table.readAll()));
    return chooseLanIP(list, routes);
}

QImage image(const QString& text, double size) {
    const int pixels = qRound(size);
    if (!(size > 0) || pixels < 1)
        return {};
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(encode(text.toUtf8()), QRcode_free);
    if (!code || code->width <= 0)
        return {};

    const int n = code->width;
    const int side = n + 2 * kQuietZone;
    QImage modules(side, side, QImage::Format_Grayscale8);
    modules.fill(255);
    for (int y = 0; y < n; ++y) {
        uchar* row = modules.scanLine(y + kQuietZone) + kQuietZone;
        const unsigned char* src = code->data + y * n;
        for (int x = 0; x < n; ++x)
            row[x] = (src[x] & 1) ? 0 : 255; // bit 0 = dark module
    }
    return modules.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace QRCode
