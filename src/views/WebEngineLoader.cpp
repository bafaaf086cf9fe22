// Loading the page module on demand.
#include "views/WebEngineLoader.h"

#include "model/CustomTab.h"
#include "platform/LogCategories.h"
#include "services/CustomTabsService.h"
#include "services/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>

#include <algorithm>

#include <memory>
#include <unistd.h>

namespace WebEngineLoader {

bool keepsWebTab(const QString& defaultsFile) {
    // Settings hold a few kilobytes; anything far larger is not read twice at start for this.
    constexpr qint64 kMaxBytes = 4 * 1024 * 1024;
    QFile file(defaultsFile);
    if (defaultsFile.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes)
        return false;
    const QJsonValue stored = QJsonDocument::fromJson(file.read(kMaxBytes))
                                  .object()
                                  .value(QLatin1String(CustomTabsService::kDefaultsKey));
    if (!stored.isString())
        return false;
    const std::optional<QList<CustomTab>> tabs = CustomTabCodec::decode(stored.toString().toUtf8());
    return tabs && std::any_of(tabs->cbegin(), tabs->cend(), [](const CustomTab& t) {
               return t.enabled && t.kind == CustomTab::Kind::web;
           });
}

void prepareProcess(const QString& defaultsFile) {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (keepsWebTab(defaultsFile))
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

WebPageFactory factory(const QString& modulePath) {
    using Make = QWidget* (*)(const QUrl&, QWidget*);
    struct State {
        QString path;
        bool tried = false;
        Make make = nullptr;
    };
    auto state = std::make_shared<State>();
    state->path = modulePath;
    return [state](const QUrl& url, QWidget* parent) -> QWidget* {
        if (!state->tried) {
            state->tried = true;
            // Never unloaded: the engine keeps threads and helper processes of its own once started.
            QLibrary module(state->path);
            module.setLoadHints(QLibrary::PreventUnloadHint);
            state->make = reinterpret_cast<Make>(module.resolve("quillbay_make_web_page"));
            if (state->make)
                qCDebug(lcWeb, "browser engine module %s loaded", qUtf8Printable(state->path));
            else
                Log::line(QStringLiteral("web tabs unavailable: %1").arg(module.errorString()));
        }
        return state->make ? state->make(url, parent) : nullptr;
    };
}

} // namespace WebEngineLoader
