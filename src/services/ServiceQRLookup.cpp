#include "services/ServiceQRLookup.h"

#include "platform/LanAddress.h"
#include "platform/ProcessTable.h"
#include "services/Published.h"
#include "services/QRCode.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtConcurrent>

#include <algorithm>

namespace {

constexpr double kImageSize = 300;

} // namespace

ServiceQRLookup::ServiceQRLookup(ProcessTable& processTable, LanAddress* lan, QObject* parent)
    : QObject(parent)
    , m_processTable(processTable)
    , m_noLan(lan ? nullptr : std::make_unique<NoLanAddress>())
    , m_lan(lan ? *lan : *m_noLan) {}

ServiceQRLookup::~ServiceQRLookup() {
    for (QFuture<void>& f : m_work)
        f.waitForFinished();
}

void ServiceQRLookup::setInfo(const std::optional<Info>& value) {
    if (!value)
        m_for = QUuid();
    assignPublished(this, m_info, value, &ServiceQRLookup::infoChanged);
}

void ServiceQRLookup::show(const SavedCommand& cmd, std::optional<qint32> pid) {
    if (!pid) {
        m_for = QUuid();
        setInfo(Info{cmd.name, std::nullopt, QImage(),
                     QCoreApplication::translate("CommandsService", "Start the service first (▶)")});
        return;
    }
    setInfo(Info{cmd.name, std::nullopt, QImage(),
                 QCoreApplication::translate("CommandsService", "Looking for the service's port…")});
    m_for = cmd.id;
    ProcessTable* table = &m_processTable;
    LanAddress* lan = &m_lan;
    QPointer<ServiceQRLookup> self(this);
    const qint32 root = *pid;
    m_work.removeIf([](const QFuture<void>& f) { return f.isFinished(); });
    m_work.append(QtConcurrent::run(&m_pool.threads(), [=] {
        Result result;
        result.ports = table->listeningPorts(table->tree(root));
        if (!result.ports.isEmpty()) {
            result.address = lan->current();
            if (result.address) {
                const quint16 port = *std::min_element(result.ports.cbegin(), result.ports.cend());
                result.image =
                    QRCode::image(QStringLiteral("http://%1:%2").arg(*result.address).arg(port), kImageSize);
            }
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, cmd, result] {
                if (self)
                    self->apply(cmd, result);
            },
            Qt::QueuedConnection);
    }));
}

void ServiceQRLookup::apply(const SavedCommand& cmd, const Result& result) {
    // Names are not unique, so a late answer is matched to the request by the command's id.
    if (!m_info || m_for != cmd.id)
        return;
    if (result.ports.isEmpty()) {
        setInfo(Info{cmd.name, std::nullopt, QImage(),
                     QCoreApplication::translate(
                         "CommandsService", "Não achei porta escutando — o serviço já terminou de subir?")});
        return;
    }
    if (!result.address) {
        setInfo(Info{cmd.name, std::nullopt, QImage(),
                     QCoreApplication::translate("CommandsService", "Sem rede local — conecte no Wi-Fi")});
        return;
    }
    const quint16 port = *std::min_element(result.ports.cbegin(), result.ports.cend());
    const QString url = QStringLiteral("http://") + *result.address + u':' + QString::number(port);
    setInfo(Info{cmd.name, url, result.image, std::nullopt});
}
