// Where the self-update stands, as the updates card shows it. Only `available` and `error` carry values;
// two statuses are equal when the kind and every value are equal.
#pragma once

#include <QMetaType>
#include <QString>
#include <QUrl>

struct UpdateStatus {
    enum class Kind { idle, checking, upToDate, available, downloading, installing, error };

    Kind kind = Kind::idle;
    // `available`: the offered version, where to get it, its release notes and its SHA-256 (64 lower-case
    // hexadecimal digits).
    QString version;
    QUrl downloadURL;
    QString notes;
    QString sha256;
    // `error`: the text to show, and whether it is shown quietly (an automatic check that failed: the next
    // one tries again, so it is no alarm).
    QString message;
    bool quiet = false;

    static UpdateStatus idle() { return {}; }
    static UpdateStatus checking() { return of(Kind::checking); }
    static UpdateStatus upToDate() { return of(Kind::upToDate); }
    static UpdateStatus downloading() { return of(Kind::downloading); }
    static UpdateStatus installing() { return of(Kind::installing); }
    static UpdateStatus available(QString version, QUrl url, QString notes, QString sha256) {
        UpdateStatus s = of(Kind::available);
        s.version = std::move(version);
        s.downloadURL = std::move(url);
        s.notes = std::move(notes);
        s.sha256 = std::move(sha256);
        return s;
    }
    static UpdateStatus error(QString message, bool quiet = false) {
        UpdateStatus s = of(Kind::error);
        s.message = std::move(message);
        s.quiet = quiet;
        return s;
    }

    bool is(Kind k) const { return kind == k; }
    friend bool operator==(const UpdateStatus&, const UpdateStatus&) = default;

private:
    static UpdateStatus of(Kind k) {
        UpdateStatus s;
        s.kind = k;
        return s;
    }
};

Q_DECLARE_METATYPE(UpdateStatus)
