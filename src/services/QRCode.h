// The machine's address on the local network, and QR code images of short texts (for phones to scan).
#pragma once

#include "model/NetInterface.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace QRCode {

// Parses the text of /proc/net/route (header line first); lines that do not parse are skipped.
QList<Route> parseRoutes(const QString& procNetRoute);

// True for names of software interfaces that a phone on the LAN cannot reach through.
bool looksVirtual(const QString& name);

// The address a phone on the same network should use: among interfaces that are up, not loopback and
// carry IPv4, physical ones before virtual ones; within each group the interface of the default route
// (lowest metric first), then wireless before wired, then the given order. Nothing when none qualifies.
std::optional<QString> chooseLanIP(const QList<NetInterface>& interfaces, const QList<Route>& routes);

// `chooseLanIP` over this machine's interfaces and routing table. Safe from any thread.
std::optional<QString> lanIP();

// A QR code of `text`'s UTF-8 bytes at error-correction level M, `size` pixels square, black modules on
// white with a four-module quiet zone included, scaled without smoothing. Null when encoding fails.
QImage image(const QString& text, double size);

} // namespace QRCode
