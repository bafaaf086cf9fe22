// Loading the page module on demand.
#include "views/WebEngineLoader.h"

#include "services/Log.h"

#include <QCoreApplication>
#include <QLibrary>

#include <memory>
#include <unistd.h>

namespace WebEngineLoader {

void prepareProcess() {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
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
            if (!state->make)
                Log::line(QStringLiteral("web tabs unavailable: %1").arg(module.errorString()));
        }
        return state->make ? state->make(url, parent) : nullptr;
    };
}

} // namespace WebEngineLoader
