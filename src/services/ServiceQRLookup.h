// The phone QR view's state: which port a running service listens on (anywhere in its process tree)
// and the LAN address a phone should use for it, looked up off the main thread.
#pragma once

#include "model/SavedCommand.h"

#include "services/WorkPool.h"

#include <QFuture>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class LanAddress;
class ProcessTable;

class ServiceQRLookup : public QObject {
    Q_OBJECT

public:
    // A progress or failure `message`, or a `url` with its QR `image`.
    struct Info {
        QString name;
        std::optional<QString> url;
        QImage image; // null when there is none
        std::optional<QString> message;

        bool operator==(const Info& o) const {
            return name == o.name && url == o.url && image.cacheKey() == o.image.cacheKey() &&
                   message == o.message;
        }
    };

    // Without `lan` no address is ever found.
    ServiceQRLookup(ProcessTable& processTable, LanAddress* lan, QObject* parent = nullptr);
    ~ServiceQRLookup() override;

    const std::optional<Info>& info() const { return m_info; }
    // Nothing closes the view.
    void setInfo(const std::optional<Info>& value);
    // Opens the view for `cmd`, whose process is `pid` (none: not running).
    void show(const SavedCommand& cmd, std::optional<qint32> pid);

signals:
    void infoChanged();

private:
    struct Result {
        QList<quint16> ports;
        std::optional<QString> address;
        QImage image;
    };
    void apply(const SavedCommand& cmd, const Result& result);

    ProcessTable& m_processTable;
    std::unique_ptr<LanAddress> m_noLan; // stands in when no `lan` is given
    LanAddress& m_lan;
    std::optional<Info> m_info;
    QUuid m_for; // the command whose lookup the view waits for
    QList<QFuture<void>> m_work;
    WorkPool m_pool{1}; // last: its end waits for a lookup before the rest goes
};
