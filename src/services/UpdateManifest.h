// The maker's version manifest (/version.json), read strictly: the version it names and the download it
// offers, which must come from the manifest's own host.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace UpdateManifest {

struct Offer {
    enum class Kind {
        unusable,          // not a JSON object with a "version" of three dotted numbers
        offered,           // a version with a download that can be trusted
        untrustedDownload, // a version, but no download that can be trusted
    };
    Kind kind = Kind::unusable;
    QString version;
    QUrl url;       // set when offered
    QString sha256; // lower case, set when offered
    QString notes;
    QString refusal; // why the manifest or its download cannot be used, for the log; set unless offered
};

// Reads a manifest fetched from `manifestURL`. A download is trusted when its "url" is written as https and
// passes isTrustedDownloadURL(), and its "sha256" is 64 hexadecimal digits.
Offer read(const QByteArray& body, const QUrl& manifestURL);

// An address an update may come from: https, the manifest's host and port, a path under /downloads/
// without "..".
bool isTrustedDownloadURL(const QUrl& url, const QUrl& manifest);

// 64 hexadecimal digits, of either case.
bool isSha256(const QString& text);

// Whether `a` names a later version than `b`, dotted part by dotted part; missing parts count as 0, and a
// part counts by its decimal digits only (0 when none are left or they do not fit 64 bits).
bool isNewer(const QString& a, const QString& b);

} // namespace UpdateManifest
