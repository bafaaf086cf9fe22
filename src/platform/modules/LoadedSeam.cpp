// Loading the modules that hold a seam's implementation.
#include "platform/modules/LoadedSeam.h"

#include "platform/LogCategories.h"
#include <QCoreApplication>
#include <QLibrary>
#include <QtDebug>

namespace LoadedModule {

QString besideProgram(const char* fileName) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(fileName);
}

void* resolve(const QString& path, const char* symbol, QString* error) {
    QLibrary module(path);
    module.setLoadHints(QLibrary::PreventUnloadHint);
    void* found = nullptr;
    if (!module.load())
        *error = module.errorString();
    else if (!(found = reinterpret_cast<void*>(module.resolve(symbol))))
        *error = QStringLiteral("%1 has no %2").arg(path, QLatin1String(symbol));
    if (found)
        qCDebug(lcPlatform, "module %s loaded", qUtf8Printable(path));
    else
        qWarning().noquote() << QStringLiteral("[Quillbay] %1 unavailable: %2").arg(path, *error);
    return found;
}

} // namespace LoadedModule
