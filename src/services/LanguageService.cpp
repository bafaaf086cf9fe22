// Interface-language choice, catalogue selection and the relaunch helper.
#include "services/LanguageService.h"

#include "services/Defaults.h"
#include "services/Log.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>

namespace {
const QString kAppLanguage = QStringLiteral("appLanguage");
const QString kAppleLanguages = QStringLiteral("AppleLanguages");
} // namespace

QString AppLanguage::rawValue() const {
    switch (m_case) {
    case english:
        return QStringLiteral("en");
    case portuguese:
        return QStringLiteral("pt-BR");
    case system:
        break;
    }
    return QStringLiteral("system");
}

std::optional<AppLanguage> AppLanguage::fromRawValue(const QString& raw) {
    for (AppLanguage language : allCases())
        if (language.rawValue() == raw)
            return language;
    return std::nullopt;
}

const std::array<AppLanguage, AppLanguage::count>& AppLanguage::allCases() {
    static constexpr std::array<AppLanguage, count> cases{system, english, portuguese};
    return cases;
}

LanguageService::LanguageService(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults) {
    const QString stored = m_defaults.string(kAppLanguage).value_or(QStringLiteral("system"));
    m_selected = AppLanguage::fromRawValue(stored).value_or(AppLanguage::system);
    m_inicial = m_selected;
}

void LanguageService::setSelected(AppLanguage language) {
    const bool changed = m_selected != language;
    m_selected = language;
    aplicar();
    const bool restart = m_selected != m_inicial;
    const bool restartChanged = restart != m_precisaReiniciar;
    m_precisaReiniciar = restart;
    if (changed)
        emit selectedChanged();
    if (restartChanged)
        emit precisaReiniciarChanged();
}

void LanguageService::aplicar() {
    m_defaults.set(kAppLanguage, m_selected.rawValue());
    // Kept for compatibility with stores shared with the earlier platform; Qt reads only "appLanguage".
    if (m_selected != AppLanguage::system)
        m_defaults.set(kAppleLanguages, QJsonArray{m_selected.rawValue()});
    else
        m_defaults.remove(kAppleLanguages);
    m_defaults.synchronize();
}

QString LanguageService::relaunchScript() {
    return QStringLiteral("i=0; while [ \"$i\" -lt 100 ]; do kill -0 \"$1\" 2>/dev/null || break; "
                          "sleep 0.1; i=$((i + 1)); done; exec \"$2\"");
}

void LanguageService::reiniciar() {
    // The new process reads the choice from the file, and the helper starts it as soon as this one ends.
    m_defaults.flush();
    const QString target =
        m_relaunch.targetPath.isEmpty() ? QCoreApplication::applicationFilePath() : m_relaunch.targetPath;
    const qint64 pid = m_relaunch.pid > 0 ? m_relaunch.pid : QCoreApplication::applicationPid();
    const QStringList arguments{QStringLiteral("-c"), relaunchScript(), QStringLiteral("sh"),
                                QString::number(pid), target};
    if (!QProcess::startDetached(m_relaunch.shell, arguments)) {
        Log::line(QStringLiteral("não foi possível iniciar o reinício (%1); o app continua aberto")
                      .arg(m_relaunch.shell));
        return;
    }
    if (m_relaunch.quit)
        m_relaunch.quit();
    else
        QCoreApplication::quit();
}

QString LanguageService::catalogueFor(const QString& stored, const QStringList& uiLanguages) {
    const AppLanguage language = AppLanguage::fromRawValue(stored).value_or(AppLanguage::system);
    if (language == AppLanguage::english)
        return QStringLiteral("en");
    if (language == AppLanguage::portuguese)
        return QStringLiteral("pt_BR");
    // Any Portuguese (pt, pt-PT, pt-BR) is closer to the Brazilian catalogue than to English.
    for (const QString& ui : uiLanguages) {
        const QString code = ui.section(QRegularExpression(QStringLiteral("[-_]")), 0, 0).toLower();
        if (code == QLatin1String("en"))
            return QStringLiteral("en");
        if (code == QLatin1String("pt"))
            return QStringLiteral("pt_BR");
    }
    return QStringLiteral("en");
}

bool LanguageService::installTranslator(const Defaults& defaults, QCoreApplication* app) {
    if (!app)
        return false;
    const QString stored = defaults.string(kAppLanguage).value_or(QStringLiteral("system"));
    const QString suffix = catalogueFor(stored, QLocale::system().uiLanguages());
    // Qt's own texts (standard buttons, file dialogs) follow the same choice where Qt ships them.
    auto* qtTranslator = new QTranslator(app);
    if (qtTranslator->load(QStringLiteral("qtbase_") + suffix,
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator);
    else
        delete qtTranslator;

    auto* translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("quillbay_") + suffix, QStringLiteral(":/i18n"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
