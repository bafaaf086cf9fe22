#include "services/UpdateConfig.h"

#include "services/UpdateHandOver.h"

#include "QuillbayVersion.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#ifndef QUILLBAY_UPDATE_HOST
#define QUILLBAY_UPDATE_HOST "quillbay.app"
#endif
#ifndef QUILLBAY_UPDATE_PUBKEY
#define QUILLBAY_UPDATE_PUBKEY ""
#endif

UpdateConfig UpdateConfig::fromBuild() {
    UpdateConfig c;
    c.host = QStringLiteral(QUILLBAY_UPDATE_HOST);
    c.publicKey = QByteArrayLiteral(QUILLBAY_UPDATE_PUBKEY);
    return c;
}

QString UpdateConfig::defaultWorkDir() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("Quillbay/update"));
}

UpdateConfig UpdateConfig::completed() const {
    UpdateConfig c = *this;
    // The build's own version; a build without one counts as the oldest.
    if (c.currentVersion.isEmpty())
        c.currentVersion = QStringLiteral(QUILLBAY_VERSION);
    if (c.currentVersion.isEmpty())
        c.currentVersion = QStringLiteral("0.0.0");
    if (c.installDir.isEmpty() && QCoreApplication::instance())
        c.installDir = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath();
    if (c.workDir.isEmpty())
        c.workDir = defaultWorkDir();
    if (c.pid == 0)
        c.pid = QCoreApplication::applicationPid();
    if (c.helper.isEmpty() && QCoreApplication::instance())
        c.helper = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quillbay-swap"));
    if (!c.startDetached)
        c.startDetached = UpdateHandOver::inOwnSession(c.launcher);
    if (!c.quit)
        c.quit = [] {
            if (auto* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
        };
    return c;
}
