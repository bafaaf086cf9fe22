// Process entry: refuses a second copy before touching the display, then hands the main thread to Qt.
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "services/Log.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

namespace {

constexpr auto bundleID = "com.farrowlight.quillbay";

// Stand-in that follows the system language only. To be replaced by
// `LanguageService::installTranslator(defaults, &app)`, which also honours the stored "appLanguage".
void installTranslator(QApplication& app) {
    auto* translator = new QTranslator(&app);
    QString catalogue = QStringLiteral("quillbay_en");
    for (const QString& language : QLocale::system().uiLanguages()) {
        if (language.startsWith(QLatin1String("pt"))) {
            catalogue = QStringLiteral("quillbay_pt_BR");
            break;
        }
        if (language.startsWith(QLatin1String("en")))
            break;
    }
    if (translator->load(catalogue, QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(translator);
}

} // namespace

int main(int argc, char* argv[]) {
    // Taken before QApplication so that a refused copy never connects to the display. Held until exit.
    SingleInstance instance(QString::fromLatin1(bundleID));
    switch (instance.tryAcquire()) {
    case SingleInstance::Result::Acquired:
        break;
    case SingleInstance::Result::AlreadyRunning:
        Log::line(QStringLiteral("já existe uma instância rodando — encerrando esta."));
        return 0;
    case SingleInstance::Result::Failed:
        // Refusing to start over a broken lock folder would leave the user with nothing; run unguarded.
        Log::line(QStringLiteral("não foi possível verificar outra instância (%1) — iniciando mesmo assim.")
                      .arg(instance.error()));
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbay"));
    QApplication::setOrganizationName(QStringLiteral("com.farrowlight"));
    app.setQuitOnLastWindowClosed(false);
    installTranslator(app);

    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::received, &app, &QCoreApplication::quit);

    return app.exec();
}
