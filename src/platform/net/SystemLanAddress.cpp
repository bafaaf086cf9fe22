// Reads this machine's interfaces (Qt, plus sysfs for what Qt does not tell) and its IPv4 routing table.
#include "platform/net/SystemLanAddress.h"

#include "platform/LanRanking.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>

using namespace LanRanking;

std::optional<QString> SystemLanAddress::current() const {
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
